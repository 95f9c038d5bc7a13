#pragma once

#include <QSize>

class QObject;

// What a page lends the video source while it shows the live picture: the control the
// preview frames go to, its size and whether anyone can see it. The page attaches itself and
// detaches before it goes; without one the source captures stills with no preview at all.
class VideoDisplay
{
public:
    virtual ~VideoDisplay() = default;

    // Receives the preview frames (CapturePreviewFrameType events).
    virtual QObject* VideoWindow() = 0;
    virtual QSize VideoSize() const = 0;
    // Shown, and its window not minimised.
    virtual bool VideoSeen() const = 0;
};
