#include "CLog.h"
#include "EventLog.h"
#include "ManualClock.h"
#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "Utils/Controls/CListBoxColour.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using Utils::Controls::CListBoxColour;

namespace {
struct LogPageTest : ::testing::Test
{
    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC)};
    LogEngine engine{clock, dir.path() + "/"};
    CLog log{engine};

    void Load(const QString& lines)
    {
        engine.LoadSettings(lines.split("\n"));
        log.RefreshPage();
    }
    QString File() const
    {
        QFile file(log.CurrentSettings().pathAndFilename);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString TextAt(int row) const { return CListBoxColour::SplitLine(log.List()->Line(row)).text; }
};
} // namespace

TEST_F(LogPageTest, LineFormatAndCategoryColours)
{
    engine.AddEntry(0, "information");
    engine.AddEntry(1, "an error");
    engine.AddEntry(5, "yellow");
    EXPECT_EQ(log.List()->Line(0), "04/03/2026 05:06:07: information||");
    EXPECT_EQ(log.List()->Line(1), "04/03/2026 05:06:07: an error|255,255,255|200,  0,  0");
    EXPECT_EQ(log.List()->Line(2), "04/03/2026 05:06:07: yellow|  0,  0,  0|255,255,  0");
    EXPECT_EQ(CLog::CategoryColours(42), CLog::CategoryColours(0));
}

TEST_F(LogPageTest, TextWithBarsShowsWholeAndKeepsItsColours)
{
    Load("LogSaveToDisk  = Yes");
    engine.AddEntry(1, "Archive - Error - saving /photos/a|b.jpg");
    const auto fields = CListBoxColour::SplitLine(log.List()->Line(0));
    EXPECT_EQ(fields.text, "04/03/2026 05:06:07: Archive - Error - saving /photos/a|b.jpg");
    EXPECT_EQ(fields.textColour, "255,255,255");
    EXPECT_EQ(fields.backgroundColour, "200,  0,  0");
    EXPECT_EQ(File(), "04/03/2026 05:06:07: Archive - Error - saving /photos/a|b.jpg\n");
}

TEST_F(LogPageTest, ListLengthIsLimitedTo100To10000)
{
    Load("LogMaxListboxEntries = 5");
    for (int i = 0; i < 150; ++i)
        engine.AddEntry(0, QString::number(i));
    EXPECT_EQ(log.List()->Count(), 100);
    EXPECT_TRUE(TextAt(0).endsWith(": 50")) << "the oldest lines go first";

    Load("LogMaxListboxEntries = 50000");
    for (int i = 0; i < 10050; ++i)
        engine.AddEntry(0, QString::number(i));
    EXPECT_EQ(log.List()->Count(), 10000);
}

TEST_F(LogPageTest, FollowsTheEndUnlessScrolledUp)
{
    log.resize(400, 300);
    log.show();
    for (int i = 0; i < 200; ++i)
        engine.AddEntry(0, QString::number(i));
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.List()->IsShowingEnd());
    log.List()->SetTopIndex(10);
    engine.AddEntry(0, "more");
    EXPECT_EQ(log.List()->TopIndex(), 10) << "a list scrolled up by the user stays where it is";
}

TEST_F(LogPageTest, HorizontalExtentGrowsToTheWidestLine)
{
    engine.AddEntry(0, "short");
    const int narrow = log.List()->HorizontalExtent();
    engine.AddEntry(0, QString(300, 'W'));
    const int wide = log.List()->HorizontalExtent();
    EXPECT_GT(wide, narrow);
    engine.AddEntry(0, "short again");
    EXPECT_EQ(log.List()->HorizontalExtent(), wide) << "the extent never shrinks";
}

TEST_F(LogPageTest, FileGetsUtf8LinesOnlyWhenSaving)
{
    engine.AddEntry(0, "not saved");
    Load("LogSaveToDisk  = Yes");
    engine.AddEntry(0, QString::fromUtf8("Grüße 東京"));
    engine.AddEntry(1, "error line");
    EXPECT_EQ(File(),
              QString::fromUtf8("04/03/2026 05:06:07: Grüße 東京\n04/03/2026 05:06:07: error line\n"));
}

TEST_F(LogPageTest, UnwritableFileAddsOneErrorPerEntryWithoutLooping)
{
    Load("LogSaveToDisk  = Yes\nLogPathAndFilename = " + dir.path() + "/missing/dir/pixlet.log");
    engine.AddEntry(0, "first");
    engine.AddEntry(0, "second");
    ASSERT_EQ(log.List()->Count(), 4);
    EXPECT_TRUE(TextAt(0).endsWith("first"));
    EXPECT_TRUE(TextAt(1).endsWith("Log - Could not save to disk"));
    EXPECT_EQ(CListBoxColour::SplitLine(log.List()->Line(1)).backgroundColour, "200,  0,  0");
    EXPECT_TRUE(TextAt(2).endsWith("second"));
    EXPECT_TRUE(TextAt(3).endsWith("Log - Could not save to disk"));
}

