#include "Clock.h"
#include "EventLog.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "TestFiles.h"
#include "WaitUntil.h"
#include "captions/CaptionEngine.h"
#include "control/CControl.h"
#include "outputs/ArchiveEngine.h"
#include "service/CommandLine.h"
#include "service/EngineSet.h"
#include "service/ExitSignals.h"
#include "service/InstanceLock.h"
#include "service/LogEngine.h"
#include "service/StandardErrorEcho.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

TEST(CommandLine, OptionsAndTheirMistakes)
{
    const CommandLine plain = CommandLine::Parse({"pixlet"}, "1.2.3.4");
    EXPECT_FALSE(plain.finished);
    EXPECT_FALSE(plain.headless);
    EXPECT_TRUE(plain.dataDirectory.isEmpty()) << "the per-user default";

    const CommandLine service = CommandLine::Parse({"pixlet", "--headless", "--data-dir=/srv/cam1"}, "1");
    EXPECT_TRUE(service.headless);
    EXPECT_EQ(service.dataDirectory, "/srv/cam1/") << "ends in a separator, as the default does";
    EXPECT_EQ(CommandLine::Parse({"pixlet", "--data-dir", "/srv/cam2/"}, "1").dataDirectory, "/srv/cam2/");
    EXPECT_EQ(CommandLine::Parse({"pixlet", "--data-dir", "/"}, "1").dataDirectory, "/");
    const CommandLine relative = CommandLine::Parse({"pixlet", "--data-dir", "cams/../cam3"}, "1");
    EXPECT_EQ(relative.dataDirectory, QDir::current().absoluteFilePath("cam3") + "/");
    const CommandLine desktop = CommandLine::Parse({"pixlet", "--start", "--hidden"}, "1");
    EXPECT_TRUE(desktop.start);
    EXPECT_TRUE(desktop.hidden);

    const CommandLine version = CommandLine::Parse({"pixlet", "--version"}, "1.2.3.4");
    EXPECT_TRUE(version.finished);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "Pixlet 1.2.3.4\n");
    const CommandLine help = CommandLine::Parse({"pixlet", "-h"}, "1");
    EXPECT_TRUE(help.finished);
    EXPECT_EQ(help.output, CommandLine::HelpText());

    for (const QStringList& wrong :
         {QStringList{"pixlet", "--frobnicate"}, QStringList{"pixlet", "--data-dir"},
          QStringList{"pixlet", "--data-dir", " "}, QStringList{"pixlet", "stray"},
          QStringList{"pixlet", "--headless", "--hidden"}}) {
        const CommandLine parsed = CommandLine::Parse(wrong, "1");
        EXPECT_TRUE(parsed.finished) << wrong.join(' ').toStdString();
        EXPECT_EQ(parsed.exitCode, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(parsed.output.contains("--help")) << parsed.output.toStdString();
    }
}

TEST(InstanceLock, OneHolderPerDirectoryAndTheHolderIsNamed)
{
    QTemporaryDir home;
    const QString directory = home.filePath("new/cam1/");
    {
        InstanceLock first(directory);
        ASSERT_EQ(first.Acquire(), InstanceLock::Result::Acquired) << first.Reason().toStdString();
        EXPECT_TRUE(QDir(directory).exists()) << "made when missing";
        EXPECT_EQ(QFile(directory).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                  QFile::Permissions())
            << "the settings' directory is its owner's";
        EXPECT_EQ(ReadAll(first.LockPath()).trimmed(), QByteArray::number(::getpid()));

        // flock excludes every other open file description, as another process's would be.
        const int other = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(other, 0);
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "held while its holder lives";
        ::close(other);
        InstanceLock second(directory);
        EXPECT_EQ(second.Acquire(), InstanceLock::Result::HeldByAnother);
        EXPECT_EQ(second.HolderPid(), ::getpid());
        EXPECT_EQ(first.ServerName(), second.ServerName());
        EXPECT_NE(first.ServerName(), InstanceLock(home.filePath("cam2/")).ServerName());

        // The file only names the holder: deleted, or a link put in its place, it neither frees
        // the directory nor is written through.
        ASSERT_TRUE(QFile::remove(first.LockPath()));
        InstanceLock third(directory);
        EXPECT_EQ(third.Acquire(), InstanceLock::Result::HeldByAnother);
        EXPECT_EQ(third.HolderPid(), 0) << "unknown now, and said so";
        ASSERT_TRUE(QFile::link(home.filePath("target"), first.LockPath()));
    }
    EXPECT_FALSE(QFile::exists(home.filePath("target")));
    // The lock went with its holder; the next one takes it and names itself, replacing the
    // link rather than writing through it.
    InstanceLock again(directory);
    EXPECT_EQ(again.Acquire(), InstanceLock::Result::Acquired);
    EXPECT_FALSE(QFileInfo(again.LockPath()).isSymLink());
    EXPECT_EQ(ReadAll(again.LockPath()).trimmed(), QByteArray::number(::getpid()));
    EXPECT_FALSE(QFile::exists(home.filePath("target")));
}

