#include "FileSourceEngine.h"

#include "Clock.h"
#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "ResultCodes.h"
#include "SourceHost.h"
#include "SystemErrorText.h"
#include "TimeTemplate.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

namespace {
QEvent::Type CollectedType()
{
    return RegisterNamedMessage(QStringLiteral("PIXLET_SOURCE_FILE_COLLECTED"));
}

QEvent::Type DirectoryChangedType()
{
    return RegisterNamedMessage(QStringLiteral("PIXLET_SOURCE_FILE_DIRECTORY_CHANGED"));
}

QString WithTrailingSeparator(QString directory)
{
    if (!directory.endsWith(QLatin1Char('/')))
        directory += QLatin1Char('/');
    return directory;
}
} // namespace

FileSourceEngine::FileSourceEngine(SourceHost& host, const Clock& clock, QObject* parent)
    : QObject(parent), host_(host), clock_(clock), messageText_(tr("No Image Loaded")), scanner_(clock),
      collector_(this, CollectedType(), deleter_), watcher_(this, DirectoryChangedType())
{
    setObjectName(QStringLiteral("SourceFile"));
}

FileSourceEngine::~FileSourceEngine() = default;

void FileSourceEngine::StartDirectoryMonitor()
{
    const SourceSettings& settings = host_.Settings();
    if (!monitorActive_ || settings.fileCollectDirectory != watchedDirectory_) {
        retryTimer_.stop();
        watcher_.Stop();
        // What the previous watch said is about another directory or an ended watch.
        QCoreApplication::removePostedEvents(this, DirectoryChangedType());
        watcher_.Start(settings.fileCollectDirectory);
        if (settings.fileCollectDirectory != watchedDirectory_)
            scanner_.Reset();
        // Whatever happened while nothing was watching is only found by listing again.
        scanner_.Relist();
        monitorActive_ = true;
        watchedDirectory_ = settings.fileCollectDirectory;
        watchedMask_ = settings.fileCollectMask;
        ScanCollectDirectory();
    } else if (settings.fileCollectMask != watchedMask_) {
        watchedMask_ = settings.fileCollectMask;
        ScanCollectDirectory();
    }
}

void FileSourceEngine::StopDirectoryMonitor()
{
    watcher_.Stop();
    monitorActive_ = false;
    retryTimer_.stop();
    collectDelayTimer_.stop();
    QCoreApplication::removePostedEvents(this, DirectoryChangedType());
}

void FileSourceEngine::ResetCollection()
{
    lastCollected_ = {};
    // A file of the old directory or mask still being loaded is not the new current image.
    discardCollection_ = busy_;
    scanAfterCollection_ = busy_;
    frame_.Empty();
    thumbnail_.Empty();
    scanner_.Reset();
}

void FileSourceEngine::DeliverFileImage(bool peek)
{
    static const ImageFrame none;
    const bool taken = host_.ProcessSourceImage(delivered_ ? none : frame_);
    // An image the busy crop/resize step could not take stays undelivered for the next request.
    if (!peek && taken) {
        delivered_ = true;
        taken_ = true;
    }
}

void FileSourceEngine::ScanCollectDirectory()
{
    if (busy_) {
        // Whatever changed meanwhile is looked at as soon as this collection is done.
        scanAfterCollection_ = true;
        return;
    }
    collectDelayTimer_.stop();
    const SourceSettings& settings = host_.Settings();
    // The clock was set back (or the last file was taken on a wrong clock): files are compared
    // with the time from now on, or nothing would be newer until the clock caught up.
    const std::int64_t nowMs = clock_.UtcNow().toMSecsSinceEpoch();
    if (lastCollected_.modifiedMs > nowMs + CollectScanner::FutureToleranceMs) {
        AddLogEntry(LogCategory::Information,
                    QStringLiteral(
                        "The clock is behind the last collected file - newer files are those from now on"));
        lastCollected_ = CollectScanner::Stamp(nowMs);
    }
    const CollectScanner::Result found = scanner_.Scan(WithTrailingSeparator(settings.fileCollectDirectory),
                                                       settings.fileCollectMask, lastCollected_);
    switch (found.outcome) {
    case CollectScanner::Outcome::NothingNew:
    case CollectScanner::Outcome::Unreadable:
        return;
    case CollectScanner::Outcome::Wait:
        collectDelayTimer_.start(IncompleteRescanMs, this);
        return;
    case CollectScanner::Outcome::Collect:
        break;
    }
    if (found.writerGaveUp) {
        AddLogEntry(
            LogCategory::Error,
            QStringLiteral("File %1 has been held open by its writer for %2 minutes without a change - "
                           "collecting it as it is")
                .arg(found.name)
                .arg(CollectScanner::WriterGiveUpMs / 60000));
    }
    if (found.futureModifiedMs != 0) {
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("File %1 is dated %2, ahead of the clock - taken as arriving now")
                        .arg(found.name,
                             QDateTime::fromMSecsSinceEpoch(found.futureModifiedMs).toString(Qt::ISODate)));
    }
    if (found.passedOverCount > 0) {
        // The newest picture wins; the ones it overtook are named, so none goes unaccounted.
        QString names = found.passedOver.join(QStringLiteral(", "));
        if (found.passedOverCount > found.passedOver.size())
            names += QStringLiteral(" and %1 more").arg(found.passedOverCount - found.passedOver.size());
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("%1 older file(s) passed over - the newer file %2 is taken: %3")
                        .arg(found.passedOverCount)
                        .arg(found.name, names));
    }
    lastCollected_ = found.stamp;
    busy_ = true;
    loadingName_ = found.name;
    loadingAt_ = ExpandTimeTemplate(QStringLiteral("<HH>:<MM>:<SS>"), clock_);
    collector_.Start(CollectionJob{found.encodedPath, found.name, settings.fileCollectDeleteOnCollection,
                                   settings.fileCollectDeleteDelayMs});
}

