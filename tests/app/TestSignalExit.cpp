#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "TestFiles.h"
#include "TestImages.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/time.h>

namespace {
void WriteOld(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}
} // namespace

// The real program, stopped by SIGTERM while an image waits out its archive delay: the image
// is written, nothing half-written is left, and what a killed run left is cleared at start.
TEST(SignalExit, SigtermDuringADelayedSaveWritesTheImageAndLeavesNoTemporaries)
{
    QTemporaryDir home, drop;
    const QString data = home.path() + "/Quellmoor Software/Pixlet/";
    ASSERT_TRUE(QDir().mkpath(data + "archive/old"));
    const QString log = home.filePath("pixlet.log");
    QFile settings(data + "Pixlet.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("SourceType = 0\r\nSourceFileCollectDirectory = " + drop.path() +
                    "\r\nArchiveRootDirectory = " + data + "archive" +
                    "\r\nArchiveSubdirectoryAndFilename = kept.jpg\r\nArchiveSaveDelay = 60000\r\n"
                    "LogSaveToDisk  = Yes\r\nLogPathAndFilename = " +
                    log +
                    "\r\nControlEnableArchive = Yes\r\nControlProcessCollectionType = 1\r\n"
                    "ControlStartOnLoad = Yes\r\nControlStartMinimised = Yes\r\n")
                       .toUtf8());
    settings.close();
    // What a killed run leaves: a settings file and an archived image under temporary names.
    WriteOld(data + ".Pixlet.ini.pixlet-Ab12Cd", "half");
    WriteOld(data + "archive/old/.0815.jpg.pixlet-Xy34Zw", "half");
    WriteOld(data + "archive/old/.someone-elses.tmp", "not ours");

    QProcess pixlet;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    pixlet.setProcessEnvironment(environment);
    pixlet.setProcessChannelMode(QProcess::ForwardedChannels);
    pixlet.start(PIXLET_BINARY, {});
    ASSERT_TRUE(pixlet.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(log).contains("Processing started"); }, 20000))
        << ReadAll(log).data();

    QByteArray jpeg;
    ASSERT_EQ(EncodeImageToStream(GradientFrame(320, 240, 24), jpeg, ImageFormat::Jpeg, 85), 0);
    WriteOld(drop.filePath("photo.part"), jpeg);
    ASSERT_TRUE(QFile::rename(drop.filePath("photo.part"), drop.filePath("photo.jpg")));
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(log).contains("Processing cycle begun"); }, 20000))
        << ReadAll(log).data();
    EXPECT_FALSE(QFile::exists(data + "archive/kept.jpg")) << "still waiting out its minute";

    QElapsedTimer stopping;
    stopping.start();
    // Twice, as a session's end and "timeout" do: the second is part of the same request and
    // must not cut the orderly exit short.
    pixlet.terminate(); // SIGTERM
    pixlet.terminate();
    ASSERT_TRUE(pixlet.waitForFinished(15000));
    EXPECT_LT(stopping.elapsed(), 10000);
    EXPECT_EQ(pixlet.exitStatus(), QProcess::NormalExit) << "ended by its own hand, not by the signal";
    EXPECT_EQ(pixlet.exitCode(), 0);

    ImageFrame archived;
    ASSERT_EQ(LoadImageFile(archived, data + "archive/kept.jpg"), 0)
        << "the delayed image was written at once";
    EXPECT_EQ(archived.Width(), 320);
    EXPECT_EQ(FilesUnder(home.path(), "*.pixlet-*"), QStringList()) << "no temporary left, old or new";
    EXPECT_TRUE(QFile::exists(data + "archive/old/.someone-elses.tmp")) << "only our own are removed";
    const QByteArray text = ReadAll(log);
    EXPECT_TRUE(text.contains("Exit requested by SIGTERM")) << text.data();
    EXPECT_TRUE(text.contains("Archive - Archived OK - " + QFile::encodeName(data) + "archive/kept.jpg"))
        << text.data();
}
