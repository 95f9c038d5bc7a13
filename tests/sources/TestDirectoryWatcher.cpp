#include "NamedMessages.h"
#include "sources/DirectoryWatcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include <sys/time.h>
#include <unistd.h>

namespace {
const QEvent::Type Changed = RegisterNamedMessage("PIXLET_TEST_DIRECTORY_CHANGED");

class Page final : public QObject
{
public:
    std::vector<std::int64_t> codes;
    QList<QByteArray> completed, written, touched, changed;
    bool event(QEvent* e) override
    {
        if (e->type() != Changed)
            return QObject::event(e);
        auto* message = static_cast<MessageEvent*>(e);
        codes.push_back(message->wParam);
        if (auto* changes = dynamic_cast<DirectoryChanges*>(message->record.get())) {
            completed << changes->completed;
            written << changes->written;
            touched << changes->touched;
            changed << changes->changed;
        }
        return true;
    }
};

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

TEST(DirectoryWatcher, ReportsWrittenAndMovedInFiles)
{
    QTemporaryDir dir;
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    QThread::msleep(50);
    WriteFile(dir.filePath("a.jpg"), "x");
    QTemporaryDir elsewhere;
    WriteFile(elsewhere.filePath("b.jpg"), "y");
    ASSERT_TRUE(QFile::rename(elsewhere.filePath("b.jpg"), dir.filePath("b.jpg")));
    ASSERT_TRUE(
        WaitUntil([&] { return page.completed.contains("a.jpg") && page.completed.contains("b.jpg"); }));
    for (auto code : page.codes)
        EXPECT_EQ(code, 0);
}

TEST(DirectoryWatcher, AFileIsWrittenWhileOpenAndCompletedOnceClosed)
{
    QTemporaryDir dir;
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    QThread::msleep(50);
    QFile file(dir.filePath("slow.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("first half");
    file.flush();
    ASSERT_TRUE(WaitUntil([&] { return page.written.contains("slow.jpg"); }));
    EXPECT_FALSE(page.completed.contains("slow.jpg")) << "still open";
    EXPECT_FALSE(page.touched.contains("slow.jpg")) << "a writer is at work, not merely a new name";
    file.write("second half");
    file.close();
    ASSERT_TRUE(WaitUntil([&] { return page.completed.contains("slow.jpg"); }));
    // A touch of the times is no sign of writing: it leaves the file as it was.
    page.written.clear();
    ASSERT_EQ(::utimes(QFile::encodeName(dir.filePath("slow.jpg")).constData(), nullptr), 0);
    ASSERT_TRUE(WaitUntil([&] { return page.changed.contains("slow.jpg"); })) << "worth a look";
    EXPECT_FALSE(page.written.contains("slow.jpg"));
}

TEST(DirectoryWatcher, ALinkIsOnlyTouchedAndCompletionsKeepTheirOrder)
{
    QTemporaryDir dir, elsewhere;
    WriteFile(elsewhere.filePath("source.jpg"), "x");
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    ASSERT_EQ(::link(QFile::encodeName(elsewhere.filePath("source.jpg")).constData(),
                     QFile::encodeName(dir.filePath("linked.jpg")).constData()),
              0);
    ASSERT_TRUE(WaitUntil([&] { return page.touched.contains("linked.jpg"); }));
    EXPECT_FALSE(page.written.contains("linked.jpg")) << "nobody holds a link open for writing";
    // Opened in one order and closed in the other, all within one batch.
    QFile first(dir.filePath("first.jpg")), second(dir.filePath("second.jpg"));
    ASSERT_TRUE(first.open(QIODevice::WriteOnly));
    ASSERT_TRUE(second.open(QIODevice::WriteOnly));
    first.write("1");
    second.write("2");
    second.close();
    first.close();
    ASSERT_TRUE(WaitUntil([&] { return page.completed.size() == 2; }));
    EXPECT_EQ(page.completed, QList<QByteArray>({"second.jpg", "first.jpg"}));
}

TEST(DirectoryWatcher, RemovedAndRenamedAwayNamesAreReported)
{
    QTemporaryDir dir, elsewhere;
    WriteFile(dir.filePath("deleted.jpg"), "x");
    WriteFile(dir.filePath("moved.jpg"), "y");
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    ASSERT_TRUE(QFile::remove(dir.filePath("deleted.jpg")));
    ASSERT_TRUE(QFile::rename(dir.filePath("moved.jpg"), elsewhere.filePath("moved.jpg")));
    ASSERT_TRUE(WaitUntil(
        [&] { return page.changed.contains("deleted.jpg") && page.changed.contains("moved.jpg"); }));
    EXPECT_TRUE(page.completed.isEmpty());
    EXPECT_TRUE(page.touched.isEmpty());
}

TEST(DirectoryWatcher, ABurstArrivesInFewBatches)
{
    QTemporaryDir dir;
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    QThread::msleep(50);
    for (int i = 0; i < 500; ++i)
        WriteFile(dir.filePath(QString("%1.jpg").arg(i)), "data");
    ASSERT_TRUE(WaitUntil([&] { return page.completed.size() == 500; }));
    // How many files a batch gathers depends on the machine's pace; fewer messages than files
    // is what shows that messages stand for batches.
    EXPECT_LT(page.codes.size(), 500u) << "one message stands for a whole batch";
}

TEST(DirectoryWatcher, AFinishedFileIsReportedWhileAnotherIsStillBeingWritten)
{
    // A writer keeps adding to one file more often than the quiet the watcher waits for, while
    // finished files are moved in beside it: each must be reported at once, not when the batch
    // of the other file's writes ends.
    QTemporaryDir dir, elsewhere;
    constexpr int Files = 5;
    for (int i = 0; i < Files; ++i)
        WriteFile(elsewhere.filePath(QString("done%1.jpg").arg(i)), "whole");
    QElapsedTimer clock;
    clock.start();
    std::map<QByteArray, qint64> reportedAt;
    class Timed final : public QObject
    {
    public:
        QElapsedTimer& clock;
        std::map<QByteArray, qint64>& reportedAt;
        Timed(QElapsedTimer& c, std::map<QByteArray, qint64>& r) : clock(c), reportedAt(r) {}
        bool event(QEvent* e) override
        {
            if (e->type() != Changed)
                return QObject::event(e);
            if (auto* changes = dynamic_cast<DirectoryChanges*>(static_cast<MessageEvent*>(e)->record.get()))
                for (const QByteArray& name : changes->completed)
                    reportedAt.emplace(name, clock.nsecsElapsed() / 1000);
            return true;
        }
    } page(clock, reportedAt);
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    QThread::msleep(50);

    std::vector<qint64> movedAt(Files, 0);
    std::atomic<bool> failed{false};
    std::thread writer([&] {
        QFile busy(dir.filePath("busy.part"));
        if (!busy.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            failed = true;
            return;
        }
        for (int step = 0; step < 60; ++step) {
            busy.write("x");
            if (step % 6 == 3 && step / 6 < Files) {
                const QString name = QString("done%1.jpg").arg(step / 6);
                if (!QFile::rename(elsewhere.filePath(name), dir.filePath(name)))
                    failed = true;
                movedAt[static_cast<std::size_t>(step / 6)] = clock.nsecsElapsed() / 1000;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(6));
        }
    });
    const bool all = WaitUntil([&] { return reportedAt.size() == Files; }, 5000);
    writer.join();
    ASSERT_FALSE(failed);
    ASSERT_TRUE(all);
    std::vector<qint64> lagUs;
    for (int i = 0; i < Files; ++i)
        lagUs.push_back(reportedAt[QString("done%1.jpg").arg(i).toLatin1()] -
                        movedAt[static_cast<std::size_t>(i)]);
    std::sort(lagUs.begin(), lagUs.end());
    // Held back until the batch ended, the typical file waited about 30 ms.
    EXPECT_LT(lagUs[Files / 2], 12000) << "median microseconds from move-in to report";
}

TEST(DirectoryWatcher, MissingOrRemovedDirectoryIsAnError)
{
    QTemporaryDir dir;
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.filePath("missing"));
    ASSERT_TRUE(WaitUntil([&] { return !page.codes.empty(); }));
    EXPECT_EQ(page.codes[0], ENOENT);

    page.codes.clear();
    ASSERT_TRUE(QDir(dir.path()).mkdir("watched"));
    watcher.Start(dir.filePath("watched"));
    QThread::msleep(50);
    ASSERT_TRUE(QDir(dir.filePath("watched")).removeRecursively());
    ASSERT_TRUE(WaitUntil([&] { return !page.codes.empty() && page.codes.back() != 0; }));
    EXPECT_EQ(page.codes.back(), ENOENT);

    page.codes.clear();
    WriteFile(dir.filePath("plain-file"), "not a directory");
    watcher.Start(dir.filePath("plain-file"));
    ASSERT_TRUE(WaitUntil([&] { return !page.codes.empty(); }));
    EXPECT_EQ(page.codes[0], ENOTDIR);
}

TEST(DirectoryWatcher, StopsAtOnceAndPostsNothingMore)
{
    QTemporaryDir dir;
    Page page;
    DirectoryWatcher watcher(&page, Changed);
    watcher.Start(dir.path());
    QElapsedTimer timer;
    timer.start();
    watcher.Stop();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(watcher.Running());
    WriteFile(dir.filePath("after.jpg"), "z");
    QThread::msleep(100);
    QCoreApplication::processEvents();
    EXPECT_TRUE(page.codes.empty());
    watcher.Start(dir.path()); // restartable; the destructor stops it
}
