#include "FtpServer.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "TestFiles.h"
#include "TestImages.h"
#include "WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <sys/time.h>

// The real program in service mode, as a unit file would start it: no display server, no
// platform chosen by anybody.
namespace {
QByteArray Jpeg()
{
    QByteArray jpeg;
    EXPECT_EQ(EncodeImageToStream(GradientFrame(320, 240, 24), jpeg, ImageFormat::Jpeg, 85), 0);
    return jpeg;
}

// A finished file appears at once under its name, as a camera's upload does.
void Drop(const QString& directory, const QString& name)
{
    QFile file(directory + "/." + name + ".part");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Jpeg());
    file.close();
    ASSERT_TRUE(QFile::rename(file.fileName(), directory + "/" + name));
}

void WriteSettings(const QString& dataDirectory, const QString& lines)
{
    ASSERT_TRUE(QDir().mkpath(dataDirectory));
    QFile file(dataDirectory + "Pixlet.ini");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QString(lines).replace("\n", "\r\n").toUtf8());
}

class Service
{
public:
    explicit Service(const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        process.setProcessEnvironment(environment);
        process.start(PIXLET_BINARY, arguments);
    }
    ~Service()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // Everything said on standard error so far.
    QByteArray Errors()
    {
        errors += process.readAllStandardError();
        return errors;
    }
    bool Says(const QByteArray& text, int timeoutMs = 20000)
    {
        return WaitUntil([&] { return Errors().contains(text); }, timeoutMs);
    }
    void Signal(int signal) { ::kill(static_cast<pid_t>(process.processId()), signal); }

    QProcess process;
    QByteArray errors;
};

QString ArchiveSettings(const QString& drop, const QString& archive)
{
    return "SourceType = 0\nSourceFileCollectDirectory = " + drop + "\nArchiveRootDirectory = " + archive +
           "\nArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg\nArchiveSaveDelay = 0\n"
           "ControlEnableArchive = Yes\nControlProcessCollectionType = 1\n";
}
} // namespace

TEST(Headless, ADroppedPhotoIsArchivedAndUploadedWithTheLogOnStandardError)
{
    FtpServer server;
    ASSERT_TRUE(server.Running());
    QTemporaryDir home, drop;
    const QString data = home.filePath("cam1") + "/";
    WriteSettings(data, ArchiveSettings(drop.path(), data + "archive") +
                            QString("ControlEnableFTP = Yes\nFTPServer = 127.0.0.1\nFTPPort = %1\n"
                                    "FTPUsername = %2\nFTPPassword = %3\nFTPEncryptPassword = No\n"
                                    "FTPDestinationDirectory = /\nFTPDestinationFilename = live.jpg\n")
                                .arg(server.Port())
                                .arg(FtpServer::User, FtpServer::Password));
    Service service({"--headless", "--data-dir", data});
    ASSERT_TRUE(service.Says("Information: Processing started")) << service.Errors().data();
    Drop(drop.path(), "photo.jpg");
    ASSERT_TRUE(service.Says("Information: FTP - Upload completed OK")) << service.Errors().data();
    ASSERT_TRUE(service.Says("Information: Archive - Archived OK")) << service.Errors().data();
    ImageFrame uploaded, archived;
    EXPECT_EQ(LoadImageFile(uploaded, server.Home() + "/live.jpg"), 0);
    EXPECT_EQ(uploaded.Width(), 320);
    const QStringList files = FilesUnder(data + "archive", "*.jpg");
    ASSERT_EQ(files.size(), 1) << files.join(' ').toStdString();
    EXPECT_EQ(LoadImageFile(archived, files[0]), 0);
    // One line each, the category first: nothing else on standard error is a log line.
    for (const QByteArray& line : service.Errors().split('\n')) {
        if (line.startsWith("Information: ") || line.startsWith("Error: "))
            EXPECT_FALSE(line.contains('\r')) << line.data();
    }
    service.Signal(SIGTERM);
    ASSERT_TRUE(service.process.waitForFinished(10000));
    EXPECT_EQ(service.process.exitCode(), 0);
}

