#include "FtpUpload.h"

#include "Clock.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "ImageOperations.h"
#include "ResultCodes.h"
#include "TransferRate.h"

#include <vector>

namespace {
struct Item
{
    QString localPath;
    QString directory;
    QString remoteName;
    bool uploaded = false;
};

// The format comes from the destination's extension: a name without one is the likeliest cause.
QString SaveFailedText(const QString& path, const QString& destinationName)
{
    QString text = QStringLiteral("Failed to save ") + path + QStringLiteral(" prior to FTP Upload");
    if (ImageFormatForFileName(destinationName, ImageFormat::None) == ImageFormat::None)
        text += QStringLiteral(" - the file name \"%1\" names no image type (.jpg, .png, .bmp, .gif or .tif)")
                    .arg(destinationName);
    return text;
}

// Without a private directory nothing is written: a shared one is where links get planted.
bool WriteTemporary(const ImageFrame& image, const QString& tempDirectory, const QString& path)
{
    return !tempDirectory.isEmpty() && !image.IsEmpty() && Result::Succeeded(SaveImageFile(image, path));
}
} // namespace

QString FileNameExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype separator =
        std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return dot > separator ? name.mid(dot) : QString();
}

bool RunFtpUpload(FtpUploadJob& job, const std::atomic<bool>& cancel, std::atomic<int>& state,
                  const FtpReporter& report)
{
    const FtpSettings& s = job.settings;
    std::vector<Item> items;

    const QString mainPath =
        job.tempDirectory + QStringLiteral("PIXLET_FTP_TEMP") + FileNameExtension(s.destinationFilename);
    if (!WriteTemporary(job.image, job.tempDirectory, mainPath)) {
        state = static_cast<int>(OutputState::Failed);
        report(FtpReport::Error, SaveFailedText(mainPath, s.destinationFilename));
        return false;
    }
    items.push_back({mainPath, s.destinationDirectory, s.destinationFilename});

    // A thumbnail that could not be written is a failure of this upload, even when the main
    // image goes through.
    bool thumbnailFailed = false;
    if (s.thumbnailEnabled) {
        const QString thumbPath =
            job.tempDirectory + QStringLiteral("PIXLET_FTP_TH_TEMP") + FileNameExtension(s.thumbnailFilename);
        // The thumbnail is exactly the size asked for: the aspect ratio is not kept.
        const bool resized = s.thumbnailWidth > 0 && s.thumbnailHeight > 0 &&
                             ResizeImageInPlace(job.image, s.thumbnailWidth, s.thumbnailHeight);
        if (resized && WriteTemporary(job.image, job.tempDirectory, thumbPath)) {
            items.push_back({thumbPath, s.thumbnailDirectory, s.thumbnailFilename});
        } else {
            thumbnailFailed = true;
            report(FtpReport::Error, SaveFailedText(thumbPath, s.thumbnailFilename));
        }
    }
    job.image.Empty();

    report(FtpReport::Connecting, s.server);
    FtpSession session(job.limits, cancel);
    const QString openError = session.Open(s);
    if (!openError.isEmpty()) {
        state = static_cast<int>(OutputState::Failed);
        report(FtpReport::Error, openError);
        return false;
    }
    for (Item& item : items) {
        const QString directoryError = session.ChangeDirectory(item.directory);
        if (!directoryError.isEmpty()) {
            report(FtpReport::Error, directoryError);
            continue;
        }
        report(FtpReport::Uploading, item.remoteName);
        const std::uint64_t start = MillisecondClock();
        const QString error = session.Put(item.localPath, item.remoteName, s.uploadUnderTemporaryName);
        item.uploaded = error.isEmpty();
        if (item.uploaded)
            report(FtpReport::Sent, TransferRateText(start, item.localPath));
        else
            report(FtpReport::Error, error);
    }
    session.Close();
    bool allSent = !thumbnailFailed;
    for (const Item& item : items)
        allSent = allSent && item.uploaded;
    state = static_cast<int>(allSent ? OutputState::Idle : OutputState::Failed);
    report(FtpReport::Closed, std::nullopt);
    return allSent;
}