TEST_F(LogPageTest, SettingsBlockAndControls)
{
    SettingsList list;
    engine.SaveSettings(list);
    EXPECT_EQ(list, QStringList({"LogSaveToDisk  = No", "LogMaxListboxEntries = 1000",
                                 "LogPathAndFilename = " + dir.path() + "/pixlet.log",
                                 "LogFileMaxSizeMB = 10", "LogFileKeep = 5", ""}));
    EXPECT_FALSE(log.PathEdit()->isEnabled());
    log.SaveCheck()->setChecked(true);
    EXPECT_TRUE(log.PathEdit()->isEnabled());
    log.RefreshPage();
    EXPECT_FALSE(log.SaveCheck()->isChecked());
    EXPECT_FALSE(log.PathEdit()->isEnabled());
    Load("LogMaxListboxEntries = -3");
    list.clear();
    engine.SaveSettings(list);
    EXPECT_EQ(list[1], "LogMaxListboxEntries = 100") << "bounded as it was read";
}

TEST_F(LogPageTest, BurstFromFourThreadsKeepsEveryEntryInOrderAndTheWindowResponsive)
{
    Load("LogMaxListboxEntries = 10000");
    log.resize(500, 300);
    log.show();
    QCoreApplication::processEvents();
    constexpr int perThread = 2500;
    std::atomic<int> running{4};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &running] {
            for (int i = 0; i < perThread; ++i)
                AddLogEntry(0, QString("t%1 %2").arg(t).arg(i));
            --running;
        });

    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    log.List()->viewport()->installEventFilter(&counter);

    // A timer on the GUI thread measures how long the window goes without handling its events.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 worstGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { worstGap = std::max(worstGap, sinceTick.restart()); });
    heartbeat.start(10);
    QElapsedTimer total;
    total.start();
    while ((running > 0 || log.List()->Count() < 4 * perThread) && total.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    for (auto& thread : threads)
        thread.join();
    QCoreApplication::processEvents();

    ASSERT_EQ(log.List()->Count(), 4 * perThread);
    std::array<int, 4> next{};
    for (int row = 0; row < log.List()->Count(); ++row) {
        const QString text = TextAt(row).mid(21);
        const int t = text.mid(1, 1).toInt();
        ASSERT_EQ(text, QString("t%1 %2").arg(t).arg(next[t])) << "row " << row;
        ++next[t];
    }
    EXPECT_LT(worstGap, 1000) << "the GUI thread kept handling its events during the burst";
    EXPECT_GT(counter.paints, 0);
    EXPECT_LE(counter.paints, 4 * perThread) << "at most one repaint per entry";
    std::printf("burst of %d entries: %lld ms, longest GUI gap %lld ms, %d repaints\n", 4 * perThread,
                static_cast<long long>(total.elapsed()), static_cast<long long>(worstGap), counter.paints);
}

TEST_F(LogPageTest, ControlCharactersAreShownEscapedSoNoLineCanBeForged)
{
    Load("LogSaveToDisk  = Yes\nLogPathAndFilename = " + dir.path() + "/pixlet.log");
    engine.AddEntry(0, "Loaded file evil.jpg\n01/01/2026 00:00:00: Processing stopped\r\x1b[31m\t\u2028");
    const QStringList lines = File().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << File().toStdString();
    EXPECT_TRUE(lines[0].endsWith(
        "Loaded file evil.jpg\\n01/01/2026 00:00:00: Processing stopped\\r\\x1b[31m\\t\\u2028"))
        << lines[0].toStdString();
    EXPECT_TRUE(TextAt(log.List()->Count() - 1).endsWith("Processing stopped\\r\\x1b[31m\\t\\u2028"));
}

TEST_F(LogPageTest, TheFileIsRotatedAtItsSizeKeepingTheNewestFiles)
{
    const QString path = dir.path() + "/pixlet.log";
    Load("LogSaveToDisk  = Yes\nLogPathAndFilename = " + path + "\nLogFileMaxSizeMB = 1\nLogFileKeep = 2");
    const QString line(1000, 'x');
    // About 3.5 MB of entries: three rotations, of which two older files are kept.
    for (int i = 0; i < 3500; ++i)
        engine.AddEntry(0, QString::number(i) + " " + line);
    EXPECT_TRUE(QFile::exists(path + ".1"));
    EXPECT_TRUE(QFile::exists(path + ".2"));
    EXPECT_FALSE(QFile::exists(path + ".3")) << "only two are kept";
    for (const QString& name : {path, path + ".1", path + ".2"})
        EXPECT_LE(QFileInfo(name).size(), 1024 * 1024 + 1100) << name.toStdString();
    EXPECT_TRUE(File().contains("3499 x")) << "the newest entry is in the current file";
    QFile older(path + ".1");
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    const QByteArray olderText = older.readAll();
    EXPECT_FALSE(olderText.contains("3499 x"));
    EXPECT_TRUE(olderText.endsWith("x\n"));
}

TEST_F(LogPageTest, APipeAsTheLogFileNeverHoldsUpTheWindow)
{
    const QString pipe = dir.path() + "/pipe.log";
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    Load("LogSaveToDisk  = Yes\nLogPathAndFilename = " + pipe);
    QElapsedTimer timer;
    timer.start();
    engine.AddEntry(0, "nobody reads this pipe");
    EXPECT_LT(timer.elapsed(), 2000) << "opening a pipe for writing waits for a reader";
    EXPECT_TRUE(TextAt(log.List()->Count() - 1).endsWith("Log - Could not save to disk"));
}
