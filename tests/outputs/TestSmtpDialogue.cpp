#include "LogRecorder.h"
#include "PasswordScrambler.h"
#include "outputs/SmtpCapabilities.h"
#include "outputs/SmtpDialogue.h"
#include "outputs/SmtpReplyReader.h"
#include "outputs/SmtpSettings.h"
#include "outputs/SocketErrorText.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

TEST(SmtpSettings, DefaultsAndTheSaveOrder)
{
    const SmtpSettings defaults = SmtpSettings::Read({});
    EXPECT_EQ(defaults.port, 25);
    EXPECT_EQ(defaults.filename, "Pixlet Image.jpg");
    SmtpSettings s;
    s.server = "mail.example.net";
    s.fromAddress = "cam@example.net";
    s.toAddress = "a@example.net, b@example.net";
    s.subject = "Still <HH>:<MM>";
    SettingsList list;
    s.Write(list);
    EXPECT_EQ(list, (SettingsList{"EmailServer = mail.example.net", "EmailPort = 25",
                                  "EmailSubject = Still <HH>:<MM>", "EmailFilename = Pixlet Image.jpg",
                                  "EmailToAddress = a@example.net, b@example.net",
                                  "EmailFrom Address = cam@example.net", "EmailSecurity = None",
                                  "EmailUsername = ", "EmailPassword = ", "EmailSavePassword = Yes",
                                  "EmailEncryptPassword = Yes", "EmailCertificateSHA256 = ", ""}));
    EXPECT_EQ(SmtpSettings::Read(list), s);
    EXPECT_EQ(SmtpSettings::Read({"EmailPort = 65561"}).port, 25) << "the low 16 bits";
}

TEST(SmtpSettings, FilesFromBeforeTheSecurityKeysMailAsBefore)
{
    const SmtpSettings old = SmtpSettings::Read(
        {"EmailServer = mail.example.net", "EmailPort = 25", "EmailToAddress = a@example.net"});
    EXPECT_EQ(old.security, SmtpSecurity::None);
    EXPECT_EQ(old.userName, "");
    EXPECT_EQ(old.password, "");
    EXPECT_TRUE(old.savePassword);
    EXPECT_TRUE(old.scramblePassword);
    EXPECT_EQ(old.certificateSha256, "");
}

TEST(SmtpSettings, ThePasswordIsKeptLikeTheFtpPassword)
{
    SmtpSettings s;
    s.security = SmtpSecurity::StartTls;
    s.userName = "cam";
    s.password = "s3cret";
    SettingsList list;
    s.Write(list);
    EXPECT_TRUE(list.contains("EmailSecurity = STARTTLS"));
    EXPECT_TRUE(list.contains("EmailUsername = cam"));
    EXPECT_TRUE(list.contains("EmailPassword = " + ScramblePassword("s3cret")));
    EXPECT_FALSE(list.join('\n').contains("s3cret")) << "scrambled";
    EXPECT_EQ(SmtpSettings::Read(list), s);

    s.scramblePassword = false;
    list.clear();
    s.Write(list);
    EXPECT_TRUE(list.contains("EmailPassword = s3cret"));
    EXPECT_TRUE(list.contains("EmailEncryptPassword = No"));
    EXPECT_EQ(SmtpSettings::Read(list).password, "s3cret");

    s.savePassword = false;
    list.clear();
    s.Write(list);
    EXPECT_FALSE(list.join('\n').contains("EmailPassword =")) << "not saved";
    EXPECT_TRUE(list.contains("EmailSavePassword = No"));
    EXPECT_EQ(SmtpSettings::Read(list).password, "") << "the next start begins without it";

    s.security = SmtpSecurity::Tls;
    list.clear();
    s.Write(list);
    EXPECT_EQ(SmtpSettings::Read(list).security, SmtpSecurity::Tls);
    EXPECT_EQ(SmtpSettings::Read({"EmailSecurity = starttls"}).security, SmtpSecurity::StartTls)
        << "any case";
}

