#pragma once

#include "DelayedImageSaver.h"
#include "ImageOutput.h"
#include "Utils/Classes/CPage.h"
#include "WorkerThread.h"

#include <QBasicTimer>
#include <QPointer>

#include <atomic>
#include <cstdint>

class Clock;
class ImageFrame;
class QLineEdit;

namespace Utils::Controls {
class CEditBrowseCtrlEx;
}

// The "Archive" page and output: each processed image is written, after a delay and on a
// worker thread, under the root directory at a path made from a time-token template.
class CImageArchive final : public Utils::Classes::CPage, public ImageOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CImageArchive)

public:
    using OutputState = ::OutputState;

    struct Settings
    {
        QString rootDirectory;
        QString subdirectoryAndFilename = QStringLiteral("<HH><MM><SS>.jpg");
        std::int32_t saveDelayMs = 1000;
    };

    static inline const QString KeyRoot = QStringLiteral("ArchiveRootDirectory");
    static inline const QString KeyTemplate = QStringLiteral("ArchiveSubdirectoryAndFilename");
    static inline const QString KeyDelay = QStringLiteral("ArchiveSaveDelay");
    // An image waiting to be written is held in memory: ten minutes is the most it waits.
    static constexpr int MaxSaveDelayMs = 10 * 60 * 1000;

    // The Quick Set templates, in button order.
    static const QList<std::pair<QString, QString>>& QuickSets();

    CImageArchive(const Clock& clock, const QString& dataDirectory, QWidget* parent = nullptr);
    ~CImageArchive() override;

    void LoadSettings(const SettingsList& list) override;
    void SaveSettings(SettingsList& list) const override;
    void ApplyPage() override;
    void RefreshPage() override;

    // Starts one save of a copy of the image and returns at once. The result reaches `notify`
    // as UWM_IMAGE_ARCHIVE_NEW_IMAGE_NOTIFY: wParam the result code, text the full path.
    void Save(const ImageFrame& image, QObject* notify);

    // ImageOutput
    OutputState State() const override { return static_cast<OutputState>(state_.load()); }
    void ResetFailed() override;
    void StartOutput(const ImageFrame& image, QObject* notify) override { Save(image, notify); }
    // Images still waiting out their delay are written at once, whatever the limit: they
    // would be lost otherwise.
    bool FinishForExit(int timeoutMs) override;

    // At start-up: removes, on a thread of its own, the temporaries a killed run left under
    // the archive root (files last changed before `beforeSeconds`, seconds since the epoch).
    void SweepStaleTemporaries(qint64 beforeSeconds);

    QString LastArchivedPath() const { return lastPath_; }
    // Where an image archived now would be written.
    QString PathForNow() const;
    QString LocalPathForNow() const override { return PathForNow(); }
    const Settings& CurrentSettings() const { return settings_; }
    QLineEdit* TemplateEdit() const { return templateEdit_; }
    Utils::Controls::CEditBrowseCtrlEx* RootEdit() const { return rootEdit_; }
    QLineEdit* ExampleEdit() const { return exampleEdit_; }
    void RefreshExample();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void ShowSettings();

    const Clock& clock_;
    Settings settings_;
    std::atomic<int> state_{0};
    QString lastPath_;
    QPointer<QObject> notify_;
    Utils::Controls::CEditBrowseCtrlEx* rootEdit_ = nullptr;
    QLineEdit* templateEdit_ = nullptr;
    QLineEdit* exampleEdit_ = nullptr;
    QBasicTimer exampleTimer_;
    std::atomic<bool> stopSweep_{false};
    WorkerThread sweeper_;
    // Last member: destroyed first, so pending saves finish while the page still exists.
    DelayedImageSaver saver_;
};