TEST(Headless, SighupAppliesAChangedCycleTime)
{
    QTemporaryDir home, drop;
    const QString data = home.filePath("cam") + "/";
    const QString settings = "SourceType = 0\nSourceFileCollectDirectory = " + drop.path() +
                             "\nArchiveRootDirectory = " + data + "archive" +
                             "\nArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg\nArchiveSaveDelay = 0\n"
                             "ControlEnableArchive = Yes\nControlProcessCollectionType = 0\n";
    WriteSettings(data, settings + "ControlProcessCycleTime = 3600\n");
    Service service({"--headless", "--data-dir", data});
    ASSERT_TRUE(service.Says("Processing started")) << service.Errors().data();
    Drop(drop.path(), "photo.jpg");
    // An hour's interval: the photo waits for the next stroke.
    EXPECT_FALSE(service.Says("Archived OK", 3000)) << service.Errors().data();
    WriteSettings(data, settings + "ControlProcessCycleTime = 2\n");
    const QByteArray written = ReadAll(data + "Pixlet.ini");
    service.Signal(SIGHUP);
    ASSERT_TRUE(service.Says("Reading the settings file again (SIGHUP)")) << service.Errors().data();
    EXPECT_TRUE(service.Says("Archived OK", 10000)) << "the two-second interval is in force\n"
                                                    << service.Errors().data();
    EXPECT_EQ(service.process.state(), QProcess::Running) << "SIGHUP is no exit in the service";
    service.Signal(SIGTERM);
    ASSERT_TRUE(service.process.waitForFinished(10000));
    EXPECT_EQ(ReadAll(data + "Pixlet.ini"), written) << "the service never rewrites the user's file";
}

TEST(Headless, AStartRefusedForWantOfAnOutputIsSaidAndTriedAgainOnSighup)
{
    QTemporaryDir home, drop;
    const QString data = home.filePath("cam") + "/";
    WriteSettings(data, "SourceType = 0\nSourceFileCollectDirectory = " + drop.path() + "\n");
    Service service({"--headless", "--data-dir", data});
    ASSERT_TRUE(service.Says("Error: Cannot start - No actions enabled")) << service.Errors().data();
    EXPECT_FALSE(service.Errors().contains("Processing started"));
    WriteSettings(data, ArchiveSettings(drop.path(), data + "archive"));
    service.Signal(SIGHUP);
    ASSERT_TRUE(service.Says("Processing started")) << service.Errors().data();
    Drop(drop.path(), "photo.jpg");
    EXPECT_TRUE(service.Says("Archived OK")) << service.Errors().data();
    service.Signal(SIGTERM);
    EXPECT_TRUE(service.process.waitForFinished(10000));
}

TEST(Headless, SigtermDuringAnArchiveDelayWritesTheWholeImageAndLeavesTheSettingsAlone)
{
    QTemporaryDir home, drop;
    const QString data = home.filePath("cam") + "/";
    WriteSettings(data, ArchiveSettings(drop.path(), data + "archive")
                            .replace("ArchiveSaveDelay = 0", "ArchiveSaveDelay = 60000"));
    const QByteArray settings = ReadAll(data + "Pixlet.ini");
    Service service({"--headless", "--data-dir", data});
    ASSERT_TRUE(service.Says("Processing started")) << service.Errors().data();
    Drop(drop.path(), "photo.jpg");
    ASSERT_TRUE(service.Says("Processing cycle begun")) << service.Errors().data();
    EXPECT_TRUE(FilesUnder(data + "archive", "*.jpg").isEmpty()) << "still waiting out its minute";
    service.Signal(SIGTERM);
    ASSERT_TRUE(service.process.waitForFinished(10000));
    EXPECT_EQ(service.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.process.exitCode(), 0);
    const QStringList files = FilesUnder(data + "archive", "*.jpg");
    ASSERT_EQ(files.size(), 1) << service.Errors().data();
    ImageFrame archived;
    EXPECT_EQ(LoadImageFile(archived, files[0]), 0) << "a whole image";
    EXPECT_EQ(archived.Width(), 320);
    EXPECT_EQ(FilesUnder(home.path(), "*.pixlet-*"), QStringList()) << "no temporary left";
    EXPECT_EQ(ReadAll(data + "Pixlet.ini"), settings);
    EXPECT_TRUE(service.Errors().contains("Exit requested by SIGTERM")) << service.Errors().data();
}

