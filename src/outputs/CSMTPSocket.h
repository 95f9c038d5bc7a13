#pragma once

#include "ImageFrame.h"
#include "SmtpDialogue.h"
#include "SmtpReplyReader.h"
#include "SmtpSettings.h"

#include <QBasicTimer>
#include <QObject>
#include <QSslError>
#include <QSslSocket>

#include <atomic>
#include <memory>

class Clock;

// How long a mailing may take.
struct SmtpLimits
{
    int dialogueLimitMs = 120'000; // from connecting to the server's acceptance of the message
    int closeDelayMs = 60'000;     // after the outcome, for the server to close the connection
};

// One mailing, from encoding the attachment to the end of the connection, on the mailing
// thread that owns this object. Reports go to `notify` as UWM_SMTP_NOTIFY; the e-mail state
// is set before each report of the outcome. Finished() comes once, when the mailing is over.
//
// TLS, implicit or by STARTTLS, verifies the server against the system's certificate
// authorities; a certificate they do not vouch for is taken only when its SHA-256
// fingerprint is the pinned one. With a pin, no other certificate is taken at all.
class CSMTPSocket final : public QObject
{
    Q_OBJECT

public:
    CSMTPSocket(SmtpSettings settings, ImageFrame image, QObject* notify, std::atomic<int>& state,
                const Clock& clock, const SmtpLimits& limits);
    ~CSMTPSocket() override;

    // Recipients, attachment, "Sending email to: ...", then the connection.
    void Start();
    bool Ended() const { return ended_; }

signals:
    void Finished();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void OnConnected();
    void OnEncrypted();
    void OnSslErrors(const QList<QSslError>& errors);
    void OnReadyRead();
    void OnDisconnected();
    void OnSocketError(QAbstractSocket::SocketError error);
    void Post(std::int64_t code, const QString& text = QString());
    void SetState(int state)
    {
        state_ = state;
        outcome_ = state;
    }
    // Sends what the step says, settles the outcome, posts the reports.
    void Carry(const SmtpDialogue::Step& step);
    // Drops everything the server sent in plain text and starts the handshake.
    void StartTls();
    // "Certificate of <server> <what> (<errors>) - fingerprint SHA-256 <hex>".
    QString CertificateText(const QString& what, const QList<QSslError>& errors) const;
    // Sets Failed and reports code 1; the connection ends now or after the closing delay.
    void FailMailing(const QString& reason, bool endNow);
    void ArmClosingTimer();
    void End();

    const SmtpSettings settings_;
    ImageFrame image_;
    QObject* const notify_;
    std::atomic<int>& state_;
    const Clock& clock_;
    const SmtpLimits limits_;
    QSslSocket socket_;
    SmtpReplyReader reader_;
    std::unique_ptr<SmtpDialogue> dialogue_;
    QByteArray base64_;
    QBasicTimer limitTimer_;
    QBasicTimer closeTimer_;
    bool closeArmed_ = false;
    bool handshaking_ = false; // STARTTLS accepted, the connection not yet encrypted
    bool decided_ = false;     // success or failure reported
    int outcome_ = -1;         // the state this mailing ended in, once decided
    bool outcomePosted_ = false;
    bool ended_ = false;
};
