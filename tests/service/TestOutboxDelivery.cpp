#include "Clock.h"
#include "FtpServer.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "LogRecorder.h"
#include "SmtpServers.h"
#include "TestImages.h"
#include "WaitUntil.h"
#include "control/CControl.h"
#include "service/EngineSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

// The outbox end to end: real FTP and SMTP servers that are not there while pictures arrive,
// then come back; every mail goes out in the order taken, the fixed FTP name gets the newest
// picture, and what one run could not deliver the next one does.
namespace {
// Quick time-outs, and a short pause before a kept image is tried again.
const EngineSet::Limits FastLimits{FtpLimits{3000, 3000}, SmtpLimits{}, std::chrono::milliseconds(1500)};

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The servers come back where Pixlet expects them.
FtpServerOptions FtpOn(quint16 port)
{
    FtpServerOptions options;
    options.port = port;
    return options;
}

AiosmtpdOptions SmtpOn(quint16 port)
{
    AiosmtpdOptions options;
    options.port = port;
    return options;
}

class OutboxDeliveryTest : public ::testing::Test
{
protected:
    QTemporaryDir home, drop;
    QString data = home.filePath("data") + "/";
    quint16 ftpPort = FreePort();
    quint16 smtpPort = FreePort();
    int dropped = 0;

    void WriteSettings(const QString& extra = QString())
    {
        ASSERT_TRUE(QDir().mkpath(data));
        QFile file(data + "Pixlet.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        // What the test adds comes first: the first line of a key is the one taken.
        file.write(
            extra.toUtf8() +
            QString("SourceType = 0\nSourceFileCollectDirectory = %1\nSourceFileCollectMask = *.jpg\n"
                    "ControlProcessCollectionType = 1\nControlEnableFTP = Yes\nControlEnableEmail = Yes\n"
                    "FTPServer = 127.0.0.1\nFTPPort = %2\nFTPUsername = %3\nFTPPassword = %4\n"
                    "FTPEncryptPassword = No\nFTPDestinationFilename = cam.jpg\n"
                    "EmailServer = 127.0.0.1\nEmailPort = %5\nEmailToAddress = viewer@example.net\n"
                    "EmailFrom Address = camera@example.net\nEmailSubject = shot <HH><MM><SS>\n"
                    "EmailFilename = <HH><MM><SS>.jpg\n")
                .arg(drop.path())
                .arg(ftpPort)
                .arg(FtpServer::User, FtpServer::Password)
                .arg(smtpPort)
                .toUtf8());
    }
    // A picture of its own width renamed into the drop directory; returns when its cycle has
    // run and both outputs are done with it.
    void Drop(EngineSet& engines)
    {
        const int cycles = engines.Controller().Stats().cycles;
        const QString name = QString("p%1.jpg").arg(++dropped);
        ASSERT_TRUE(SaveImageFile(GradientFrame(320 + dropped * 16, 240, 24), home.filePath(name)) == 0);
        ASSERT_TRUE(QFile::rename(home.filePath(name), drop.filePath(name)));
        ASSERT_TRUE(WaitUntil([&] { return engines.Controller().Stats().cycles > cycles; }, 20000));
        ASSERT_TRUE(WaitUntil(
            [&] { return engines.Controller().ProcessingState() != CControl::State::Cycle; }, 20000));
        // Taken a second apart, so that each mail's subject says which picture it carries.
        QThread::msleep(1100);
    }
    static int Width(const QString& path)
    {
        ImageFrame frame;
        return LoadImageFile(frame, path) == 0 ? frame.Width() : -1;
    }
};

// Everything the log said, for a failure's message.
std::string Said(LogRecorder& log)
{
    QCoreApplication::sendPostedEvents();
    QString all;
    for (const LogRecorder::Entry& entry : log.entries)
        all += entry.text + "\n";
    return all.toStdString();
}

// The mails the server holds, in the order it took them: their subjects.
QStringList Subjects(const AiosmtpdServer& server)
{
    QStringList subjects;
    for (int n = 1;; ++n) {
        QFile file(QDir(server.Directory()).filePath(QString("%1.eml").arg(n)));
        if (!file.open(QIODevice::ReadOnly))
            return subjects;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("Subject:")) {
                subjects << QString::fromUtf8(line.mid(8).trimmed());
                break;
            }
        }
    }
}
} // namespace

