#pragma once

#include "DelayedImageSaver.h"
#include "ImageOutput.h"
#include "SettingsFile.h"
#include "WorkerThread.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>

class Clock;
class ImageFrame;

// The archive output: each processed image is written, after a delay and on a worker thread,
// under the root directory at a path made from a time-token template.
class ArchiveEngine final : public QObject, public ImageOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ArchiveEngine)

public:
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

    // The root directory defaults to the data directory.
    ArchiveEngine(const Clock& clock, const QString& dataDirectory, QObject* parent = nullptr);
    ~ArchiveEngine() override;

    void LoadSettings(const SettingsList& list);
    void SaveSettings(SettingsList& list) const;
    const Settings& CurrentSettings() const { return settings_; }
    // Later saves use these; images already waiting keep their path.
    void SetSettings(const Settings& settings) { settings_ = settings; }

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
    // The template's time tokens as of now, by the archive's clock (the page's example).
    QString ExpandNow(const QString& subdirectoryAndFilename) const;

protected:
    bool event(QEvent* event) override;

private:
    const Clock& clock_;
    Settings settings_;
    std::atomic<int> state_{0};
    QString lastPath_;
    QPointer<QObject> notify_;
    std::atomic<bool> stopSweep_{false};
    WorkerThread sweeper_;
    // Last member: destroyed first, so pending saves finish while the engine still exists.
    DelayedImageSaver saver_;
};
