#include "Clock.h"
#include "ImageDecoder.h"
#include "ManualClock.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "NotifyReports.h"
#include "SmtpServers.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "outputs/SmtpDialogue.h"
#include "outputs/SmtpEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
using Reports = SmtpReports;
using Codes = std::vector<std::int64_t>;
const QList<QByteArray> HappyReplies = {"250 hello\r\n",    "250 sender ok\r\n", "250 recipient ok\r\n",
                                        "354 go ahead\r\n", "250 queued\r\n",    "221 bye\r\n"};

class SmtpMailingTest : public ::testing::Test
{
protected:
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(14, 5, 30))};
    Reports reports;
    SmtpEngine page{clock, SmtpLimits{1500, 400}};

    void Configure(quint16 port, QStringList extra = {})
    {
        extra.prepend(QString("EmailPort = %1").arg(port));
        extra.prepend("EmailServer = 127.0.0.1");
        if (!extra.join('\n').contains("EmailToAddress"))
            extra.append("EmailToAddress = viewer@example.net");
        extra.append("EmailFrom Address = cam@example.net");
        page.LoadSettings(extra);
    }
    void Send() { page.SendMail(GradientFrame(160, 120, 24), &reports); }
    // Until the mailing's thread has ended.
    bool Finished(int timeoutMs = 10000)
    {
        const bool ended = WaitUntil([&] { return page.RunningMailings() == 0; }, timeoutMs);
        // Its last reports were posted before it ended.
        QCoreApplication::sendPostedEvents();
        return ended;
    }
};
} // namespace

TEST_F(SmtpMailingTest, TheWholeDialogueInItsOrder)
{
    ScriptedSmtpServer server({.replies = HappyReplies});
    Configure(server.Port());
    QElapsedTimer timer;
    timer.start();
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_LT(timer.elapsed(), 350) << "the server's close after 221 ends the thread at once";
    EXPECT_EQ(reports.Codes(), (Codes{3, 0}));
    EXPECT_EQ(reports.steps[0].second, "Sending email to: viewer@example.net");
    EXPECT_EQ(server.commands, (QStringList{"HELO cam@example.net", "MAIL FROM:<cam@example.net>",
                                            "RCPT TO:<viewer@example.net>", "DATA", "QUIT"}));
    EXPECT_TRUE(server.message.startsWith("From: cam@example.net\r\nTo: viewer@example.net\r\n"));
    EXPECT_TRUE(server.message.endsWith("\r\n--PixletMIMEBoundary--\r\n.\r\n"));
    EXPECT_EQ(page.State(), OutputState::Idle);
}

TEST_F(SmtpMailingTest, RecipientsAsTypedAndAsSent)
{
    QList<QByteArray> replies = HappyReplies;
    replies.insert(3, "250 second ok\r\n");
    ScriptedSmtpServer two({.replies = replies});
    Configure(two.Port(), {"EmailToAddress = a@example.net, b@example.net"});
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 0}));
    EXPECT_TRUE(two.commands.contains("RCPT TO:<a@example.net>"));
    EXPECT_TRUE(two.commands.contains("RCPT TO:<b@example.net>"));
    EXPECT_TRUE(two.message.contains("\r\nTo: a@example.net, b@example.net\r\n")) << "the header as typed";

    ScriptedSmtpServer one({.replies = HappyReplies});
    Configure(one.Port(), {"EmailToAddress = a@example.net,,b@example.net"});
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(one.commands.filter("RCPT").size(), 1) << "two commas end the list";
}

TEST_F(SmtpMailingTest, ARefusedRecipientIsSkippedUnlessItIsTheLast)
{
    ScriptedSmtpServer first({.replies = {"250 hello\r\n", "250 sender ok\r\n", "550 no such user\r\n",
                                          "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"}});
    Configure(first.Port(), {"EmailToAddress = gone@example.net, here@example.net"});
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 2, 0}));
    EXPECT_EQ(reports.steps[1].second, "gone@example.net - 550 no such user");
    EXPECT_EQ(page.State(), OutputState::Idle);

    ScriptedSmtpServer last(
        {.replies = {"250 hello\r\n", "250 sender ok\r\n", "250 ok\r\n", "553 mailbox name not allowed\r\n"},
         .closeAfterQuit = false});
    Configure(last.Port(), {"EmailToAddress = here@example.net, gone@example.net"});
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished()) << "closed by us after the closing delay";
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(reports.steps[1].second, "553 mailbox name not allowed");
    EXPECT_FALSE(last.commands.contains("QUIT"));
    EXPECT_FALSE(last.commands.contains("DATA"));
    EXPECT_EQ(page.State(), OutputState::Failed);
}

