#pragma once

#include <QEvent>
#include <QString>
#include <QStringList>

// Every notification between components is an event type registered once per run under its
// name. The names, in one table:
namespace MessageName {
inline constexpr const char* SourceNewImage = "UWM_SOURCE_NEW_IMAGE";
inline constexpr const char* SourceNewImageAvailable = "UWM_SOURCE_NEW_IMAGE_AVAILABLE";
inline constexpr const char* SourceNotify = "UWM_SOURCE_NOTIFY";
inline constexpr const char* SourceStatusUpdated = "UWM_SOURCE_STATUS_UPDATED";
inline constexpr const char* CaptionImageProcessNotify = "UWM_CAPTION_IMAGE_PROCESS_NOTIFY";
inline constexpr const char* ImageArchiveNewImageNotify = "UWM_IMAGE_ARCHIVE_NEW_IMAGE_NOTIFY";
inline constexpr const char* FtpNotify = "UWM_FTP_NOTIFY";
inline constexpr const char* SmtpNotify = "UWM_SMTP_NOTIFY";
inline constexpr const char* LogUpdate = "UWM_CLOG_UPDATE";
inline constexpr const char* TrayIconCommand = "UWM_TRAYICON_COMMAND";
inline constexpr const char* TrayIconAction = "UWM_TRAYICON_ACTION";
inline constexpr const char* EdgeWindowMessage = "UWM_EDGEWINDOW_MESSAGE";
inline constexpr const char* EdgeWindowStartupResult = "UWM_EDGEWINDOW_MESSAGE_STARTUP_RESULT";
inline constexpr const char* CctvCommand = "UWM_CCTV_COMMAND";
inline constexpr const char* CctvMessage = "UWM_CCTV_MESSAGE";
inline constexpr const char* CctvGraphNotify = "UWM_CCTV_GRAPH_NOTIFY";
// Private to the processing controller: the tick of its "Control" timer entry.
inline constexpr const char* ControlTimer = "PIXLET_CONTROL_TIMER";
// After an upload's or a mailing's last report: how it ended (wParam 1 delivered, 0 not).
inline constexpr const char* FtpDone = "PIXLET_FTP_DONE";
inline constexpr const char* SmtpDone = "PIXLET_SMTP_DONE";
} // namespace MessageName

// Every name above, in table order.
QStringList AllMessageNames();

// The event type of a name: registered on first use, the same type for the same name for the
// rest of the run. Any thread may call it. QEvent::None when Qt has no types left.
QEvent::Type RegisterNamedMessage(const QString& name);

// Registers every name of the table; called once at start-up, before any window exists.
void RegisterAllNamedMessages();

// The per-run suffix (a GUID text, braces and upper-case hex) behind every registered name.
QString NamedMessageRunId();
