#include "SmtpDialogue.h"

#include <QRegularExpression>

QString HeaderSafe(QString value)
{
    for (QChar& c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            c = QLatin1Char(' ');
    }
    return value;
}

QByteArray BuildMailMessage(const QString& from, const QString& to, const QString& subject,
                            const QString& name, const QByteArray& base64)
{
    QByteArray m;
    m += "From: " + HeaderSafe(from).toUtf8() + "\r\n";
    m += "To: " + HeaderSafe(to).toUtf8() + "\r\n";
    m += "Content-Type: multipart/mixed; boundary=PixletMIMEBoundary\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Subject:" + HeaderSafe(subject).toUtf8() + "\r\n";
    m += "\r\n";
    m += "--PixletMIMEBoundary\r\n";
    m += "Content-Type: application/octet-stream; name=\"" + HeaderSafe(name).toUtf8() + "\"\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "\r\n";
    m += base64 + "\r\n";
    m += "--PixletMIMEBoundary--\r\n";
    m += ".\r\n";
    return m;
}

SmtpDialogue::SmtpDialogue(const QString& from, const QStringList& recipients,
                           std::function<QByteArray()> message, SmtpLogin login)
    : from_(HeaderSafe(from)), recipients_([&] {
          QStringList safe;
          for (const QString& recipient : recipients)
              safe.append(HeaderSafe(recipient));
          return safe;
      }()),
      message_(std::move(message)), login_(std::move(login))
{
}

QByteArray SmtpDialogue::NextRecipient()
{
    const QByteArray command =
        Command(QStringLiteral("RCPT TO:<") + recipients_.value(index_) + QLatin1Char('>'));
    ++index_;
    state_ = index_ >= recipients_.size() ? 4 : 3;
    return command;
}

void SmtpDialogue::StartEnvelope(Step& step)
{
    step.send = Command(QStringLiteral("MAIL FROM:<") + from_ + QLatin1Char('>'));
    index_ = 0;
    state_ = 3;
}

void SmtpDialogue::Refuse(Step& step, const QString& reason)
{
    step.send = Command(QStringLiteral("QUIT"));
    step.outcome = Outcome::Failed;
    step.reports.push_back({SmtpReport::Failed, reason});
    state_ = 7;
}

void SmtpDialogue::AfterHello(Step& step)
{
    if (login_.security == SmtpSecurity::StartTls && !encrypted_) {
        // Going on in plain text instead would hand the message, and perhaps the password,
        // to whoever removed the offer on the way.
        if (!capabilities_.Has(QStringLiteral("STARTTLS")))
            return Refuse(step, QStringLiteral("The server does not offer STARTTLS"));
        step.send = Command(QStringLiteral("STARTTLS"));
        state_ = 9;
        return;
    }
    if (!login_.userName.isEmpty())
        return StartLogin(step);
    StartEnvelope(step);
}

void SmtpDialogue::StartLogin(Step& step)
{
    if (!encrypted_) {
        return Refuse(step,
                      QStringLiteral("The password is sent only over TLS - choose STARTTLS or TLS for this "
                                     "server"));
    }
    const QStringList& mechanisms = capabilities_.AuthMechanisms();
    if (mechanisms.contains(QLatin1String("PLAIN"))) {
        QByteArray credentials;
        credentials.append('\0')
            .append(login_.userName.toUtf8())
            .append('\0')
            .append(login_.password.toUtf8());
        step.send = "AUTH PLAIN " + credentials.toBase64() + "\r\n";
        step.secret = true;
        state_ = 11;
    } else if (mechanisms.contains(QLatin1String("LOGIN"))) {
        step.send = Command(QStringLiteral("AUTH LOGIN"));
        state_ = 12;
    } else {
        Refuse(step, mechanisms.isEmpty()
                         ? QStringLiteral("The server offers no login (AUTH)")
                         : QStringLiteral("The server offers no login by PLAIN or LOGIN (AUTH %1)")
                               .arg(mechanisms.join(QLatin1Char(' ')).left(MaxReportedReply)));
    }
}

SmtpDialogue::Step SmtpDialogue::OnTlsStarted()
{
    Step step;
    encrypted_ = true;
    if (state_ == 10) {
        // What the server offered in plain text counts for nothing now.
        capabilities_ = SmtpCapabilities();
        step.send = Command(QStringLiteral("EHLO ") + from_);
        state_ = 8;
    }
    return step;
}

SmtpDialogue::Step SmtpDialogue::OnReply(int code, const QString& text)
{
    Step step;
    // What the server said, for the log: its words without the line end, and not all of a
    // long reply.
    QString said = QString(text).remove(QRegularExpression(QStringLiteral("[\r\n]+$")));
    if (said.size() > MaxReportedReply)
        said = said.left(MaxReportedReply) + QStringLiteral("...");
    auto fail = [&] {
        step.outcome = Outcome::Failed;
        step.reports.push_back({SmtpReport::Failed, said});
        return step;
    };
    switch (state_) {
    case 1:
        if (code != 220)
            return fail();
        step.send = Command((UsesEhlo() ? QStringLiteral("EHLO ") : QStringLiteral("HELO ")) + from_);
        state_ = UsesEhlo() ? 8 : 2;
        return step;
    case 2:
        if (code != 250)
            return fail();
        AfterHello(step);
        return step;
    case 3:
        if (code != 250 && code != 550 && code != 553)
            return fail();
        if (code != 250) {
            // A refused recipient other than the last is reported and skipped.
            step.reports.push_back(
                {SmtpReport::Error, recipients_.value(index_ - 1) + QStringLiteral(" - ") + said});
        }
        step.send = NextRecipient();
        return step;
    case 4:
        if (code != 250)
            return fail();
        step.send = Command(QStringLiteral("DATA"));
        state_ = 5;
        return step;
    case 5:
        if (code != 354)
            return fail();
        step.send = message_();
        state_ = 6;
        return step;
    case 6:
        if (code != 250)
            return fail();
        step.send = Command(QStringLiteral("QUIT"));
        step.outcome = Outcome::Succeeded;
        step.reports.push_back({SmtpReport::Sent, QString()});
        state_ = 7;
        return step;
    case 8:
        if (code >= 500 && code <= 599) {
            // A server from before EHLO: it offers nothing, which the next step judges.
            step.reports.push_back(
                {SmtpReport::Progress, QStringLiteral("EHLO refused, sending HELO - ") + said});
            step.send = Command(QStringLiteral("HELO ") + from_);
            capabilities_ = SmtpCapabilities();
            state_ = 2;
            return step;
        }
        if (code != 250)
            return fail();
        capabilities_ = SmtpCapabilities::Parse(text);
        AfterHello(step);
        return step;
    case 9:
        if (code != 220)
            return fail();
        step.startTls = true;
        step.reports.push_back({SmtpReport::Progress, QStringLiteral("Starting TLS")});
        state_ = 10;
        return step;
    case 10:
        // The socket drops what arrives before the handshake; a reply here is out of place.
        return fail();
    case 11:
    case 14:
        if (code != 235)
            return fail();
        StartEnvelope(step);
        return step;
    case 12:
        if (code != 334)
            return fail();
        step.send = login_.userName.toUtf8().toBase64() + "\r\n";
        step.secret = true;
        state_ = 13;
        return step;
    case 13:
        if (code != 334)
            return fail();
        step.send = login_.password.toUtf8().toBase64() + "\r\n";
        step.secret = true;
        state_ = 14;
        return step;
    default:
        if (code != 221)
            return fail();
        return step;
    }
}