TEST_F(SmtpMailingTest, TheAttachmentNameIsExpandedAndItsFormatComesFromTheTemplate)
{
    ScriptedSmtpServer server({.replies = HappyReplies});
    Configure(server.Port(), {"EmailFilename = cam_<HH><MM>.jpg", "EmailSubject = Camera at <HH>:<MM>"});
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_TRUE(server.message.contains("name=\"cam_1405.jpg\"")) << server.message.left(400).toStdString();
    EXPECT_TRUE(server.message.contains("\r\nSubject:Camera at 14:05\r\n"));

    ScriptedSmtpServer unused({.replies = HappyReplies});
    Configure(unused.Port(), {"EmailFilename = notes.txt"});
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished());
    ASSERT_EQ(reports.Codes(), (Codes{2}));
    EXPECT_EQ(reports.steps[0].second, "Could not create notes.txt");
    EXPECT_TRUE(unused.commands.isEmpty()) << "no connection";
    EXPECT_EQ(page.State(), OutputState::Failed);

    Configure(unused.Port(), {"EmailToAddress = "});
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished());
    ASSERT_EQ(reports.Codes(), (Codes{1}));
    EXPECT_EQ(reports.steps[0].second, "No recipient address");
}

TEST_F(SmtpMailingTest, ARefusedConnection)
{
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    Configure(port);
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(reports.steps[1].second, "The attempt to connect was forcefully rejected");
    EXPECT_EQ(page.State(), OutputState::Failed);
}

TEST_F(SmtpMailingTest, AServerThatKeepsTheConnectionIsLeftAfterTheClosingDelay)
{
    ScriptedSmtpServer server({.replies = HappyReplies, .closeAfterQuit = false});
    Configure(server.Port());
    QElapsedTimer timer;
    timer.start();
    Send();
    ASSERT_TRUE(WaitUntil([&] { return reports.steps.size() == 2; }));
    EXPECT_EQ(page.RunningMailings(), 1) << "still waiting for the server to close";
    ASSERT_TRUE(Finished());
    EXPECT_GE(timer.elapsed(), 380) << "a coarse timer may fire 5 % early";
    ASSERT_TRUE(WaitUntil([&] { return server.clientClosed; }));
    EXPECT_EQ(reports.Codes(), (Codes{3, 0}));
}

TEST_F(SmtpMailingTest, MultiLineRepliesAreReadWhole)
{
    ScriptedSmtpServer server(
        {.greeting = "220-scripted ESMTP\r\n220-second line\r\n220 ready\r\n",
         .replies = {"250-scripted hello\r\n250-SIZE 1000000\r\n250 HELP\r\n", "250 sender ok\r\n",
                     "250 recipient ok\r\n", "354 go ahead\r\n", "250 queued\r\n", "221 bye\r\n"}});
    Configure(server.Port());
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 0}));
    EXPECT_EQ(server.commands.size(), 5);
}

TEST_F(SmtpMailingTest, SilentAndFloodingServersFailWithinTheLimits)
{
    ScriptedSmtpServer silent({.replies = {}, .silent = true});
    Configure(silent.Port());
    QElapsedTimer timer;
    timer.start();
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(reports.steps[1].second, "The server did not finish the dialogue within 1 s");
    EXPECT_EQ(page.State(), OutputState::Failed);

    ScriptedSmtpServer flood({.replies = {}, .floodBytes = 200 * 1024});
    Configure(flood.Port());
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_TRUE(reports.steps[1].second.contains("longer than 65536 bytes"));

    // The next mailing is not held up by either.
    ScriptedSmtpServer good({.replies = HappyReplies});
    Configure(good.Port());
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 0}));
}

