#include "CFramewrightDlg.h"
#include "Clock.h"
#include "EventLog.h"
#include "FtpServer.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "LogRecorder.h"
#include "RecordingTrayPresenter.h"
#include "SmtpServers.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "control/CControl.h"
#include "outputs/ArchiveEngine.h"
#include "service/EngineSet.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/time.h>

namespace {
QByteArray Jpeg(int width)
{
    QByteArray bytes;
    EncodeImageToStream(GradientFrame(width, 24, 24), bytes, ImageFormat::Jpeg, 80);
    return bytes;
}

// Written elsewhere, stamped with one fixed time, renamed in.
void Drop(const QString& staging, const QString& target, const QByteArray& bytes)
{
    QFile file(staging);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const timeval times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(staging).constData(), times), 0);
    ASSERT_TRUE(QFile::rename(staging, target));
}

struct FlowTest : ::testing::Test
{
    QTemporaryDir home, drop, staging;
    QString data = home.path() + "/Quellmoor Software/Pixlet/";
    LogRecorder log;
    TrayRecord tray;
    std::unique_ptr<CFramewrightDlg> dialog;

    void Start(const QString& extraSettings)
    {
        QDir().mkpath(data);
        QFile settings(data + "Pixlet.ini");
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(
            ("SourceType = 0\r\nSourceFileCollectDirectory = " + drop.path() +
             "\r\nArchiveRootDirectory = " + data +
             "archive\r\nArchiveSaveDelay = 0\r\n"
             "ArchiveSubdirectoryAndFilename = <HH><MM><SS><MS>.jpg\r\nControlEnableArchive = Yes\r\n"
             "ControlProcessCollectionType = 1\r\nControlStartOnLoad = Yes\r\n" +
             extraSettings)
                .toUtf8());
        settings.close();
        dialog = std::make_unique<CFramewrightDlg>(SystemClock(), data);
        dialog->Initialise(std::make_unique<RecordingTrayPresenter>(tray));
        SetLogReceiver(&log);
        ASSERT_EQ(dialog->Controller()->ProcessingState(), CControl::State::Waiting);
    }
    void TearDown() override
    {
        if (dialog) {
            SetLogReceiver(nullptr);
            dialog->SetExitBudgetMs(500);
            dialog->ExitProgram();
        }
    }
    int Archived() const { return log.Starting("Archive - Archived OK - ").size(); }
};
} // namespace

// A mail server that accepts and never answers and a frozen FTP server hold their outputs
// busy for their whole time limits; the archive beside them takes every arrival.
TEST_F(FlowTest, ASilentMailServerAndAFrozenFtpServerHoldUpNoOtherOutput)
{
    ScriptedSmtpServer::Script script;
    script.silent = true;
    ScriptedSmtpServer smtp(script);
    FtpServer ftp;
    ASSERT_TRUE(ftp.Running());
    ftp.Freeze();
    Start(QString("EmailServer = 127.0.0.1\r\nEmailPort = %1\r\nEmailToAddress = a@example.org\r\n"
                  "FTPServer = 127.0.0.1\r\nFTPPort = %2\r\nFTPUsername = %3\r\nFTPPassword = %4\r\n"
                  "FTPEncryptPassword = No\r\nControlEnableEmail = Yes\r\nControlEnableFTP = Yes\r\n")
              .arg(smtp.Port())
              .arg(ftp.Port())
              .arg(FtpServer::User, FtpServer::Password));
    constexpr int Arrivals = 4;
    for (int i = 0; i < Arrivals; ++i) {
        Drop(staging.filePath("f.jpg"), drop.filePath(QString("cam%1.jpg").arg(i)), Jpeg(40 + i));
        ASSERT_TRUE(WaitUntil([&] { return Archived() == i + 1; }, 5000))
            << "arrival " << i << " was not archived:\n"
            << [&] {
                   QStringList texts;
                   for (const auto& entry : log.entries)
                       texts << entry.text;
                   return texts.join("\n").toStdString();
               }();
        QTest::qWait(1000);
    }
    EXPECT_EQ(FilesUnder(data + "archive", "*.jpg").size(), Arrivals);
    EXPECT_EQ(dialog->Controller()->Stats().cycles, Arrivals);
    EXPECT_EQ(dialog->Controller()->ProcessingState(), CControl::State::Cycle)
        << "mail and upload still hang";
    ftp.Thaw();
}

// A burst of renames all with the same time: the last one to arrive is the one published.
TEST_F(FlowTest, AfterABurstOfTwoHundredRenamesTheLastOneIsPublished)
{
    Start(QString());
    constexpr int Files = 200;
    for (int i = 0; i < Files; ++i)
        Drop(staging.filePath(QString("s%1.jpg").arg(i)),
             drop.filePath(QString("b%1.jpg").arg(i, 3, 10, QChar('0'))), Jpeg(16 + i));
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& entry : log.entries)
                if (entry.text.startsWith("Loaded file b199.jpg"))
                    return Archived() >= 1 &&
                           dialog->Controller()->ProcessingState() == CControl::State::Waiting;
            return false;
        },
        15000));
    QTest::qWait(500);
    ImageFrame last;
    ASSERT_EQ(LoadImageFile(last, dialog->Engines().Archive().LastArchivedPath()), 0);
    EXPECT_EQ(last.Width(), 16 + Files - 1) << "the last file renamed in";
    // Whatever was loaded and not published is accounted for.
    const int loaded = log.Starting("Loaded file b").size();
    EXPECT_EQ(Archived() + dialog->Controller()->Stats().skipped, loaded);
}
