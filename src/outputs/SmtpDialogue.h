#pragma once

#include "SmtpCapabilities.h"
#include "SmtpSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The mail sender's report codes, the wParam of UWM_SMTP_NOTIFY.
namespace SmtpReport {
constexpr std::int64_t Sent = 0;     // no text
constexpr std::int64_t Failed = 1;   // text: why
constexpr std::int64_t Error = 2;    // text: what went wrong, the mailing goes on or ends
constexpr std::int64_t Progress = 3; // text: what is happening
} // namespace SmtpReport

// A header or command value with every control character (CR and LF above all) turned into
// a blank, so that no value can add a header line or a command of its own.
QString HeaderSafe(QString value);

// The message sent after DATA: headers, one base64 part under the boundary "PixletMIMEBoundary",
// and the closing dot. `subject` and `name` are already expanded.
QByteArray BuildMailMessage(const QString& from, const QString& to, const QString& subject,
                            const QString& name, const QByteArray& base64);

// How a dialogue protects itself, and whom it logs in as.
struct SmtpLogin
{
    SmtpSecurity security = SmtpSecurity::None;
    QString userName; // empty: no login
    QString password;
};

// The SMTP dialogue without the socket: each reply in, the command to send and the reports
// out. States: 1 greeting, 2 HELO, 3 MAIL FROM and recipients, 4 last recipient, 5 DATA,
// 6 message, 7 QUIT sent; with TLS or a login: 8 EHLO, 9 STARTTLS, 10 the TLS handshake,
// 11 AUTH PLAIN, 12 to 14 AUTH LOGIN (command, user name, password).
//
// Without TLS and without a user name the dialogue is the plain one it always was, opened
// with HELO. Otherwise it opens with EHLO (HELO if the server refuses that with 5xx) and reads
// what the server offers; a password goes out only once the connection is encrypted.
class SmtpDialogue final
{
public:
    // How long a server's reply may be in a report; the rest is cut off.
    static constexpr qsizetype MaxReportedReply = 512;

    enum class Outcome
    {
        Continue,
        Succeeded, // the server took the message; QUIT is sent
        Failed,    // an unexpected reply (nothing more is sent) or a refusal of ours (QUIT is sent)
    };
    struct Report
    {
        std::int64_t code;
        QString text;
    };
    struct Step
    {
        QByteArray send;     // empty: nothing to send
        bool secret = false; // `send` carries the login: only over an encrypted connection
        // The server agreed to STARTTLS: drop whatever else it sent in plain text, start the
        // handshake and call OnTlsStarted() once the connection is encrypted.
        bool startTls = false;
        std::vector<Report> reports;
        Outcome outcome = Outcome::Continue;
    };

    // `message` makes the DATA text when the server asks for it (names expanded at that moment).
    SmtpDialogue(const QString& from, const QStringList& recipients, std::function<QByteArray()> message,
                 SmtpLogin login = SmtpLogin());

    int State() const { return state_; }
    // What the last EHLO reply offered.
    const SmtpCapabilities& Capabilities() const { return capabilities_; }
    Step OnReply(int code, const QString& text);
    // The connection is encrypted now: for implicit TLS from the start, for STARTTLS once the
    // handshake asked for by a step is over (then EHLO goes out again).
    Step OnTlsStarted();

private:
    QByteArray Command(const QString& text) const { return text.toUtf8() + "\r\n"; }
    QByteArray NextRecipient();
    bool UsesEhlo() const { return login_.security != SmtpSecurity::None || !login_.userName.isEmpty(); }
    // After the server's 250 to EHLO or HELO: STARTTLS, the login, or the envelope.
    void AfterHello(Step& step);
    void StartLogin(Step& step);
    void StartEnvelope(Step& step);
    // We end the dialogue ourselves: the reason is reported and QUIT is sent.
    void Refuse(Step& step, const QString& reason);

    const QString from_;
    const QStringList recipients_;
    const std::function<QByteArray()> message_;
    const SmtpLogin login_;
    SmtpCapabilities capabilities_;
    bool encrypted_ = false;
    int state_ = 1;
    int index_ = 0;
};