TEST(Headless, OneInstancePerDataDirectory)
{
    QTemporaryDir home, drop1, drop2;
    const QString one = home.filePath("cam1") + "/", two = home.filePath("cam2") + "/";
    WriteSettings(one, ArchiveSettings(drop1.path(), one + "archive"));
    WriteSettings(two, ArchiveSettings(drop2.path(), two + "archive"));
    Service first({"--headless", "--data-dir", one});
    Service second({"--headless", "--data-dir", two});
    ASSERT_TRUE(first.Says("Processing started")) << first.Errors().data();
    ASSERT_TRUE(second.Says("Processing started")) << second.Errors().data();
    Drop(drop1.path(), "a.jpg");
    Drop(drop2.path(), "b.jpg");
    EXPECT_TRUE(first.Says("Archived OK"));
    EXPECT_TRUE(second.Says("Archived OK"));
    EXPECT_EQ(FilesUnder(one + "archive", "*.jpg").size(), 1);
    EXPECT_EQ(FilesUnder(two + "archive", "*.jpg").size(), 1);

    Service refused({"--headless", "--data-dir", one});
    ASSERT_TRUE(refused.process.waitForFinished(15000));
    EXPECT_NE(refused.process.exitCode(), 0);
    EXPECT_TRUE(refused.Errors().contains("another Pixlet is already running")) << refused.Errors().data();
    EXPECT_TRUE(refused.Errors().contains(QByteArray::number(first.process.processId())))
        << "the holder is named";
    EXPECT_EQ(first.process.state(), QProcess::Running);

    // A lock left by a process that was killed is taken over.
    first.process.kill();
    ASSERT_TRUE(first.process.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(one + "pixlet.lock"));
    Service after({"--headless", "--data-dir", one});
    EXPECT_TRUE(after.Says("Processing started")) << after.Errors().data();
    for (Service* service : {&second, &after}) {
        service->Signal(SIGTERM);
        EXPECT_TRUE(service->process.waitForFinished(10000));
    }
}

TEST(Headless, VersionHelpAndMistakes)
{
    QProcess pixlet;
    pixlet.start(PIXLET_BINARY, {"--version"});
    ASSERT_TRUE(pixlet.waitForFinished(10000));
    EXPECT_EQ(pixlet.exitCode(), 0);
    EXPECT_TRUE(pixlet.readAllStandardOutput().startsWith("Pixlet "));

    pixlet.start(PIXLET_BINARY, {"--help"});
    ASSERT_TRUE(pixlet.waitForFinished(10000));
    EXPECT_EQ(pixlet.exitCode(), 0);
    const QByteArray help = pixlet.readAllStandardOutput();
    for (const char* option : {"--headless", "--data-dir", "--start", "--hidden", "--version"})
        EXPECT_TRUE(help.contains(option)) << option;

    for (const QStringList& wrong : {QStringList{"--no-such-option"}, QStringList{"--data-dir", "--headless"},
                                     QStringList{"--data-dir", "/a", "--data-dir", "/b", "--headless"}}) {
        pixlet.start(PIXLET_BINARY, wrong);
        ASSERT_TRUE(pixlet.waitForFinished(10000));
        EXPECT_EQ(pixlet.exitCode(), 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(pixlet.readAllStandardError().contains("--help"));
    }
}

TEST(Headless, TheDesktopWithoutADisplaySaysSoAndAnUndecodableFolderIsRefused)
{
    Service desktop({"--start"});
    ASSERT_TRUE(desktop.process.waitForFinished(10000));
    EXPECT_EQ(desktop.process.exitStatus(), QProcess::NormalExit) << "no abort";
    EXPECT_EQ(desktop.process.exitCode(), 1);
    EXPECT_TRUE(desktop.Errors().contains("use --headless")) << desktop.Errors().data();

    // A folder name in bytes that are not text would otherwise become another folder.
    QTemporaryDir home;
    QProcess shell;
    shell.start("bash",
                {"-c", QString("'%1' --headless --data-dir $'%2/r\\xffx'").arg(PIXLET_BINARY, home.path())});
    ASSERT_TRUE(shell.waitForFinished(10000));
    EXPECT_EQ(shell.exitCode(), 2);
    EXPECT_TRUE(shell.readAllStandardError().contains("r\\xffx")) << "named as it is";
    EXPECT_TRUE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST(Headless, ClosedStandardStreamsAreNotTakenByTheFilesItOpens)
{
    QTemporaryDir home;
    const QString data = home.filePath("cam") + "/";
    // Started with all three closed: they are /dev/null while it runs, never a file it opened.
    QProcess shell;
    shell.start("bash",
                {"-c", QString("'%1' --headless --data-dir '%2' <&- >&- 2>&- & pid=$!; "
                               "for i in $(seq 50); do [ -s '%2Pixlet.ini' ] && break; sleep 0.1; done; "
                               "readlink /proc/$pid/fd/0 /proc/$pid/fd/1 /proc/$pid/fd/2; "
                               "kill -TERM $pid; wait $pid")
                           .arg(PIXLET_BINARY, data)});
    ASSERT_TRUE(shell.waitForFinished(15000));
    EXPECT_EQ(shell.readAllStandardOutput(), "/dev/null\n/dev/null\n/dev/null\n");
    EXPECT_EQ(shell.exitCode(), 0) << "and it stopped the orderly way";
    EXPECT_TRUE(ReadAll(data + "Pixlet.ini").startsWith("FTP")) << "the defaults, whole";
}
