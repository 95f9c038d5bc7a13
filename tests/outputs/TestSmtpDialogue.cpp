#include "outputs/SmtpDialogue.h"
#include "outputs/SmtpReplyReader.h"
#include "outputs/SmtpSettings.h"
#include "outputs/SocketErrorText.h"

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
                                  "EmailFrom Address = cam@example.net", ""}));
    EXPECT_EQ(SmtpSettings::Read(list), s);
    EXPECT_EQ(SmtpSettings::Read({"EmailPort = 65561"}).port, 25) << "the low 16 bits";
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