TEST(InstanceLock, ADirectoryThatCannotBeMadeIsAFailureWithAReason)
{
    QTemporaryDir home;
    QFile blocker(home.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    InstanceLock lock(home.filePath("file/cam"));
    EXPECT_EQ(lock.Acquire(), InstanceLock::Result::Failed);
    EXPECT_FALSE(lock.Reason().isEmpty());
}

TEST(LogEngine, StandardErrorLinesPutTheCategoryFirstAndStayOneLine)
{
    EXPECT_EQ(LogEngine::StandardErrorLine(LogCategory::Information, "Processing started", false),
              "Information: Processing started\n");
    EXPECT_EQ(LogEngine::StandardErrorLine(LogCategory::Error, "FTP - Error - refused", false),
              "Error: FTP - Error - refused\n");
    EXPECT_EQ(LogEngine::StandardErrorLine(LogCategory::Error, "x", true), "<3>Error: x\n")
        << "the journal's priority in front";
    EXPECT_EQ(LogEngine::StandardErrorLine(5, "y", true), "<6>Information: y\n");
    EXPECT_EQ(LogEngine::StandardErrorLine(0, "evil.jpg\nError: forged", false),
              "Information: evil.jpg\\nError: forged\n")
        << "a file name cannot forge a line";
}

TEST(LogEngine, WritesTheFileAndHandsEveryLineToTheViews)
{
    QTemporaryDir dir;
    ManualClock clock{QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC)};
    LogEngine engine{clock, dir.path() + "/"};
    engine.LoadSettings({"LogSaveToDisk  = Yes"});
    QSignalSpy logged(&engine, &LogEngine::Logged);
    QSignalSpy batches(&engine, &LogEngine::BatchDone);
    AddLogEntry(LogCategory::Information, "posted from anywhere");
    AddLogEntry(LogCategory::Error, "a second");
    engine.Flush();
    ASSERT_EQ(logged.count(), 2);
    EXPECT_EQ(logged[0][1].toString(), "04/03/2026 05:06:07: posted from anywhere");
    EXPECT_EQ(logged[1][0].toInt(), LogCategory::Error);
    EXPECT_GE(batches.count(), 1);
    EXPECT_EQ(ReadAll(dir.path() + "/pixlet.log"),
              "04/03/2026 05:06:07: posted from anywhere\n04/03/2026 05:06:07: a second\n");
}

