#pragma once

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
QByteArray BuildMailMessage(const QString& from, const QString& to, const QString& subject, const QString& name,
                            const QByteArray& base64);

// The SMTP dialogue without the socket: each reply in, the command to send and the reports
// out. States: 1 greeting, 2 HELO, 3 MAIL FROM and recipients, 4 last recipient, 5 DATA,
// 6 message, 7 QUIT sent.
class SmtpDialogue final
{
public:
    enum class Outcome
    {
        Continue,
        Succeeded, // the server took the message; QUIT is sent
        Failed,    // an unexpected reply: nothing more is sent
    };
    struct Report
    {
        std::int64_t code;
        QString text;
    };
    struct Step
    {
        QByteArray send; // empty: nothing to send
        std::vector<Report> reports;
        Outcome outcome = Outcome::Continue;
    };

    // `message` makes the DATA text when the server asks for it (names expanded at that moment).
    SmtpDialogue(const QString& from, const QStringList& recipients, std::function<QByteArray()> message);

    int State() const { return state_; }
    Step OnReply(int code, const QString& text);

private:
    QByteArray Command(const QString& text) const { return text.toUtf8() + "\r\n"; }
    QByteArray NextRecipient();

    const QString from_;
    const QStringList recipients_;
    const std::function<QByteArray()> message_;
    int state_ = 1;
    int index_ = 0;
};
