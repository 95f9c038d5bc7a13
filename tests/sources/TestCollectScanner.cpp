#include "ManualClock.h"
#include "sources/CollectScanner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <sys/stat.h>
#include <sys/time.h>

namespace {
struct ScannerTest : ::testing::Test
{
    QTemporaryDir dir;
    // Just after the files' times, so that none of them is old enough to count as finished.
    ManualClock clock{QDateTime::fromSecsSinceEpoch(5000, Qt::UTC)};
    CollectScanner scanner{clock};

    // A file with the given modification time (seconds since the epoch).
    void Make(const QString& name, qint64 seconds, const QByteArray& bytes = "data")
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        SetTime(name, seconds);
    }
    void SetTime(const QString& name, qint64 seconds)
    {
        timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
        ASSERT_EQ(::utimes(QFile::encodeName(dir.filePath(name)).constData(), times), 0);
    }
    CollectScanner::Result Scan(const QString& mask = "*.jpg", const CollectScanner::Stamp& last = {})
    {
        return scanner.Scan(dir.path(), mask, last);
    }
};
} // namespace

TEST_F(ScannerTest, ClosedFilesAreCollectedAtOnceNewestFirst)
{
    Make("old.jpg", 1000);
    Make("new.jpg", 2000);
    Make("newer.png", 3000);
    scanner.NoteCompleted({"old.jpg", "new.jpg"});
    const auto result = Scan();
    EXPECT_EQ(result.outcome, CollectScanner::Outcome::Collect);
    EXPECT_EQ(result.name, "new.jpg") << "the PNG does not match the mask";
    EXPECT_EQ(result.path, dir.filePath("new.jpg"));
    EXPECT_EQ(result.modifiedMs, 2000'000);
    EXPECT_EQ(Scan("*.jpg", result.stamp).outcome, CollectScanner::Outcome::NothingNew)
        << "not newer than the last";
}

TEST_F(ScannerTest, AFileItsWriterHoldsOpenWaitsForTheCloseHoweverOld)
{
    Make("growing.jpg", 5000, "part");
    scanner.NoteWritten({"growing.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait);
    // Its time is long past and it has not changed for minutes: the writer still has it.
    SetTime("growing.jpg", 1000);
    clock.Advance(5 * 60 * 1000);
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait) << "not closed yet";
    scanner.NoteCompleted({"growing.jpg"});
    const auto result = Scan();
    EXPECT_EQ(result.outcome, CollectScanner::Outcome::Collect);
    EXPECT_FALSE(result.writerGaveUp);
}

TEST_F(ScannerTest, AWriterThatNeverClosesIsGivenUpOnAfterTenQuietMinutes)
{
    Make("held.jpg", 5000, "part");
    scanner.NoteWritten({"held.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait);
    clock.Advance(CollectScanner::WriterGiveUpMs - 1000);
    Make("held.jpg", 5000, "part and more");
    scanner.NoteWritten({"held.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait) << "a change starts the wait again";
    clock.Advance(CollectScanner::WriterGiveUpMs - 1);
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait);
    clock.Advance(1);
    const auto result = Scan();
    EXPECT_EQ(result.outcome, CollectScanner::Outcome::Collect);
    EXPECT_TRUE(result.writerGaveUp);
}

TEST_F(ScannerTest, ANewFileNobodyWritesToIsTakenOnceItStandsStill)
{
    Make("linked.jpg", 5000, "whole");
    scanner.NoteTouched({"linked.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait);
    clock.Advance(300);
    Make("linked.jpg", 5001, "whole and more");
    scanner.NoteTouched({"linked.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait) << "it changed";
    clock.Advance(499);
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait);
    clock.Advance(1);
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Collect) << "unchanged for 500 ms";
}

TEST_F(ScannerTest, EqualTimesGoByTheOrderTheyFinished)
{
    Make("a.jpg", 4000);
    Make("b.jpg", 4000);
    scanner.NoteCompleted({"b.jpg"});
    scanner.NoteCompleted({"a.jpg"});
    const auto first = Scan();
    EXPECT_EQ(first.name, "a.jpg") << "finished last";
    EXPECT_EQ(Scan("*.jpg", first.stamp).outcome, CollectScanner::Outcome::NothingNew)
        << "b finished before a";
    // Written again and closed with the same time: now the newest of the two.
    scanner.NoteWritten({"b.jpg"});
    scanner.NoteCompleted({"b.jpg"});
    const auto second = Scan("*.jpg", first.stamp);
    EXPECT_EQ(second.outcome, CollectScanner::Outcome::Collect);
    EXPECT_EQ(second.name, "b.jpg");
    EXPECT_EQ(Scan("*.jpg", second.stamp).outcome, CollectScanner::Outcome::NothingNew);
}

TEST_F(ScannerTest, AFileUnchangedForLongEnoughNeedsNoWatching)
{
    Make("found.jpg", 4000);
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Collect) << "last changed 1000 s ago";
    Make("future.jpg", 9000);
    scanner.NoteTouched({"future.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait) << "a time ahead of the clock is watched";
}

TEST_F(ScannerTest, CloseAfterWriteCompletesAndALaterWriteUndoesIt)
{
    Make("a.jpg", 5000);
    scanner.NoteCompleted({"a.jpg"});
    scanner.NoteWritten({"a.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Wait) << "written to again after the close";
    scanner.NoteCompleted({"a.jpg"});
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Collect);
}

TEST_F(ScannerTest, MasksIgnoreCaseAndDirectoriesTakePart)
{
    Make("IMG_0001.JPG", 1000);
    scanner.NoteCompleted({"IMG_0001.JPG"});
    EXPECT_EQ(Scan().name, "IMG_0001.JPG");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    scanner.NoteTouched({"folder.jpg"});
    SetTime("folder.jpg", 9000);
    const auto result = Scan();
    EXPECT_EQ(result.name, "folder.jpg");
    EXPECT_EQ(result.outcome, CollectScanner::Outcome::Unreadable) << "a directory is never collected";
    EXPECT_EQ(Scan("*.gif").outcome, CollectScanner::Outcome::NothingNew);
}

TEST_F(ScannerTest, StarDotStarTakesEveryNameAndPipesAreNeverPictures)
{
    Make("README", 4000);
    scanner.NoteCompleted({"README"});
    EXPECT_EQ(Scan("*.*").name, "README") << "a name without a dot";
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.jpg")).constData(), 0600), 0);
    SetTime("pipe.jpg", 4500);
    scanner.NoteTouched({"pipe.jpg"});
    EXPECT_EQ(Scan("*.*").name, "README") << "a pipe would block whoever opened it";
}

TEST_F(ScannerTest, TiesGoToTheFirstListed)
{
    for (const char* name : {"x.jpg", "y.jpg", "z.jpg"})
        Make(name, 4000);
    scanner.NoteCompleted({"x.jpg", "y.jpg", "z.jpg"});
    QDir listing(dir.path(), "*.jpg", QDir::Unsorted, QDir::Files);
    EXPECT_EQ(Scan().name, listing.entryList().first());
}

TEST_F(ScannerTest, AnOldFileArrivingLateIsNeverCollected)
{
    Make("copied-with-old-time.jpg", 100);
    scanner.NoteCompleted({"copied-with-old-time.jpg"});
    EXPECT_EQ(Scan("*.jpg", 2000'000).outcome, CollectScanner::Outcome::NothingNew);
    EXPECT_EQ(scanner.Scan(dir.filePath("missing"), "*.jpg", 0).outcome, CollectScanner::Outcome::NothingNew);
}

TEST_F(ScannerTest, AfterTheFirstListingOnlyReportedNamesAreLookedAt)
{
    Make("first.jpg", 1000);
    EXPECT_EQ(Scan().name, "first.jpg");
    Make("unreported.jpg", 2000);
    EXPECT_EQ(Scan().name, "first.jpg") << "nothing said the directory changed";
    Make("reported.jpg", 3000);
    scanner.NoteCompleted({"reported.jpg"});
    EXPECT_EQ(Scan().name, "reported.jpg");
    scanner.Relist();
    Make("later.jpg", 2500);
    SetTime("unreported.jpg", 4000);
    EXPECT_EQ(Scan().name, "unreported.jpg") << "a new listing finds what was missed";
    EXPECT_EQ(Scan("*.JPG").name, "unreported.jpg") << "another mask is listed afresh";
}

TEST_F(ScannerTest, TheNewestIsCheckedAgainBeforeItIsTaken)
{
    Make("keep.jpg", 2000);
    Make("gone.jpg", 3000);
    Make("aged.jpg", 4000);
    EXPECT_EQ(Scan().name, "aged.jpg");
    // Changed behind the watcher's back: the winner is looked at again, the next one wins.
    SetTime("aged.jpg", 1000);
    ASSERT_TRUE(QFile::remove(dir.filePath("gone.jpg")));
    const auto result = Scan();
    EXPECT_EQ(result.name, "keep.jpg");
    EXPECT_EQ(result.modifiedMs, 2000'000);
    scanner.NoteChanged({"keep.jpg"});
    ASSERT_TRUE(QFile::remove(dir.filePath("keep.jpg")));
    EXPECT_EQ(Scan().name, "aged.jpg") << "a reported removal";
}

TEST_F(ScannerTest, SubdirectoriesAreLookedAtEveryTime)
{
    Make("photo.jpg", 3000);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub.jpg"));
    SetTime("sub.jpg", 1000);
    EXPECT_EQ(Scan().name, "photo.jpg");
    // Writing into a subdirectory changes its time without an event in the watched one.
    SetTime("sub.jpg", 4000);
    EXPECT_EQ(Scan().outcome, CollectScanner::Outcome::Unreadable);
    ASSERT_TRUE(QDir(dir.path()).rmdir("sub.jpg"));
    EXPECT_EQ(Scan().name, "photo.jpg");
}

TEST_F(ScannerTest, AVanishedDirectoryIsListedAgainWhenItReturns)
{
    Make("a.jpg", 1000);
    EXPECT_EQ(Scan().name, "a.jpg");
    const QString path = dir.path();
    ASSERT_TRUE(QDir(path).removeRecursively());
    EXPECT_EQ(scanner.Scan(path, "*.jpg", 0).outcome, CollectScanner::Outcome::NothingNew);
    ASSERT_TRUE(QDir().mkpath(path));
    Make("b.jpg", 2000);
    EXPECT_EQ(scanner.Scan(path, "*.jpg", 0).name, "b.jpg");
}

TEST_F(ScannerTest, AFileDatedAheadOfTheClockDoesNotStandInFrontOfLaterFiles)
{
    Make("future.jpg", 9000); // a camera whose clock is an hour and more ahead
    scanner.NoteCompleted({"future.jpg"});
    const auto first = Scan();
    ASSERT_EQ(first.outcome, CollectScanner::Outcome::Collect);
    EXPECT_EQ(first.futureModifiedMs, 9000'000);
    EXPECT_EQ(first.stamp.modifiedMs, 5000'000) << "it counts as arriving now";
    EXPECT_EQ(Scan("*.jpg", first.stamp).outcome, CollectScanner::Outcome::NothingNew) << "taken once";

    clock.Advance(1000);
    Make("next.jpg", 5001);
    scanner.NoteCompleted({"next.jpg"});
    const auto second = Scan("*.jpg", first.stamp);
    EXPECT_EQ(second.outcome, CollectScanner::Outcome::Collect);
    EXPECT_EQ(second.name, "next.jpg");
    EXPECT_EQ(second.futureModifiedMs, 0);
}

TEST_F(ScannerTest, FilesOvertakenByANewerOneAreNamedOldestFirst)
{
    Make("taken-before.jpg", 1000);
    scanner.NoteCompleted({"taken-before.jpg"});
    const CollectScanner::Stamp takenBefore = Scan().stamp;
    Make("b.jpg", 1200);
    Make("a.jpg", 1100);
    Make("half-written.jpg", 1300, "pa");
    Make("newest.jpg", 1400);
    Make("other.png", 1250);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
    SetTime("folder.jpg", 1150);
    scanner.NoteCompleted({"a.jpg", "b.jpg", "other.png", "newest.jpg"});
    scanner.NoteTouched({"folder.jpg"});
    scanner.NoteWritten({"half-written.jpg"});
    auto result = Scan("*.jpg", takenBefore);
    ASSERT_EQ(result.outcome, CollectScanner::Outcome::Collect);
    EXPECT_EQ(result.name, "newest.jpg");
    EXPECT_EQ(result.passedOverCount, 2) << "the last taken, the unfinished one, the other mask's file and "
                                            "the folder are not counted";
    EXPECT_EQ(result.passedOver, QStringList({"a.jpg", "b.jpg"}));

    // The unfinished one is done now, and newer than the one taken.
    SetTime("half-written.jpg", 1450);
    Make("next.jpg", 1500);
    scanner.NoteCompleted({"half-written.jpg", "next.jpg"});
    result = Scan("*.jpg", result.stamp);
    EXPECT_EQ(result.name, "next.jpg");
    EXPECT_EQ(result.passedOver, QStringList({"half-written.jpg"})) << "each overtaken file is named once";
    EXPECT_EQ(Scan("*.jpg", result.stamp).passedOverCount, 0);
}

TEST_F(ScannerTest, AFullDirectoryNamesOnlyTheOldestOvertakenFiles)
{
    const int files = CollectScanner::MaxPassedOverNames + 15;
    for (int i = 0; i < files; ++i)
        Make(QStringLiteral("f%1.jpg").arg(i, 3, 10, QLatin1Char('0')), 2000 + i);
    const auto result = Scan();
    EXPECT_EQ(result.name, QStringLiteral("f%1.jpg").arg(files - 1, 3, 10, QLatin1Char('0')));
    EXPECT_EQ(result.passedOverCount, files - 1);
    ASSERT_EQ(result.passedOver.size(), CollectScanner::MaxPassedOverNames);
    EXPECT_EQ(result.passedOver.front(), "f000.jpg");
    EXPECT_EQ(result.passedOver.back(), "f019.jpg");
}

TEST_F(ScannerTest, AnArrivalInAFullDirectoryCostsWhatItCostsInAnEmptyOne)
{
    // A drop directory that is never emptied: finding each arrival must not take a pass over
    // every name in it. The median scan beside thousands of old files is held against the
    // median scan beside a handful.
    const auto medianScanNs = [this](const QString& path, CollectScanner& scanner, int oldFiles) {
        const auto make = [&](const QString& name, qint64 seconds) {
            QFile file(path + "/" + name);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("data");
            file.close();
            timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
            EXPECT_EQ(::utimes(QFile::encodeName(path + "/" + name).constData(), times), 0);
        };
        for (int i = 0; i < oldFiles; ++i)
            make(QStringLiteral("old%1.jpg").arg(i), 1000);
        CollectScanner::Stamp last = scanner.Scan(path, "*.jpg", {}).stamp;
        std::vector<qint64> ns;
        for (int i = 0; i < 100; ++i) {
            const QString name = QStringLiteral("new%1.jpg").arg(i);
            make(name, 2000 + i);
            scanner.NoteCompleted({QFile::encodeName(name)});
            QElapsedTimer timer;
            timer.start();
            const auto result = scanner.Scan(path, "*.jpg", last);
            ns.push_back(timer.nsecsElapsed());
            EXPECT_EQ(result.name, name);
            EXPECT_EQ(result.passedOverCount, 0);
            last = result.stamp;
        }
        std::sort(ns.begin(), ns.end());
        return ns[ns.size() / 2];
    };
    QTemporaryDir small;
    CollectScanner smallScanner(clock);
    const qint64 fewNs = medianScanNs(small.path(), smallScanner, 5);
    const qint64 manyNs = medianScanNs(dir.path(), scanner, 10000);
    EXPECT_LT(manyNs, 4 * fewNs) << "median ns per scan: " << manyNs << " beside 10000 files, " << fewNs
                                 << " beside 5";
}