TEST(ExitSignals, HangUpReloadsInTheServiceAndAnExitStaysAnExit)
{
    ExitSignals exitSignals(ExitSignals::HangUp::Reloads);
    QSignalSpy reloads(&exitSignals, &ExitSignals::ReloadRequested);
    QSignalSpy exits(&exitSignals, &ExitSignals::ExitRequested);
    ::raise(SIGHUP);
    ::raise(SIGHUP);
    ASSERT_TRUE(WaitUntil([&] { return reloads.count() > 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(exits.count(), 0);
    EXPECT_LE(reloads.count(), 2);
    ::raise(SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return exits.count() == 1; }, 5000));
    EXPECT_EQ(exits[0][0].toInt(), SIGTERM);
}

TEST(StandardErrorEcho, AReaderThatStopsReadingHoldsNothingUpAndHearsWhatWasDropped)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    QElapsedTimer timer;
    timer.start();
    {
        StandardErrorEcho echo(pipeFds[1]);
        // Far more than a pipe holds, and nobody reads: every call returns at once.
        for (int i = 0; i < 3 * StandardErrorEcho::MaxQueuedLines; ++i)
            echo.Write("Information: line " + QByteArray::number(i) + '\n');
        EXPECT_LT(timer.elapsed(), 2000);
        // The reader comes back: the kept lines in order, each gap said in its place as a count of
        // the lines that were not written there, the last gap too, though no line follows it.
        // Every line is accounted for, in the order it was written.
        QByteArray read;
        const QByteArray countEnd = " log line(s) not written here - standard error was not being read";
        long long next = 0, kept = 0, dropped = 0;
        const auto takeLine = [&](const QByteArray& line) {
            if (line.startsWith("Error: ") && line.endsWith(countEnd)) {
                const long long gap = line.mid(7, line.size() - 7 - countEnd.size()).toLongLong();
                EXPECT_GT(gap, 0) << line.data();
                next += gap;
                dropped += gap;
                return;
            }
            EXPECT_EQ(line, "Information: line " + QByteArray::number(next)) << "after " << kept << " kept";
            ++next;
            ++kept;
        };
        // Reads whole lines until `done` holds, or for ten seconds at most.
        const auto drain = [&](const std::function<bool()>& done) {
            QElapsedTimer waited;
            waited.start();
            char buffer[65536];
            while (!done() && waited.elapsed() < 10000) {
                pollfd ready{pipeFds[0], POLLIN, 0};
                if (::poll(&ready, 1, 100) <= 0)
                    continue;
                const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
                ASSERT_GT(got, 0);
                read.append(buffer, got);
                for (qsizetype end = read.indexOf('\n'); end >= 0; end = read.indexOf('\n')) {
                    takeLine(read.left(end));
                    read.remove(0, end + 1);
                }
            }
        };
        const long long written = 3 * StandardErrorEcho::MaxQueuedLines;
        drain([&] { return next >= written; });
        EXPECT_EQ(next, written);
        EXPECT_EQ(kept + dropped, written);
        EXPECT_GE(kept, StandardErrorEcho::MaxQueuedLines);
        EXPECT_GT(dropped, 0);
        EXPECT_TRUE(read.isEmpty()) << read.left(200).data();
        // A line written once the reader is back comes alone: nothing was owed any more.
        echo.Write("Information: line " + QByteArray::number(written) + '\n');
        drain([&] { return next > written; });
        EXPECT_EQ(next, written + 1);
        EXPECT_EQ(kept + dropped, written + 1);
        timer.restart();
        // Full again and never read: the end waits a second at most.
        for (int i = 0; i < StandardErrorEcho::MaxQueuedLines; ++i)
            echo.Write(QByteArray(200, 'x') + '\n');
    }
    EXPECT_LT(timer.elapsed(), 3000) << "the exit never waits on a reader";
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST(StandardErrorEcho, AReaderThatIsGoneEndsTheEcho)
{
    std::signal(SIGPIPE, SIG_IGN);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[0]);
    LogRecorder log;
    QElapsedTimer timer;
    timer.start();
    {
        StandardErrorEcho echo(pipeFds[1]);
        for (int i = 0; i < 1000; ++i)
            echo.Write("Information: nobody\n");
        EXPECT_TRUE(
            WaitUntil([&] { return !log.Starting("Log - standard error was closed").isEmpty(); }, 2000));
    }
    EXPECT_LT(timer.elapsed(), 2000);
    QCoreApplication::sendPostedEvents(&log);
    EXPECT_EQ(log.Starting("Log - standard error was closed").size(), 1u) << "said once, to the log file";
    ::close(pipeFds[1]);
}

TEST(EngineSet, AnEmptyOrDamagedFileIsNoSettingsAndIsKept)
{
    QTemporaryDir home;
    const QString data = home.path() + "/";
    const auto write = [&](const QByteArray& bytes) {
        QFile file(data + "Pixlet.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    {
        // At start: defaults in memory, the file kept for the user to look at.
        write(QByteArray("\x89\x01\xfe garbage\n\x00\x13", 15));
        EngineSet engines(SystemClock(), data);
        EXPECT_FALSE(engines.LoadSettings());
        EXPECT_TRUE(engines.SettingsFileUnreadable());
    }
    EngineSet engines(SystemClock(), data);
    LogRecorder log; // after the set: the last receiver made is the one that hears
    write("ArchiveRootDirectory = /srv/cam\r\nControlEnableArchive = Yes\r\n");
    ASSERT_TRUE(engines.LoadSettings());
    ASSERT_EQ(engines.Archive().CurrentSettings().rootDirectory, "/srv/cam");
    // A reload of a file half written by an editor, or damaged, keeps what is in force.
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\r\n\r\n"), QByteArray(4096, '\xff')}) {
        write(bytes);
        EXPECT_FALSE(engines.ReloadSettings());
        EXPECT_EQ(engines.Archive().CurrentSettings().rootDirectory, "/srv/cam");
        EXPECT_TRUE(engines.Controller().Settings().enableArchive);
    }
    QCoreApplication::sendPostedEvents(&log);
    bool said = false;
    for (const auto& entry : log.entries)
        said = said || entry.text.contains(
                           "holds no Pixlet settings (empty or damaged) - the settings in force are kept");
    EXPECT_TRUE(said);
    write("ArchiveRootDirectory = /srv/other\r\n");
    EXPECT_TRUE(engines.ReloadSettings());
    EXPECT_EQ(engines.Archive().CurrentSettings().rootDirectory, "/srv/other");
}