TEST(SmtpSettings, FingerprintsAreNormalisedAndOthersRefused)
{
    const QString hex = "374f83b519c3cc66a49bbf2f2df8470e7210dd917f2d43a3be819b74f4a8e2b5";
    const QString pairs =
        "37:4F:83:B5:19:C3:CC:66:A4:9B:BF:2F:2D:F8:47:0E:72:10:DD:91:7F:2D:43:A3:BE:81:9B:74:F4:A8:E2:B5";
    EXPECT_EQ(NormaliseCertificateFingerprint(hex), pairs);
    EXPECT_EQ(NormaliseCertificateFingerprint(pairs.toLower()), pairs);
    EXPECT_EQ(NormaliseCertificateFingerprint(" " + QString(pairs).replace(':', ' ') + " "), pairs);
    EXPECT_EQ(NormaliseCertificateFingerprint(""), "");
    EXPECT_EQ(NormaliseCertificateFingerprint(" : "), "");
    EXPECT_FALSE(NormaliseCertificateFingerprint(hex.left(62))) << "too short";
    EXPECT_FALSE(NormaliseCertificateFingerprint(hex + "00")) << "too long";
    EXPECT_FALSE(NormaliseCertificateFingerprint(hex.left(63) + "g"));
    EXPECT_FALSE(NormaliseCertificateFingerprint("sha256 Fingerprint=" + pairs));
    EXPECT_EQ(SmtpSettings::Read({"EmailCertificateSHA256 = " + hex}).certificateSha256, pairs);
}

TEST(SmtpSettings, UnusableValuesFallBackToTheDefaultsWithALogLine)
{
    LogRecorder log;
    const QString longName(SmtpSettings::MaxUserNameLength + 1, 'u');
    const QString longPassword(SmtpSettings::MaxPasswordLength + 1, 'p');
    const SmtpSettings s = SmtpSettings::Read({"EmailSecurity = Yes", "EmailUsername = " + longName,
                                               "EmailPassword = " + longPassword, "EmailEncryptPassword = No",
                                               "EmailCertificateSHA256 = 12:34"});
    EXPECT_EQ(s.security, SmtpSecurity::StartTls) << "asked for some protection: never plain text instead";
    EXPECT_EQ(s.userName, "");
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.certificateSha256, "");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(
        log.Starting("Settings - "),
        (QStringList{"Settings - EmailSecurity = Yes is not None, STARTTLS or TLS - using STARTTLS",
                     "Settings - EmailUsername is 257 characters long - using none",
                     "Settings - EmailPassword is 257 characters long - using none",
                     "Settings - EmailCertificateSHA256 = 12:34 is not a SHA-256 fingerprint - using none"}));

    EXPECT_EQ(SmtpSettings::Read({"EmailSecurity = ssl"}).security, SmtpSecurity::Tls);
    EXPECT_EQ(SmtpSettings::Read({"EmailSecurity = SSL/TLS"}).security, SmtpSecurity::Tls);

    // At the limits, taken as they are; a scrambled password is bounded once unscrambled.
    const QString name(SmtpSettings::MaxUserNameLength, 'u');
    const QString password(SmtpSettings::MaxPasswordLength, 'p');
    const SmtpSettings fits =
        SmtpSettings::Read({"EmailUsername = " + name, "EmailPassword = " + ScramblePassword(password)});
    EXPECT_EQ(fits.userName, name);
    EXPECT_EQ(fits.password, password);
    EXPECT_EQ(SmtpSettings::Read({"EmailPassword = " + ScramblePassword(longPassword)}).password, "");
    EXPECT_EQ(SmtpSettings::Read({QString("EmailUsername = a") + QChar(1) + "b"}).userName, "");
    QCoreApplication::sendPostedEvents();
    for (const LogRecorder::Entry& entry : log.entries)
        EXPECT_FALSE(entry.text.contains("ppp")) << "no password in the log";
}

TEST(SmtpSettings, RecipientsAreTrimmedAndStopAtTheFirstEmptyField)
{
    EXPECT_EQ(SplitRecipients("a@x, b@y"), (QStringList{"a@x", "b@y"}));
    EXPECT_EQ(SplitRecipients("a@x,,b@y"), (QStringList{"a@x"}));
    EXPECT_EQ(SplitRecipients("a@x, ,b@y"), (QStringList{"a@x", "", "b@y"})) << "blanks alone are not empty";
    EXPECT_EQ(SplitRecipients(""), QStringList());
    EXPECT_EQ(SplitRecipients("a@x,"), (QStringList{"a@x"}));
}

