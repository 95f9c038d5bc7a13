#pragma once

#include "CaptureFormat.h"
#include "ImageFrame.h"
#include "MessageEvent.h"

#include <QPointer>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>

class QObject;

// The capture thread's commands (wParam of UWM_CCTV_COMMAND) and reports (wParam of
// UWM_CCTV_MESSAGE).
namespace CaptureCommand {
constexpr std::int64_t Connect = 0;
constexpr std::int64_t Run = 1;
constexpr std::int64_t GrabStill = 2;
constexpr std::int64_t ShowMenu = 3;
constexpr std::int64_t PropertyPage = 4;
constexpr std::int64_t SetInterframeDelay = 5;
constexpr std::int64_t ApplyPosition = 6;
constexpr std::int64_t HideVideo = 7;
constexpr std::int64_t Repaint = 8;
constexpr std::int64_t DisplayChanged = 9;
constexpr std::int64_t SetOverlay = 10;
constexpr std::int64_t SetDestRect = 11;
constexpr std::int64_t SetSourceRect = 12;
constexpr std::int64_t SetClipWindow = 13;
constexpr std::int64_t SetWatchdog = 14;
constexpr std::int64_t QueryStream = 15;
constexpr std::int64_t Stop = 16;
// lParam 1 while someone can see the video control, 0 while it is hidden or the window
// minimised (the page tells the capture thread; widgets are not asked from other threads).
constexpr std::int64_t SetVideoVisible = 17;
// After "Stream Properties..." closed: a CaptureFormatChoice (an empty format keeps the one in
// force); the stream restarts in it.
constexpr std::int64_t SetFormat = 18;
// A CaptureControlValue from "Video Properties...", applied at once.
constexpr std::int64_t SetControl = 19;
// The property page ids of ShowMenu's menu and of PropertyPage.
constexpr std::int64_t VideoPropertiesPage = 32769;
constexpr std::int64_t StreamPropertiesPage = 32770;
} // namespace CaptureCommand

namespace CaptureMessage {
constexpr std::int64_t Connected = 0;
constexpr std::int64_t Still = 1;
constexpr std::int64_t OverlaySet = 2;
constexpr std::int64_t StreamInfo = 4;
constexpr std::int64_t PropertiesOpening = 5;
constexpr std::int64_t PropertiesClosed = 6;
constexpr std::int64_t Stopped = 7;
constexpr std::int64_t ThreadEnded = 8;
// The answer to ShowMenu: a CapturePages record of what the menu can offer.
constexpr std::int64_t PropertyPages = 9;
} // namespace CaptureMessage

// Why a stream stopped (the code of a Stopped report).
namespace StopReason {
constexpr std::int64_t StreamFinished = 1;
constexpr std::int64_t UserAbort = 2;
constexpr std::int64_t ErrorAbort = 3;
constexpr std::int64_t DeviceLost = 31;
constexpr std::int64_t WatchdogTimeout = 8191;
} // namespace StopReason

// "Stream Finished", "User Abort", "Error Abort", "Device Lost", "Watchdog Timeout", or
// "Unknown Error - %x".
QString StopReasonText(std::int64_t reason);

// The event type of a live preview frame: a MessageEvent whose image is the frame scaled to
// the destination rectangle (overlay drawn in), and whose wParam, lParam are its position.
QEvent::Type CapturePreviewFrameType();

// A camera reached over the network: any address GStreamer can play (rtsp://, http:// MJPEG,
// ...), with the credentials kept apart from it so that the address can be shown and logged.
struct NetworkStream
{
    QString url;
    QString user;
    QString password;
    // How long the first frame may take before the connection counts as failed.
    int connectTimeoutMs = 10000;

    bool IsEmpty() const { return url.isEmpty(); }
};

// What the capture thread needs for one connection.
struct CaptureConnectJob final : MessagePayload
{
    QString devicePath;
    NetworkStream network;         // empty: devicePath is a local device
    QPointer<QObject> page;        // receives UWM_CCTV_MESSAGE; none: nothing is reported
    QPointer<QObject> videoWindow; // receives the preview frames; none: no preview
    QRect destination;             // within the video window
    bool mixer = true;             // draw the overlay into the preview
    CaptureFormat format;          // empty: the device's default
};

struct CaptureReport final : MessagePayload
{
    QString devicePath;
    std::int64_t code = 0;
    std::int64_t eventParam1 = 0, eventParam2 = 0;
    float frameRate = 0;
    int nativeWidth = 0, nativeHeight = 0, aspectX = 0, aspectY = 0;
    std::uint64_t cookie = 0;
};

// A picture laid over the live video at opacity 0.4; pixels of exactly RGB(2, 1, 1) are
// transparent. An empty frame removes the overlay.
struct CaptureOverlay final : MessagePayload
{
    ImageFrame frame;
    QRect source; // within the frame; empty: all of it
    std::uint64_t cookie = 0;
};

struct CaptureRect final : MessagePayload
{
    QRect rect;
};

struct CaptureWindow final : MessagePayload
{
    QPointer<QObject> window;
};

// Rides along with each preview frame: the overlay in force, to be blended in where the frame
// is painted.
struct CapturePreviewOverlay final : MessagePayload
{
    std::shared_ptr<const CaptureOverlay> overlay;
};

// The device's picture controls and formats, and the format in force (empty: the device's
// default). Sent with PropertyPages and with PropertiesOpening/PropertiesClosed.
struct CapturePages final : MessagePayload
{
    QList<CaptureControl> controls;
    QList<CaptureFormat> formats;
    CaptureFormat format;
};

struct CaptureFormatChoice final : MessagePayload
{
    CaptureFormat format;
};

struct CaptureControlValue final : MessagePayload
{
    QString name;
    int value = 0;
};
