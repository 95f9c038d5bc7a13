#pragma once

#include "CSMTPSocket.h"
#include "ImageOutput.h"
#include "SmtpSettings.h"
#include "Utils/Classes/CPage.h"

#include <atomic>
#include <list>
#include <memory>

class CSMTPWindowThread;
class Clock;
class QLineEdit;

// The "Email" page and output: each processed image is mailed as an attachment over a plain
// SMTP dialogue, each mailing on a thread of its own, which reports to the notify object with
// UWM_SMTP_NOTIFY (wParam a SmtpReport code).
//
// The notify object must outlive this page: the destructor ends every mailing still waiting
// for its server and joins its thread.
class CSMTP final : public Utils::Classes::CPage, public ImageOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSMTP)

public:
    explicit CSMTP(const Clock& clock, QWidget* parent = nullptr, const SmtpLimits& limits = SmtpLimits());
    ~CSMTP() override;

    void LoadSettings(const SettingsList& list) override;
    void SaveSettings(SettingsList& list) const override;
    void ApplyPage() override;
    void RefreshPage() override { ShowSettings(); }

    // Starts a mailing of a copy of the image, unless one is still busy.
    void SendMail(const ImageFrame& image, QObject* notify);

    // ImageOutput
    OutputState State() const override { return static_cast<OutputState>(state_.load()); }
    void ResetFailed() override;
    void StartOutput(const ImageFrame& image, QObject* notify) override { SendMail(image, notify); }
    bool FinishForExit(int timeoutMs) override;

    const SmtpSettings& Settings() const { return settings_; }
    // Mailing threads not yet ended (some may be waiting for their server to close).
    int RunningMailings();

    QLineEdit* ServerEdit() const { return server_; }
    QLineEdit* PortEdit() const { return port_; }
    QLineEdit* FromEdit() const { return from_; }
    QLineEdit* ToEdit() const { return to_; }
    QLineEdit* SubjectEdit() const { return subject_; }
    QLineEdit* FilenameEdit() const { return filename_; }

private:
    void ShowSettings();
    void ReapFinished();

    const Clock& clock_;
    const SmtpLimits limits_;
    SmtpSettings settings_;
    std::atomic<int> state_{0};
    QLineEdit* server_;
    QLineEdit* port_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* subject_;
    QLineEdit* filename_;
    std::list<std::unique_ptr<CSMTPWindowThread>> threads_;
};