TEST(SmtpSocketErrors, TheTableAndEverythingElse)
{
    EXPECT_EQ(SocketErrorText(10061), "The attempt to connect was forcefully rejected");
    EXPECT_EQ(SocketErrorText(10022), "The socket is already bound to an address");
    EXPECT_EQ(SocketErrorText(10060), "The attempt to connect timed out without establishing a connection");
    EXPECT_EQ(SocketErrorText(12345), "Socket Error: 12345");
    EXPECT_EQ(SocketErrorCode(QAbstractSocket::ConnectionRefusedError), 10061);
    EXPECT_EQ(SocketErrorCode(QAbstractSocket::HostNotFoundError), 10022);
    EXPECT_EQ(SocketErrorCode(QAbstractSocket::SocketTimeoutError), 10060);
    EXPECT_EQ(SocketErrorCode(QAbstractSocket::NetworkError), 10051);
}

TEST(SmtpReplyReader, MultiLineRepliesEndAtTheirLastLine)
{
    SmtpReplyReader reader;
    reader.Append("220-mail.example.net ESMTP\r\n220-no UCE\r");
    EXPECT_FALSE(reader.Take()) << "the reply goes on";
    reader.Append("\n220 ready\r\n250 ok\r\n354");
    auto first = reader.Take();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->code, 220);
    EXPECT_EQ(first->text, "220-mail.example.net ESMTP\r\n220-no UCE\r\n220 ready\r\n");
    auto second = reader.Take();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->code, 250);
    EXPECT_FALSE(reader.Take()) << "354 has no line end yet";
    reader.Append(" go ahead\n");
    EXPECT_EQ(reader.Take()->code, 354) << "a bare line feed ends a line too";

    reader.Append(QByteArray(SmtpReplyReader::MaxReplyBytes, 'x'));
    EXPECT_FALSE(reader.Overflowed());
    reader.Append("y");
    EXPECT_TRUE(reader.Overflowed());
}

TEST(SmtpMessage, TheTextAsSentAndNoValueAddsALine)
{
    const QByteArray message = BuildMailMessage("cam@x", "a@y, b@z", " Hello", "cam.jpg", "QUJD\r\nREVG");
    EXPECT_EQ(message, QByteArray("From: cam@x\r\n"
                                  "To: a@y, b@z\r\n"
                                  "Content-Type: multipart/mixed; boundary=PixletMIMEBoundary\r\n"
                                  "MIME-Version: 1.0\r\n"
                                  "Subject: Hello\r\n"
                                  "\r\n"
                                  "--PixletMIMEBoundary\r\n"
                                  "Content-Type: application/octet-stream; name=\"cam.jpg\"\r\n"
                                  "Content-Transfer-Encoding: base64\r\n"
                                  "\r\n"
                                  "QUJD\r\nREVG\r\n"
                                  "--PixletMIMEBoundary--\r\n"
                                  ".\r\n"));
    const QByteArray hostile =
        BuildMailMessage("cam@x\r\nBcc: victim@z", "a@y", "Hi\r\nBcc: evil@z\n", "a\r.jpg", "");
    EXPECT_FALSE(hostile.contains("\r\nBcc:"));
    EXPECT_TRUE(hostile.contains("Subject:Hi  Bcc: evil@z \r\n"));
    EXPECT_TRUE(hostile.contains("name=\"a .jpg\""));
}

TEST(SmtpDialogue, RefusedRecipientsAndUnexpectedReplies)
{
    int messages = 0;
    SmtpDialogue dialogue("cam@x", {"a@y", "b@z"}, [&] {
        ++messages;
        return QByteArray("message");
    });
    EXPECT_EQ(dialogue.OnReply(220, "220 hi\r\n").send, "HELO cam@x\r\n");
    EXPECT_EQ(dialogue.OnReply(250, "250 ok\r\n").send, "MAIL FROM:<cam@x>\r\n");
    EXPECT_EQ(dialogue.OnReply(250, "250 ok\r\n").send, "RCPT TO:<a@y>\r\n");
    const auto refused = dialogue.OnReply(550, "550 no such user\r\n");
    EXPECT_EQ(refused.send, "RCPT TO:<b@z>\r\n");
    ASSERT_EQ(refused.reports.size(), 1u);
    EXPECT_EQ(refused.reports[0].code, SmtpReport::Error);
    EXPECT_EQ(refused.reports[0].text, "a@y - 550 no such user");
    EXPECT_EQ(dialogue.State(), 4);
    EXPECT_EQ(messages, 0) << "made only when the server asks for it";
    EXPECT_EQ(dialogue.OnReply(250, "250 ok\r\n").send, "DATA\r\n");
    EXPECT_EQ(dialogue.OnReply(354, "354 go\r\n").send, "message");
    const auto sent = dialogue.OnReply(250, "250 queued\r\n");
    EXPECT_EQ(sent.send, "QUIT\r\n");
    EXPECT_EQ(sent.outcome, SmtpDialogue::Outcome::Succeeded);

    SmtpDialogue last("cam@x", {"a@y"}, [] { return QByteArray(); });
    last.OnReply(220, "220\r\n");
    last.OnReply(250, "250\r\n");
    last.OnReply(250, "250\r\n");
    const auto failed = last.OnReply(550, "550 mailbox unavailable\r\n");
    EXPECT_EQ(failed.outcome, SmtpDialogue::Outcome::Failed) << "the last recipient refused";
    EXPECT_TRUE(failed.send.isEmpty()) << "no QUIT";
    ASSERT_EQ(failed.reports.size(), 1u);
    EXPECT_EQ(failed.reports[0].text, "550 mailbox unavailable");
}

