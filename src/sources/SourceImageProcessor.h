#pragma once

#include "ImageFrame.h"
#include "SourceSettings.h"
#include "WorkerThread.h"

#include <QEvent>

#include <atomic>

class QObject;

// Turns each source image into the finished frame (cropped and/or resized in one pass) on its
// own long-lived worker thread, one image at a time, and answers the requester with UWM_SOURCE_NEW_IMAGE
// carrying the new frame (or none: an image-less answer). The processor owns its thread and joins it when
// destroyed; the requester must outlive it (the controller owns the source page).
class SourceImageProcessor final
{
public:
    SourceImageProcessor();
    ~SourceImageProcessor();
    SourceImageProcessor(const SourceImageProcessor&) = delete;
    SourceImageProcessor& operator=(const SourceImageProcessor&) = delete;

    // The frame as the settings want it: crop and resize in one stretch, crop only, resize
    // only, or a copy. The crop is not clipped: what lies outside the image comes out black.
    // Degenerate sizes give an empty frame.
    static ImageFrame Finish(const ImageFrame& frame, const SourceSettings& settings);

    // Starts the work on a copy of the frame with a copy of the settings. An empty frame is
    // answered at once with no image. Returns false, and drops the frame, while the worker
    // is still busy with the previous one.
    bool Process(const ImageFrame& frame, QObject* requester, const SourceSettings& settings);

    bool Busy() const { return busy_.load(); }
    void Wait();

private:
    std::atomic<bool> busy_{false};
    WorkerThread worker_;
};
