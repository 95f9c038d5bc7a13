#pragma once

#include <QList>
#include <QSize>
#include <QString>

#include <functional>

typedef struct _GstElement GstElement;

// A camera for tests, demonstrations and machines without one: a moving test pattern behind a
// device path "pixlet-test-camera" (640 x 480 at 30 fps, YUY2) or
// "pixlet-test-camera:<width>x<height>@<fps>". It can be told to stop delivering frames (as a
// camera whose driver hangs) and to disappear (as one pulled out of its socket).
namespace TestCamera {

inline const QString PathPrefix = QStringLiteral("pixlet-test-camera");

struct Mode
{
    QSize size{640, 480};
    int fps = 30;
};
bool ParseMode(const QString& path, Mode& mode);

bool IsTestCameraPath(const QString& path);
// The source element for the path (a bin), or null for a malformed path. A mode given
// overrides the path's, as a camera switched to another of its formats. The bin offers
// picture controls (hue, saturation, brightness, contrast) as a webcam does.
GstElement* MakeSource(const QString& path, const Mode* mode = nullptr);
// The modes a test camera offers: its own and a few common ones.
QList<Mode> Modes(const QString& path);

// Every test camera of that path, now and later until changed.
void SetStalled(const QString& path, bool stalled);
void SetGone(const QString& path, bool gone);
bool IsGone(const QString& path);
// Called (on the thread that changed it) whenever a test camera comes or goes; returns an id
// for RemoveChangeListener.
int AddChangeListener(std::function<void()> listener);
void RemoveChangeListener(int id);

} // namespace TestCamera