TEST(SmtpCapabilities, KeywordsAndLoginMechanisms)
{
    const SmtpCapabilities offered = SmtpCapabilities::Parse("250-mail.example.net greets cam\r\n"
                                                             "250-SIZE 1000000\r\n"
                                                             "250-starttls\r\n"
                                                             "250-AUTH LOGIN cram-md5\r\n"
                                                             "250-AUTH=PLAIN\r\n"
                                                             "250 HELP\r\n");
    EXPECT_EQ(offered.Keywords(), (QStringList{"SIZE", "STARTTLS", "AUTH", "HELP"}));
    EXPECT_EQ(offered.AuthMechanisms(), (QStringList{"LOGIN", "CRAM-MD5", "PLAIN"}));
    EXPECT_TRUE(SmtpCapabilities::Parse("250 mail.example.net\r\n").Keywords().isEmpty())
        << "the greeting alone";
    EXPECT_FALSE(SmtpCapabilities::Parse("250 STARTTLS\r\n").Has("STARTTLS"))
        << "a first line is the greeting";
}

TEST(SmtpCapabilities, TheListIsBounded)
{
    QString many = "250-mail.example.net\r\n";
    for (int i = 0; i < 1000; ++i)
        many += QString("250-X-%1\r\n").arg(i);
    many += "250 STARTTLS\r\n";
    const SmtpCapabilities bounded = SmtpCapabilities::Parse(many);
    EXPECT_EQ(bounded.Keywords().size(), SmtpCapabilities::MaxLines);
    EXPECT_FALSE(bounded.Has("STARTTLS")) << "past the lines read";

    const QString longLine = "250-AUTH PLAIN " + QString(SmtpCapabilities::MaxLineLength, 'X') + "\r\n";
    const SmtpCapabilities skipped = SmtpCapabilities::Parse("250-mail\r\n" + longLine + "250 STARTTLS\r\n");
    EXPECT_EQ(skipped.Keywords(), QStringList{"STARTTLS"}) << "an overlong line is skipped whole";
    EXPECT_TRUE(skipped.AuthMechanisms().isEmpty());
}

namespace {
const QString StartTlsOffer = "250-mail.example.net\r\n250-STARTTLS\r\n250 HELP\r\n";
const QString LoginOffer = "250-mail.example.net\r\n250-AUTH PLAIN LOGIN\r\n250 HELP\r\n";

// The first report's text, empty when there is none.
QString Said(const SmtpDialogue::Step& step)
{
    return step.reports.empty() ? QString() : step.reports.front().text;
}

SmtpDialogue Dialogue(SmtpSecurity security, const QString& user = {}, const QString& password = {})
{
    return SmtpDialogue(
        "cam@x", {"a@y"}, [] { return QByteArray("message"); }, SmtpLogin{security, user, password});
}
} // namespace

