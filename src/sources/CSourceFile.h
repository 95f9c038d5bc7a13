#pragma once

#include "CollectScanner.h"
#include "DelayedFileDeleter.h"
#include "DirectoryWatcher.h"
#include "FileCollector.h"
#include "ImageFrame.h"

#include <QBasicTimer>
#include <QWidget>

#include <cstdint>

class Clock;
class MessageEvent;
class QCheckBox;
class QLabel;
class QLineEdit;
class SourceHost;

namespace Utils::Controls {
class CEditBrowseCtrlEx;
class CSimpleImage;
class CStaticColour;
} // namespace Utils::Controls

// The file-collection source: the sub-page shown for "Collect File". It watches the collect
// directory, collects the newest matching file once its writer is done with it, keeps it as
// the current image and shows it under "Latest File". All of its state lives on the GUI
// thread; the watcher, the collection worker and the deleter only post back to it.
class CSourceFile final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceFile)

public:
    // How long a half-written newest file waits before the directory is looked at again.
    static constexpr int IncompleteRescanMs = 250;
    // Retrying a failed directory more often than this would only fill the log.
    static constexpr int MinimumRetryMs = 1000;

    CSourceFile(SourceHost& host, const Clock& clock, QWidget* parent = nullptr);
    ~CSourceFile() override;

    // The controls the Source page reads on Apply and fills on load and revert.
    void ShowSettings(const QString& directory, const QString& mask, bool deleteOnCollection);
    QString DirectoryText() const;
    QString MaskText() const;
    bool DeleteOnCollectChecked() const;

    // Starts (or restarts for a new directory) the watcher and scans; a new mask only scans.
    void StartDirectoryMonitor();
    void StopDirectoryMonitor();
    bool MonitorActive() const { return monitorActive_; }
    // Forgets the last collected file, the current image and its thumbnail.
    void ResetCollection();
    // Hands the current image (or, once delivered, none) to the Source page's crop/resize step.
    // Without peek the image counts as delivered, once the step has taken it.
    void DeliverFileImage(bool peek);
    void ScanCollectDirectory();
    void RefreshFileDisplay();

    void MarkUndelivered() { delivered_ = false; }
    bool ImageAvailable() const { return !frame_.IsEmpty() && !delivered_; }
    bool Busy() const { return busy_; }
    const ImageFrame& CurrentFrame() const { return frame_; }
    const ImageFrame& Thumbnail() const { return thumbnail_; }
    QLabel* FileNameLabel() const { return fileNameLabel_; }
    QLabel* DetailsLabel() const { return detailsLabel_; }
    Utils::Controls::CStaticColour* MessageArea() const { return messageArea_; }
    Utils::Controls::CSimpleImage* ThumbnailImage() const { return thumbnailImage_; }

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnDirectoryChanged(MessageEvent& message);
    void OnCollected(MessageEvent& message);
    QSize ThumbnailSize() const;

    SourceHost& host_;
    const Clock& clock_;

    Utils::Controls::CEditBrowseCtrlEx* directoryEdit_ = nullptr;
    QLineEdit* maskEdit_ = nullptr;
    QCheckBox* deleteCheck_ = nullptr;
    QWidget* thumbnailArea_ = nullptr;
    Utils::Controls::CSimpleImage* thumbnailImage_ = nullptr;
    Utils::Controls::CStaticColour* messageArea_ = nullptr;
    QLabel* fileNameLabel_ = nullptr;
    QLabel* detailsLabel_ = nullptr;

    ImageFrame frame_;
    ImageFrame thumbnail_;
    CollectScanner::Stamp lastCollected_; // of the last file collected
    bool busy_ = false;
    bool scanAfterCollection_ = false;
    bool discardCollection_ = false;
    bool thumbnailStale_ = false;
    bool monitorActive_ = false;
    bool delivered_ = false;
    QString fileName_;
    QString collectedAt_;
    QString watchedDirectory_;
    QString watchedMask_;

    QBasicTimer retryTimer_;
    QBasicTimer collectDelayTimer_;
    CollectScanner scanner_;
    // Destroyed in reverse order: the watcher stops first, then the collector joins its
    // worker, which may still hand a file to the deleter.
    DelayedFileDeleter deleter_;
    FileCollector collector_;
    DirectoryWatcher watcher_;
};
