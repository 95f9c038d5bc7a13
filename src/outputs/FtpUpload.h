#pragma once

#include "FtpSession.h"
#include "FtpSettings.h"
#include "ImageFrame.h"
#include "ImageOutput.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

// The uploader's report codes, the wParam of UWM_FTP_NOTIFY.
namespace FtpReport {
constexpr std::int64_t Connecting = 0; // text: the server
constexpr std::int64_t Uploading = 1;  // text: the remote file name
constexpr std::int64_t Sent = 2;       // text: the rate, "%.1f K/S"
constexpr std::int64_t Error = 3;      // text: what went wrong
constexpr std::int64_t Closed = 4;     // no text
} // namespace FtpReport

// Everything one upload needs, owned by its worker.
struct FtpUploadJob
{
    FtpSettings settings;
    ImageFrame image;
    QString tempDirectory; // private to this user, ends with "/"; empty when none could be had
    FtpLimits limits;
};

using FtpReporter = std::function<void(std::int64_t code, const std::optional<QString>& text)>;

// The extension of a file name, dot included, or nothing ("a.b/c" has none).
QString FileNameExtension(const QString& name);

// One upload, start to end, on the calling (worker) thread: the image and the optional
// thumbnail into temporary files, then one connection that sends each into its directory.
// Every step is reported; `state` is set to Idle or Failed before the last report. True when
// every file went through (the shared state may have been reset by then).
bool RunFtpUpload(FtpUploadJob& job, const std::atomic<bool>& cancel, std::atomic<int>& state,
                  const FtpReporter& report);