TEST(SmtpDialogue, StartTlsThenEhloAgainThenAuthPlain)
{
    SmtpDialogue dialogue = Dialogue(SmtpSecurity::StartTls, "cam", "s3cret");
    EXPECT_EQ(dialogue.OnReply(220, "220 hi\r\n").send, "EHLO cam@x\r\n");
    EXPECT_EQ(dialogue.State(), 8);
    const auto agreed = dialogue.OnReply(250, StartTlsOffer);
    EXPECT_EQ(agreed.send, "STARTTLS\r\n");
    EXPECT_FALSE(agreed.startTls) << "not before the server agrees";
    const auto handshake = dialogue.OnReply(220, "220 go ahead\r\n");
    EXPECT_TRUE(handshake.startTls);
    EXPECT_TRUE(handshake.send.isEmpty());
    ASSERT_EQ(handshake.reports.size(), 1u);
    EXPECT_EQ(handshake.reports[0].text, "Starting TLS");
    EXPECT_EQ(dialogue.State(), 10);
    const auto again = dialogue.OnTlsStarted();
    EXPECT_EQ(again.send, "EHLO cam@x\r\n");
    EXPECT_TRUE(dialogue.Capabilities().Keywords().isEmpty())
        << "what was offered in plain text is forgotten";
    const auto login = dialogue.OnReply(250, LoginOffer);
    EXPECT_EQ(login.send, "AUTH PLAIN AGNhbQBzM2NyZXQ=\r\n") << "PLAIN preferred";
    EXPECT_TRUE(login.secret);
    EXPECT_EQ(dialogue.OnReply(235, "235 ok\r\n").send, "MAIL FROM:<cam@x>\r\n");
    EXPECT_EQ(dialogue.OnReply(250, "250 ok\r\n").send, "RCPT TO:<a@y>\r\n");
    EXPECT_EQ(dialogue.State(), 4) << "the envelope as in the plain dialogue";
}

TEST(SmtpDialogue, AuthLoginWhenPlainIsNotOffered)
{
    SmtpDialogue dialogue = Dialogue(SmtpSecurity::Tls, "cam", "s3cret");
    dialogue.OnTlsStarted();
    dialogue.OnReply(220, "220 hi\r\n");
    const auto login = dialogue.OnReply(250, "250-mail\r\n250 AUTH LOGIN CRAM-MD5\r\n");
    EXPECT_EQ(login.send, "AUTH LOGIN\r\n");
    const auto user = dialogue.OnReply(334, "334 VXNlcm5hbWU6\r\n");
    EXPECT_EQ(user.send, "Y2Ft\r\n");
    const auto password = dialogue.OnReply(334, "334 UGFzc3dvcmQ6\r\n");
    EXPECT_EQ(password.send, "czNjcmV0\r\n");
    EXPECT_TRUE(password.secret);
    EXPECT_EQ(dialogue.OnReply(235, "235 ok\r\n").send, "MAIL FROM:<cam@x>\r\n");
}

TEST(SmtpDialogue, NoPasswordWithoutTls)
{
    // No TLS asked for: the server's offer of a login in plain text is declined.
    SmtpDialogue plain = Dialogue(SmtpSecurity::None, "cam", "s3cret");
    EXPECT_EQ(plain.OnReply(220, "220 hi\r\n").send, "EHLO cam@x\r\n") << "a login needs EHLO";
    const auto refused = plain.OnReply(250, LoginOffer);
    EXPECT_EQ(refused.send, "QUIT\r\n");
    EXPECT_FALSE(refused.secret);
    EXPECT_EQ(refused.outcome, SmtpDialogue::Outcome::Failed);
    ASSERT_EQ(refused.reports.size(), 1u);
    EXPECT_EQ(refused.reports[0].code, SmtpReport::Failed);
    EXPECT_EQ(refused.reports[0].text,
              "The password is sent only over TLS - choose STARTTLS or TLS for this server");

    // Implicit TLS that the socket has not confirmed counts as none.
    SmtpDialogue unconfirmed = Dialogue(SmtpSecurity::Tls, "cam", "s3cret");
    unconfirmed.OnReply(220, "220 hi\r\n");
    EXPECT_EQ(unconfirmed.OnReply(250, LoginOffer).send, "QUIT\r\n");

    // STARTTLS chosen but not offered: an error, never plain text instead.
    SmtpDialogue notOffered = Dialogue(SmtpSecurity::StartTls, "cam", "s3cret");
    notOffered.OnReply(220, "220 hi\r\n");
    const auto missing = notOffered.OnReply(250, LoginOffer);
    EXPECT_EQ(missing.send, "QUIT\r\n");
    EXPECT_EQ(missing.outcome, SmtpDialogue::Outcome::Failed);
    EXPECT_EQ(Said(missing), "The server does not offer STARTTLS");

    // A reply while the handshake runs is out of place.
    SmtpDialogue early = Dialogue(SmtpSecurity::StartTls);
    early.OnReply(220, "220 hi\r\n");
    early.OnReply(250, StartTlsOffer);
    early.OnReply(220, "220 go ahead\r\n");
    const auto spoke = early.OnReply(250, "250 AUTH PLAIN\r\n");
    EXPECT_EQ(spoke.outcome, SmtpDialogue::Outcome::Failed);
    EXPECT_TRUE(spoke.send.isEmpty());
}

