#pragma once

#include "CSMTPSocket.h"
#include "ImageOutput.h"
#include "SettingsFile.h"
#include "SmtpSettings.h"

#include <QObject>

#include <atomic>
#include <list>
#include <memory>

class CSMTPWindowThread;
class Clock;

// The e-mail output: each processed image is mailed as an attachment over an SMTP dialogue
// (plain, STARTTLS or implicit TLS, with a login if configured), each mailing on a thread of
// its own, which reports to the notify object with UWM_SMTP_NOTIFY (wParam a SmtpReport code).
//
// The notify object must outlive the engine: the destructor ends every mailing still waiting
// for its server and joins its thread.
class SmtpEngine final : public QObject, public ImageOutput
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SmtpEngine)

public:
    explicit SmtpEngine(const Clock& clock, const SmtpLimits& limits = SmtpLimits(),
                        QObject* parent = nullptr);
    ~SmtpEngine() override;

    void LoadSettings(const SettingsList& list);
    void SaveSettings(SettingsList& list) const;
    const SmtpSettings& Settings() const { return settings_; }
    // The next mailing uses these; one already running keeps its own copy.
    void SetSettings(const SmtpSettings& settings) { settings_ = settings; }

    // Starts a mailing of a copy of the image, unless one is still busy. The subject and the
    // attachment's name are dated `taken` when given, otherwise now.
    void SendMail(const ImageFrame& image, QObject* notify, const QDateTime& taken = QDateTime());

    // ImageOutput
    OutputState State() const override { return static_cast<OutputState>(state_.load()); }
    void ResetFailed() override;
    void StartOutput(const ImageFrame& image, QObject* notify) override { SendMail(image, notify); }
    void StartOutputTaken(const ImageFrame& image, QObject* notify, const QDateTime& taken) override
    {
        SendMail(image, notify, taken);
    }
    bool FinishForExit(int timeoutMs) override;

    // Mailing threads not yet ended (some may be waiting for their server to close).
    int RunningMailings();

private:
    void ReapFinished();

    const Clock& clock_;
    const SmtpLimits limits_;
    SmtpSettings settings_;
    std::atomic<int> state_{0};
    std::list<std::unique_ptr<CSMTPWindowThread>> threads_;
};