void FileSourceEngine::RefreshFileDisplay()
{
    if (!frame_.IsEmpty()) {
        // Nobody sees a hidden page: the thumbnail is drawn when it is shown, which saves
        // resampling every still of an unattended run.
        thumbnailStale_ = !thumbnailShown_;
        if (!thumbnailStale_) {
            const CropSettings crop = host_.LiveCrop();
            CropThumbnail::MakeCropThumbnail(thumbnailSize_, thumbnail_, frame_, crop.enabled, crop);
            emit ThumbnailChanged(thumbnail_);
        }
        ShowTexts(fileName_,
                  QString::asprintf("at %s     Size: %d x %d px", qUtf8Printable(collectedAt_),
                                    frame_.Width(), frame_.Height()),
                  QString());
    } else {
        ShowTexts(QString(), QString(), tr("No Image Loaded"));
    }
    emit DisplayRefreshed();
    host_.AnnounceStatusUpdated();
}

void FileSourceEngine::ShowTexts(const QString& fileName, const QString& details, const QString& message)
{
    fileNameText_ = fileName;
    detailsText_ = details;
    messageText_ = message;
    emit MessageChanged(messageText_);
    emit FileNameChanged(fileNameText_);
    emit DetailsChanged(detailsText_);
}

void FileSourceEngine::SetThumbnailShown(bool shown, const QSize& size)
{
    const bool resized = size != thumbnailSize_;
    thumbnailShown_ = shown;
    thumbnailSize_ = size;
    if (thumbnailShown_ && (thumbnailStale_ || resized))
        RefreshFileDisplay();
}

bool FileSourceEngine::event(QEvent* event)
{
    if (event->type() == DirectoryChangedType()) {
        OnDirectoryChanged(*static_cast<MessageEvent*>(event));
        return true;
    }
    if (event->type() == CollectedType()) {
        OnCollected(*static_cast<MessageEvent*>(event));
        return true;
    }
    return QObject::event(event);
}

void FileSourceEngine::OnDirectoryChanged(MessageEvent& message)
{
    if (!monitorActive_)
        return;
    const SourceSettings& settings = host_.Settings();
    if (message.wParam != 0) {
        const auto code = static_cast<std::uint32_t>(message.wParam);
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Directory monitor error ") +
                        QStringLiteral("%1 - %2").arg(code, 0, 16).arg(SystemErrorText(code)));
        monitorActive_ = false;
        watcher_.Stop();
        retryTimer_.start(std::max(settings.fileCollectDirectoryMonitorErrorRetryTimeoutMs, MinimumRetryMs),
                          this);
        return;
    }
    if (auto* changes = dynamic_cast<DirectoryChanges*>(message.record.get())) {
        scanner_.NoteTouched(changes->touched);
        scanner_.NoteWritten(changes->written);
        scanner_.NoteCompleted(changes->completed);
        scanner_.NoteChanged(changes->changed);
        if (changes->overflowed)
            scanner_.Relist();
    }
    // Every change restarts the wait, so a burst is scanned once, one delay after its end.
    // Without a delay the scan still waits for the messages already queued, which it covers.
    collectDelayTimer_.start(std::max(settings.fileCollectCollectDelayMs, 0), this);
}

void FileSourceEngine::OnCollected(MessageEvent& message)
{
    std::unique_ptr<ImageFrame> image = message.TakeImage();
    const bool discard = std::exchange(discardCollection_, false);
    if (!discard && Result::Succeeded(static_cast<ResultCode>(message.lParam)) && image) {
        // The current image gives way to the newer one; if no request took it (the crop/resize
        // step was busy, or the owner had not asked yet), the owner hears of it first, so that
        // it is accounted for before the newer one's cycle.
        const bool overtaken = !frame_.IsEmpty() && !taken_;
        frame_ = std::move(*image);
        taken_ = false;
        fileName_ = loadingName_;
        collectedAt_ = loadingAt_;
        RefreshFileDisplay();
        delivered_ = false;
        if (overtaken)
            host_.AnnounceImageOvertaken();
        host_.AnnounceNewImage();
    }
    busy_ = false;
    if (scanAfterCollection_) {
        scanAfterCollection_ = false;
        ScanCollectDirectory();
    }
}

void FileSourceEngine::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == collectDelayTimer_.timerId()) {
        collectDelayTimer_.stop();
        ScanCollectDirectory();
    } else if (event->timerId() == retryTimer_.timerId()) {
        retryTimer_.stop();
        host_.UpdateSourceState();
    } else {
        QObject::timerEvent(event);
    }
}
