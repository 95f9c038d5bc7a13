#pragma once

#include "FtpSession.h"
#include "FtpSettings.h"
#include "ImageOutput.h"
#include "SettingsFile.h"
#include "WorkerThread.h"

#include <QObject>

#include <atomic>

// The FTP output: each processed image (and, if enabled, a thumbnail of fixed size) is
// uploaded on a worker thread, which reports every step to the notify object with
// UWM_FTP_NOTIFY (wParam a FtpReport code, text as the code says).
//
// The notify object must outlive the engine: the destructor cancels a running upload and
// waits for its worker, whose last reports may still be on their way.
class FtpEngine final : public QObject, public ImageOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpEngine)

public:
    explicit FtpEngine(const FtpLimits& limits = FtpLimits(), QObject* parent = nullptr);
    ~FtpEngine() override;

    void LoadSettings(const SettingsList& list);
    void SaveSettings(SettingsList& list) const;
    const FtpSettings& Settings() const { return settings_; }
    // The next upload uses these; one already running keeps its own copy.
    void SetSettings(const FtpSettings& settings) { settings_ = settings; }

    // Starts one upload of a copy of the image and returns at once.
    void Upload(const ImageFrame& image, QObject* notify);

    // ImageOutput
    OutputState State() const override { return static_cast<OutputState>(state_.load()); }
    void ResetFailed() override;
    void StartOutput(const ImageFrame& image, QObject* notify) override { Upload(image, notify); }
    bool FinishForExit(int timeoutMs) override;
    // The names are fixed: the newest image is all a server needs.
    QString OutboxKey() const override;

    // Where the temporary files go; made on first use.
    QString TempDirectory();

private:
    const FtpLimits limits_;
    FtpSettings settings_;
    QString tempDirectory_;
    std::atomic<int> state_{0};
    std::atomic<bool> cancel_{false};
    // Last member: joined first, while everything the upload reads still exists.
    WorkerThread worker_;
};