TEST_F(OutboxDeliveryTest, PicturesTakenWhileTheServersAreDownAllGoOutOnceTheyAreBack)
{
    WriteSettings();
    EngineSet engines(SystemClock(), data, FastLimits);
    LogRecorder log; // after the engines: the log's lines come here
    engines.StartUp();
    engines.Controller().StartProcessing();
    for (int i = 0; i < 5; ++i)
        Drop(engines);
    EXPECT_EQ(engines.Controller().Stats().outboxImages, 6) << "five mails and the newest upload";
    QCoreApplication::sendPostedEvents();
    EXPECT_GE(log.Starting("Outbox - FTP image taken ").size(), 5);

    FtpServer ftp(FtpOn(ftpPort));
    AiosmtpdServer smtp(SmtpOn(smtpPort));
    ASSERT_TRUE(ftp.Running() && smtp.Running());
    ASSERT_TRUE(WaitUntil([&] { return engines.Controller().Stats().outboxImages == 0; }, 60000))
        << engines.Controller().Stats().outboxImages;
    ASSERT_TRUE(WaitUntil([&] { return Subjects(smtp).size() == 5; }, 20000))
        << Subjects(smtp).join(", ").toStdString() << Said(log);
    QStringList sorted = Subjects(smtp);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Subjects(smtp), sorted) << "in the order taken, each dated when it was taken";
    EXPECT_EQ(QSet<QString>(sorted.begin(), sorted.end()).size(), 5);
    EXPECT_EQ(Width(QDir(ftp.Home()).filePath("cam.jpg")), 320 + 5 * 16) << "the newest picture";
    EXPECT_TRUE(QDir(data + "outbox").entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(OutboxDeliveryTest, WhatOneRunCouldNotDeliverTheNextDoesAndTheBoundDropsTheOldest)
{
    WriteSettings("AdvancedOutboxMaxImages = 4\n");
    {
        EngineSet engines(SystemClock(), data, FastLimits);
        LogRecorder log; // after the engines: the log's lines come here
        engines.StartUp();
        engines.Controller().StartProcessing();
        for (int i = 0; i < 4; ++i)
            Drop(engines);
        // Three mails and the upload fit; the first mail is dropped for the fourth.
        EXPECT_EQ(engines.Controller().Stats().outboxImages, 4);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(log.Starting("Outbox - Full (at most 4 items").size(), 1);
        engines.Controller().Halt();
    }
    FtpServer ftp(FtpOn(ftpPort));
    AiosmtpdServer smtp(SmtpOn(smtpPort));
    ASSERT_TRUE(ftp.Running() && smtp.Running());

    EngineSet engines(SystemClock(), data, FastLimits);
    engines.StartUp();
    EXPECT_EQ(engines.Controller().Stats().outboxImages, 0) << "counted once processing runs";
    engines.Controller().StartProcessing();
    ASSERT_TRUE(WaitUntil(
        [&] { return Subjects(smtp).size() == 3 && Width(QDir(ftp.Home()).filePath("cam.jpg")) > 0; }, 60000))
        << Subjects(smtp).join(", ").toStdString();
    EXPECT_EQ(Width(QDir(ftp.Home()).filePath("cam.jpg")), 320 + 4 * 16);
    ASSERT_TRUE(WaitUntil([&] { return engines.Controller().Stats().outboxImages == 0; }, 20000));
}

TEST_F(OutboxDeliveryTest, AnUploadCutShortByExitIsKeptForTheNextRun)
{
    FtpServer ftp(FtpOn(ftpPort));
    ASSERT_TRUE(ftp.Running());
    WriteSettings("ControlEnableEmail = No\n");
    {
        EngineSet engines(SystemClock(), data, FastLimits);
        engines.StartUp();
        engines.Controller().StartProcessing();
        // A frozen server: the upload hangs until the exit cuts it short.
        ftp.Freeze();
        const QString name = "late.jpg";
        ASSERT_EQ(SaveImageFile(GradientFrame(400, 300, 24), home.filePath(name)), 0);
        ASSERT_TRUE(QFile::rename(home.filePath(name), drop.filePath(name)));
        ASSERT_TRUE(WaitUntil([&] { return engines.Controller().Stats().cycles == 1; }, 20000));
        engines.FinishForExit(3000);
        EXPECT_EQ(engines.Controller().Stats().outboxImages, 1);
    }
    ftp.Thaw();
    EngineSet engines(SystemClock(), data, FastLimits);
    LogRecorder log;
    engines.StartUp();
    engines.Controller().StartProcessing();
    ASSERT_TRUE(WaitUntil([&] { return Width(QDir(ftp.Home()).filePath("cam.jpg")) == 400; }, 30000));
    ASSERT_TRUE(WaitUntil([&] { return engines.Controller().Stats().outboxImages == 0; }, 10000))
        << Said(log);
}
