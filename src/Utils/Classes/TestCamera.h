#pragma once

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

bool IsTestCameraPath(const QString& path);
// The source element for the path (a bin), or null for a malformed path.
GstElement* MakeSource(const QString& path);

// Every test camera of that path, now and later until changed.
void SetStalled(const QString& path, bool stalled);
void SetGone(const QString& path, bool gone);
bool IsGone(const QString& path);
// Called (on the thread that changed it) whenever a test camera comes or goes; returns an id
// for RemoveChangeListener.
int AddChangeListener(std::function<void()> listener);
void RemoveChangeListener(int id);

struct Mode
{
    QSize size{640, 480};
    int fps = 30;
};
bool ParseMode(const QString& path, Mode& mode);

} // namespace TestCamera
