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

QByteArray BuildMailMessage(const QString& from, const QString& to, const QString& subject, const QString& name,
                            const QByteArray& base64)
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

SmtpDialogue::SmtpDialogue(const QString& from, const QStringList& recipients, std::function<QByteArray()> message)
    : from_(HeaderSafe(from)), recipients_([&] {
          QStringList safe;
          for (const QString& recipient : recipients)
              safe.append(HeaderSafe(recipient));
          return safe;
      }()),
      message_(std::move(message))
{
}

QByteArray SmtpDialogue::NextRecipient()
{
    const QByteArray command = Command(QStringLiteral("RCPT TO:<") + recipients_.value(index_) + QLatin1Char('>'));
    ++index_;
    state_ = index_ >= recipients_.size() ? 4 : 3;
    return command;
}

SmtpDialogue::Step SmtpDialogue::OnReply(int code, const QString& text)
{
    Step step;
    // What the server said, for the log: its words without the line end.
    const QString said = QString(text).remove(QRegularExpression(QStringLiteral("[\r\n]+$")));
    auto fail = [&] {
        step.outcome = Outcome::Failed;
        step.reports.push_back({SmtpReport::Failed, said});
        return step;
    };
    switch (state_) {
    case 1:
        if (code != 220)
            return fail();
        step.send = Command(QStringLiteral("HELO ") + from_);
        state_ = 2;
        return step;
    case 2:
        if (code != 250)
            return fail();
        step.send = Command(QStringLiteral("MAIL FROM:<") + from_ + QLatin1Char('>'));
        index_ = 0;
        state_ = 3;
        return step;
    case 3:
        if (code != 250 && code != 550 && code != 553)
            return fail();
        if (code != 250) {
            // A refused recipient other than the last is reported and skipped.
            step.reports.push_back({SmtpReport::Error, recipients_.value(index_ - 1) + QStringLiteral(" - ") + said});
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
    default:
        if (code != 221)
            return fail();
        return step;
    }
}
