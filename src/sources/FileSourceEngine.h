#pragma once

#include "CollectScanner.h"
#include "DelayedFileDeleter.h"
#include "DirectoryWatcher.h"
#include "FileCollector.h"
#include "ImageFrame.h"

#include <QBasicTimer>
#include <QObject>
#include <QSize>

#include <cstdint>

class Clock;
class MessageEvent;
class SourceHost;

// The file-collection source: it watches the collect directory, collects the newest matching
// file once its writer is done with it and keeps it as the current image. All of its state
// lives on the GUI thread; the watcher, the collection worker and the deleter only post back
// to it. What a page shows of it (the file's name, its details, the thumbnail or a message)
// is made here and announced by signal; a page only shows it.
class FileSourceEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FileSourceEngine)

public:
    // How long a half-written newest file waits before the directory is looked at again.
    static constexpr int IncompleteRescanMs = 250;
    // Retrying a failed directory more often than this would only fill the log.
    static constexpr int MinimumRetryMs = 1000;

    FileSourceEngine(SourceHost& host, const Clock& clock, QObject* parent = nullptr);
    ~FileSourceEngine() override;

    // Starts (or restarts for a new directory) the watcher and scans; a new mask only scans.
    void StartDirectoryMonitor();
    void StopDirectoryMonitor();
    bool MonitorActive() const { return monitorActive_; }
    // Forgets the last collected file, the current image and its thumbnail.
    void ResetCollection();
    // Hands the current image (or, once delivered, none) to the crop/resize step. Without peek
    // the image counts as delivered, once the step has taken it.
    void DeliverFileImage(bool peek);
    void ScanCollectDirectory();
    // Makes what a page shows again (the thumbnail with the live crop) and tells the owner.
    void RefreshFileDisplay();

    // A page showing the thumbnail: whether it can be seen now, and the thumbnail's size. Nobody
    // sees a hidden page, so the thumbnail waits until one is shown.
    void SetThumbnailShown(bool shown, const QSize& size);

    void MarkUndelivered() { delivered_ = false; }
    bool ImageAvailable() const { return !frame_.IsEmpty() && !delivered_; }
    bool Busy() const { return busy_; }
    const ImageFrame& CurrentFrame() const { return frame_; }
    const SourceHost& Host() const { return host_; }
    const ImageFrame& Thumbnail() const { return thumbnail_; }
    QString FileNameText() const { return fileNameText_; }
    QString DetailsText() const { return detailsText_; }
    // When the current frame was collected, as the details show it.
    QString CollectedAtText() const { return collectedAt_; }
    // Shown instead of the thumbnail; empty while there is an image.
    QString MessageText() const { return messageText_; }

signals:
    void FileNameChanged(const QString& text);
    void DetailsChanged(const QString& text);
    void MessageChanged(const QString& text);
    void ThumbnailChanged(const ImageFrame& thumbnail);
    // The current frame and its texts are shown anew (a new file, or none), seen or not.
    void DisplayRefreshed();

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnDirectoryChanged(MessageEvent& message);
    void OnCollected(MessageEvent& message);
    void ShowTexts(const QString& fileName, const QString& details, const QString& message);

    SourceHost& host_;
    const Clock& clock_;

    ImageFrame frame_;
    ImageFrame thumbnail_;
    CollectScanner::Stamp lastCollected_; // of the last file collected
    bool busy_ = false;
    bool scanAfterCollection_ = false;
    bool discardCollection_ = false;
    bool thumbnailStale_ = false;
    bool thumbnailShown_ = false;
    QSize thumbnailSize_;
    bool monitorActive_ = false;
    bool delivered_ = false;
    // A request took the current image (not a peek), once at least.
    bool taken_ = false;
    // The file of the current image, and the one being loaded.
    QString fileName_;
    QString collectedAt_;
    QString loadingName_;
    QString loadingAt_;
    QString watchedDirectory_;
    QString watchedMask_;
    QString fileNameText_;
    QString detailsText_;
    QString messageText_;

    QBasicTimer retryTimer_;
    QBasicTimer collectDelayTimer_;
    CollectScanner scanner_;
    // Destroyed in reverse order: the watcher stops first, then the collector joins its
    // worker, which may still hand a file to the deleter.
    DelayedFileDeleter deleter_;
    FileCollector collector_;
    DirectoryWatcher watcher_;
};