TEST(SmtpDialogue, WithoutAUserNameNoLoginAndWithoutTlsTheOldHelo)
{
    SmtpDialogue old = Dialogue(SmtpSecurity::None);
    EXPECT_EQ(old.OnReply(220, "220 hi\r\n").send, "HELO cam@x\r\n");
    EXPECT_EQ(old.OnReply(250, "250 ok\r\n").send, "MAIL FROM:<cam@x>\r\n");

    SmtpDialogue tls = Dialogue(SmtpSecurity::Tls);
    tls.OnTlsStarted();
    tls.OnReply(220, "220 hi\r\n");
    EXPECT_EQ(tls.OnReply(250, LoginOffer).send, "MAIL FROM:<cam@x>\r\n") << "no AUTH without a user name";
}

TEST(SmtpDialogue, HeloWhenEhloIsRefused)
{
    SmtpDialogue tls = Dialogue(SmtpSecurity::Tls);
    tls.OnTlsStarted();
    tls.OnReply(220, "220 hi\r\n");
    const auto helo = tls.OnReply(502, "502 command not implemented\r\n");
    EXPECT_EQ(helo.send, "HELO cam@x\r\n");
    ASSERT_EQ(helo.reports.size(), 1u);
    EXPECT_EQ(helo.reports[0].code, SmtpReport::Progress);
    EXPECT_EQ(helo.reports[0].text, "EHLO refused, sending HELO - 502 command not implemented");
    EXPECT_EQ(tls.OnReply(250, "250 ok\r\n").send, "MAIL FROM:<cam@x>\r\n");

    // HELO offers nothing: no STARTTLS, no login.
    SmtpDialogue startTls = Dialogue(SmtpSecurity::StartTls);
    startTls.OnReply(220, "220 hi\r\n");
    startTls.OnReply(500, "500 what?\r\n");
    EXPECT_EQ(Said(startTls.OnReply(250, "250 ok\r\n")), "The server does not offer STARTTLS");

    SmtpDialogue login = Dialogue(SmtpSecurity::Tls, "cam", "pw");
    login.OnTlsStarted();
    login.OnReply(220, "220 hi\r\n");
    login.OnReply(500, "500 what?\r\n");
    EXPECT_EQ(Said(login.OnReply(250, "250 ok\r\n")), "The server offers no login (AUTH)");

    SmtpDialogue other = Dialogue(SmtpSecurity::Tls);
    other.OnTlsStarted();
    other.OnReply(220, "220 hi\r\n");
    EXPECT_EQ(other.OnReply(421, "421 busy\r\n").outcome, SmtpDialogue::Outcome::Failed)
        << "only 5xx means no EHLO";
}

TEST(SmtpDialogue, RefusedLoginsAndUnknownMechanisms)
{
    SmtpDialogue wrong = Dialogue(SmtpSecurity::Tls, "cam", "wrong");
    wrong.OnTlsStarted();
    wrong.OnReply(220, "220 hi\r\n");
    wrong.OnReply(250, LoginOffer);
    const auto refused = wrong.OnReply(535, "535 5.7.8 Authentication credentials invalid\r\n");
    EXPECT_EQ(refused.outcome, SmtpDialogue::Outcome::Failed);
    ASSERT_EQ(refused.reports.size(), 1u);
    EXPECT_EQ(refused.reports[0].text, "535 5.7.8 Authentication credentials invalid");

    SmtpDialogue chatty = Dialogue(SmtpSecurity::Tls, "cam", "wrong");
    chatty.OnTlsStarted();
    chatty.OnReply(220, "220 hi\r\n");
    chatty.OnReply(250, LoginOffer);
    const QString longReply = "535 " + QString(5000, 'n') + "\r\n";
    const QString text = Said(chatty.OnReply(535, longReply));
    EXPECT_EQ(text, longReply.left(SmtpDialogue::MaxReportedReply) + "...") << "bounded";

    SmtpDialogue unknown = Dialogue(SmtpSecurity::Tls, "cam", "pw");
    unknown.OnTlsStarted();
    unknown.OnReply(220, "220 hi\r\n");
    const auto none = unknown.OnReply(250, "250-mail\r\n250 AUTH CRAM-MD5 XOAUTH2\r\n");
    EXPECT_EQ(none.send, "QUIT\r\n");
    EXPECT_EQ(Said(none), "The server offers no login by PLAIN or LOGIN (AUTH CRAM-MD5 XOAUTH2)");
}
