#pragma once

#include "FtpSession.h"
#include "FtpSettings.h"
#include "ImageOutput.h"
#include "Utils/Classes/CPage.h"
#include "WorkerThread.h"

#include <atomic>

class QCheckBox;
class QGroupBox;
class QLineEdit;

// The "FTP" page and output: each processed image (and, if enabled, a thumbnail of fixed
// size) is uploaded on a worker thread, which reports every step to the notify object with
// UWM_FTP_NOTIFY (wParam a FtpReport code, text as the code says).
//
// The notify object must outlive this page: the destructor cancels a running upload and waits
// for its worker, whose last reports may still be on their way.
class CFTP final : public Utils::Classes::CPage, public ImageOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFTP)

public:
    explicit CFTP(QWidget* parent = nullptr, const FtpLimits& limits = FtpLimits());
    ~CFTP() override;

    void LoadSettings(const SettingsList& list) override;
    void SaveSettings(SettingsList& list) const override;
    void ApplyPage() override;
    void RefreshPage() override { ShowSettings(); }

    // Starts one upload of a copy of the image and returns at once.
    void Upload(const ImageFrame& image, QObject* notify);

    // ImageOutput
    OutputState State() const override { return static_cast<OutputState>(state_.load()); }
    void ResetFailed() override;
    void StartOutput(const ImageFrame& image, QObject* notify) override { Upload(image, notify); }
    bool FinishForExit(int timeoutMs) override
    {
        // A stalled server must not hold up the exit for the length of the time limits.
        cancel_ = true;
        return worker_.WaitIdleFor(timeoutMs);
    }

    const FtpSettings& Settings() const { return settings_; }
    // Where the temporary files go; made on first use.
    QString TempDirectory();

    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QCheckBox* SavePasswordCheck() const { return savePassword_; }
    QLineEdit* DirectoryEdit() const { return directory_; }
    QLineEdit* FilenameEdit() const { return filename_; }
    QCheckBox* ThumbnailCheck() const { return thumbnail_; }
    QLineEdit* ThumbnailDirectoryEdit() const { return thumbDirectory_; }
    QLineEdit* ThumbnailFilenameEdit() const { return thumbFilename_; }
    QLineEdit* ThumbnailWidthEdit() const { return thumbWidth_; }
    QLineEdit* ThumbnailHeightEdit() const { return thumbHeight_; }
    QCheckBox* TemporaryNameCheck() const { return temporaryName_; }

private:
    void ShowSettings();
    void EnableThumbnailFields();

    const FtpLimits limits_;
    FtpSettings settings_;
    QString tempDirectory_;
    std::atomic<int> state_{0};
    std::atomic<bool> cancel_{false};
    QLineEdit* server_;
    QLineEdit* port_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* savePassword_;
    QLineEdit* directory_;
    QLineEdit* filename_;
    QCheckBox* thumbnail_;
    QLineEdit* thumbDirectory_;
    QLineEdit* thumbFilename_;
    QLineEdit* thumbWidth_;
    QLineEdit* thumbHeight_;
    QCheckBox* temporaryName_;
    // Last member: joined first, while everything the upload reads still exists.
    WorkerThread worker_;
};
