#include "CaptureTypes.h"

#include "NamedMessages.h"

QString StopReasonText(std::int64_t reason)
{
    switch (reason) {
    case StopReason::StreamFinished:
        return QStringLiteral("Stream Finished");
    case StopReason::UserAbort:
        return QStringLiteral("User Abort");
    case StopReason::ErrorAbort:
        return QStringLiteral("Error Abort");
    case StopReason::DeviceLost:
        return QStringLiteral("Device Lost");
    case StopReason::WatchdogTimeout:
        return QStringLiteral("Watchdog Timeout");
    default:
        return QStringLiteral("Unknown Error - %1").arg(reason, 0, 16);
    }
}

QEvent::Type CapturePreviewFrameType()
{
    return RegisterNamedMessage(QStringLiteral("PIXLET_CAPTURE_PREVIEW_FRAME"));
}