namespace {
// A half-written archive file under its temporary name, last written at `when`.
void WriteTemporary(const QString& path, time_t when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("half");
    file.close();
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

// A data directory whose settings archive into its "archive/" folder, with "archive/day/" made.
QString ArchivingDataDirectory(const QTemporaryDir& home)
{
    const QString data = home.path() + "/";
    EXPECT_TRUE(QDir().mkpath(data + "archive/day"));
    QFile settings(data + "Pixlet.ini");
    EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("ArchiveRootDirectory = " + data + "archive/\r\n").toUtf8());
    return data;
}
} // namespace

// At start, the archive's sweep removes what a killed run left under temporary names, and only
// that: a file this run (or another Pixlet archiving into the same tree) is writing right now
// is not touched, even while the sweep runs beside the first save of the settings.
TEST(EngineSet, TheStartSweepLeavesFilesBeingWrittenAlone)
{
    QTemporaryDir home;
    const QString data = ArchivingDataDirectory(home);
    const QString old = data + "archive/day/.0815.jpg.pixlet-Ab12Cd";
    const QString writing = data + "archive/day/.0816.jpg.pixlet-Xy34Zw";
    const QString recent = data + "archive/day/.0817.jpg.pixlet-Qr56St";
    WriteTemporary(old, time(nullptr) - 3600);
    WriteTemporary(writing, time(nullptr) + 1); // written a moment after the start, by the coarse clock
    WriteTemporary(recent, time(nullptr) - 2);  // begun by another Pixlet a moment before this start
    EngineSet engines(SystemClock(), data);
    LogRecorder log; // after the set: the last receiver made is the one that hears
    engines.StartUp();
    ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(old); }, 5000)) << "a killed run's leftover";
    EXPECT_TRUE(WaitUntil([&] { return !log.Starting("Archive - Removed 1 unfinished file(s)").isEmpty(); }));
    EXPECT_TRUE(QFile::exists(writing));
    EXPECT_TRUE(QFile::exists(recent));
}

// systemd restarts a killed service at once: its last archive file is only a moment older than
// the start, too young for the first sweep. A minute on, the second sweep takes it, and still
// leaves alone a file written to within the last minute.
TEST(EngineSet, AMinuteAfterTheStartWhatARunKilledJustBeforeLeftGoesToo)
{
    QTemporaryDir home;
    const QString data = ArchivingDataDirectory(home);
    const time_t start = time(nullptr);
    ManualClock clock{QDateTime::fromSecsSinceEpoch(start, Qt::UTC)};
    const QString killed = data + "archive/day/.0815.jpg.pixlet-Ab12Cd";
    const QString busy = data + "archive/day/.0816.jpg.pixlet-Xy34Zw";
    WriteTemporary(killed, start - 1);
    WriteTemporary(busy, start + 50); // another Pixlet's file, written ten seconds before the second sweep
    EngineSet::Limits limits;
    limits.archiveSecondSweep = std::chrono::milliseconds(300);
    EngineSet engines(clock, data, limits);
    LogRecorder log;
    engines.StartUp();
    // The first sweep has the time of the start; the second runs when the clock says a minute.
    clock.Advance(60'000);
    ASSERT_TRUE(WaitUntil([&] { return !QFile::exists(killed); }, 5000)) << "left by the killed run";
    EXPECT_TRUE(WaitUntil([&] { return !log.Starting("Archive - Removed 1 unfinished file(s)").isEmpty(); }));
    EXPECT_TRUE(QFile::exists(busy));
}
