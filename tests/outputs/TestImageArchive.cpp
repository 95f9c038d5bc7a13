#include "ArchiveReports.h"
#include "ImageDecoder.h"
#include "ManualClock.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "TestImages.h"
#include "outputs/ArchiveEngine.h"
#include "outputs/ArchivePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include "WaitUntil.h"

#include <gtest/gtest.h>

namespace {
struct ArchiveTest : ::testing::Test
{
    QTemporaryDir dir;
    // 2009-03-07 14:05:09 local (UTC here).
    ManualClock clock{QDateTime(QDate(2009, 3, 7), QTime(14, 5, 9), Qt::UTC)};
    ArchiveEngine archive{clock, dir.path() + "/data/"};
    ArchiveReports controller;

    void Load(const QString& lines) { archive.LoadSettings(lines.split('\n')); }
};
} // namespace

TEST(ArchivePath, SeparatorsAndRoots)
{
    EXPECT_EQ(ArchivePathFor("/srv/cam", "2009\\03\\07\\140509.jpg"), "/srv/cam/2009/03/07/140509.jpg");
    EXPECT_EQ(ArchivePathFor("/srv/cam/", "140509.jpg"), "/srv/cam/140509.jpg") << "no second separator";
    EXPECT_EQ(ArchivePathFor("D:\\cam\\", "a/b.jpg"), "D:/cam/a/b.jpg");
    EXPECT_EQ(ArchivePathFor("", "x/140509.jpg"), "x/140509.jpg") << "an empty root is the current directory";
}

TEST_F(ArchiveTest, SavesToTheDatedPathCreatingDirectories)
{
    Load("ArchiveRootDirectory = " + dir.path() +
         "/cam\nArchiveSubdirectoryAndFilename = "
         "<YYYY>\\<MO>\\<DD>\\<HH><MM><SS>.jpg\nArchiveSaveDelay = 0");
    archive.Save(FlatFrame(32, 24, 24, 0, 200, 0), &controller);
    EXPECT_EQ(archive.State(), OutputState::Busy);
    ASSERT_TRUE(WaitUntil([&] { return !controller.notes.empty(); }));
    const QString expected = dir.path() + "/cam/2009/03/07/140509.jpg";
    EXPECT_EQ(controller.notes[0].result, 0);
    EXPECT_EQ(controller.notes[0].path, expected);
    EXPECT_EQ(archive.State(), OutputState::Idle);
    ImageFrame back;
    ASSERT_EQ(LoadImageFile(back, expected), 0);
    EXPECT_GT(PixelAt(back, 16, 12).green, 180);
}

TEST_F(ArchiveTest, FailureSetsFailedAndStillSendsThePath)
{
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Load("ArchiveRootDirectory = " + dir.filePath("blocker") + "\nArchiveSaveDelay = 0");
    archive.Save(FlatFrame(8, 8, 24, 0, 0, 0), &controller);
    ASSERT_TRUE(WaitUntil([&] { return !controller.notes.empty(); }));
    EXPECT_LT(controller.notes[0].result, 0);
    EXPECT_EQ(controller.notes[0].path, dir.filePath("blocker") + "/140509.jpg");
    EXPECT_EQ(archive.State(), OutputState::Failed);

    Load("ArchiveRootDirectory = " + dir.path() +
         "\nArchiveSubdirectoryAndFilename = <HH>.unknown\nArchiveSaveDelay = 0");
    archive.Save(FlatFrame(8, 8, 24, 0, 0, 0), &controller);
    ASSERT_TRUE(WaitUntil([&] { return controller.notes.size() == 2; }));
    EXPECT_LT(controller.notes[1].result, 0) << "an extension that names no format";
}

TEST_F(ArchiveTest, BusyUntilTheDelayHasPassedAndNegativeDelaysAreZero)
{
    Load("ArchiveRootDirectory = " + dir.path() + "\nArchiveSaveDelay = 300");
    QElapsedTimer timer;
    timer.start();
    archive.Save(FlatFrame(8, 8, 24, 0, 0, 0), &controller);
    QCoreApplication::processEvents();
    EXPECT_EQ(archive.State(), OutputState::Busy);
    ASSERT_TRUE(WaitUntil([&] { return !controller.notes.empty(); }));
    EXPECT_GE(timer.elapsed(), 300);

    Load("ArchiveRootDirectory = " + dir.path() + "\nArchiveSaveDelay = -2000000000");
    timer.restart();
    archive.Save(FlatFrame(8, 8, 24, 0, 0, 0), &controller);
    ASSERT_TRUE(WaitUntil([&] { return controller.notes.size() == 2; }));
    EXPECT_LT(timer.elapsed(), 5000);
    SettingsList list;
    archive.SaveSettings(list);
    EXPECT_EQ(list[2], "ArchiveSaveDelay = 0") << "bounded as it was read";
}

TEST_F(ArchiveTest, SettingsDefaultsAndOrder)
{
    SettingsList list;
    archive.SaveSettings(list);
    EXPECT_EQ(list, QStringList({"ArchiveRootDirectory = " + dir.path() + "/data/",
                                 "ArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg",
                                 "ArchiveSaveDelay = 1000", ""}));
}