TEST_F(SmtpMailingTest, AServerHangingUpEarlyFailsTheMailingAndABusyOneIsNotDisturbed)
{
    ScriptedSmtpServer early({.replies = {"250 hello\r\n", "221 closing\r\n"}});
    Configure(early.Port());
    Send();
    Send(); // busy: ignored
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1})) << "one mailing only";
    EXPECT_EQ(reports.steps[1].second, "221 closing");
    EXPECT_EQ(page.State(), OutputState::Failed);

    // Hanging up without a word before the message was taken.
    ScriptedSmtpServer mute({.replies = HappyReplies, .hangUpAfter = 2});
    Configure(mute.Port());
    reports.steps.clear();
    Send();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(reports.Codes(), (Codes{3, 1}));
    EXPECT_EQ(reports.steps[1].second, "Connection reset by remote host");
    EXPECT_EQ(page.State(), OutputState::Failed) << "not Busy for ever";
}

TEST(SmtpMailing, ClosingThePageEndsAMailingThatWaitsForItsServer)
{
    ScriptedSmtpServer silent({.replies = {}, .silent = true});
    Reports reports;
    QElapsedTimer timer;
    {
        SmtpEngine page(SystemClock());
        page.LoadSettings({"EmailServer = 127.0.0.1", QString("EmailPort = %1").arg(silent.Port()),
                           "EmailToAddress = a@example.net"});
        page.SendMail(GradientFrame(32, 32, 24), &reports);
        ASSERT_TRUE(WaitUntil([&] { return !reports.steps.empty(); }));
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 3000) << "not the two minutes of the dialogue limit";
}

TEST(SmtpRealServer, AiosmtpdReceivesAWellFormedMessage)
{
    AiosmtpdServer server;
    ASSERT_TRUE(server.Running()) << "aiosmtpd did not start";
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(9, 30, 0))};
    Reports reports;
    SmtpEngine page(clock);
    page.LoadSettings({"EmailServer = 127.0.0.1", QString("EmailPort = %1").arg(server.Port()),
                       "EmailToAddress = one@example.net, two@example.net",
                       "EmailFrom Address = cam@example.net", "EmailSubject = Camera <HH>:<MM>",
                       "EmailFilename = still_<HH><MM>.png"});
    page.SendMail(GradientFrame(200, 150, 24), &reports);
    ASSERT_TRUE(WaitUntil([&] { return page.RunningMailings() == 0; }, 20000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(reports.Codes(), (Codes{3, 0}));
    const QString eml = QDir(server.Directory()).filePath("1.eml");
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(QDir(server.Directory()).filePath("1.env")); }));
    QFile envelope(QDir(server.Directory()).filePath("1.env"));
    ASSERT_TRUE(envelope.open(QIODevice::ReadOnly));
    EXPECT_EQ(envelope.readAll(), "cam@example.net\none@example.net\ntwo@example.net\n");

    QTemporaryDir scratch;
    const QString attachment = scratch.filePath("attachment");
    const auto fields = AiosmtpdServer::ParseMessage(eml, attachment);
    EXPECT_EQ(fields.value("defects"), "0");
    EXPECT_EQ(fields.value("From"), "cam@example.net");
    EXPECT_EQ(fields.value("To"), "one@example.net, two@example.net");
    EXPECT_EQ(fields.value("Subject"), "Camera 09:30");
    EXPECT_EQ(fields.value("MIME-Version"), "1.0");
    EXPECT_EQ(fields.value("content-type"), "multipart/mixed");
    EXPECT_EQ(fields.value("boundary"), "PixletMIMEBoundary");
    EXPECT_EQ(fields.value("parts"), "1");
    EXPECT_EQ(fields.value("part-defects"), "0");
    EXPECT_EQ(fields.value("part-type"), "application/octet-stream");
    EXPECT_EQ(fields.value("part-name"), "still_0930.png");
    EXPECT_EQ(fields.value("part-encoding"), "base64");
    QFile bytes(attachment);
    ASSERT_TRUE(bytes.open(QIODevice::ReadOnly));
    EXPECT_EQ(bytes.read(4), QByteArray("\x89PNG"));
    ImageFrame decoded;
    // The decoder goes by the extension.
    ASSERT_TRUE(QFile::copy(attachment, attachment + ".png"));
    ASSERT_EQ(LoadImageFile(decoded, attachment + ".png"), 0);
    EXPECT_EQ(decoded.Width(), 200);
    EXPECT_EQ(decoded.Height(), 150);
}
