#include "AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
// A file under `path` last written `ageSeconds` ago.
void WriteAged(const QString& path, qint64 ageSeconds)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("half");
    file.close();
    const time_t when = time(nullptr) - ageSeconds;
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

int SweepOlderThan(const QString& directory, qint64 seconds)
{
    StaleTemporarySweep sweep;
    sweep.recursive = true;
    sweep.before = time(nullptr) - seconds;
    return RemoveStaleTemporaries(directory, sweep);
}
} // namespace

// Only old files under our temporary names go; a symbolic link so named is not followed.
TEST(StaleTemporaries, OnlyOldFilesUnderOurTemporaryNamesGo)
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/";
    ASSERT_TRUE(QDir().mkpath(root + "day"));
    WriteAged(root + "day/.a.jpg.pixlet-Ab12Cd", 3600);
    WriteAged(root + "day/.b.jpg.pixlet-Ef34Gh", 5);
    WriteAged(root + "day/c.jpg", 3600);
    WriteAged(root + "day/.d.jpg.pixlet-", 3600);
    WriteAged(root + "precious.jpg", 3600);
    ASSERT_EQ(::symlink(QFile::encodeName(root + "precious.jpg").constData(),
                        QFile::encodeName(root + "day/.e.jpg.pixlet-Ij56Kl").constData()),
              0);
    EXPECT_EQ(SweepOlderThan(root, 60), 1);
    EXPECT_FALSE(QFile::exists(root + "day/.a.jpg.pixlet-Ab12Cd"));
    for (const char* kept : {"day/.b.jpg.pixlet-Ef34Gh", "day/c.jpg", "day/.d.jpg.pixlet-", "precious.jpg"})
        EXPECT_TRUE(QFile::exists(root + kept)) << kept;
    EXPECT_TRUE(QFileInfo(root + "day/.e.jpg.pixlet-Ij56Kl").isSymLink());
}

// A writer stalled for longer than the sweep's age (a dying card in fsync, a network root)
// still holds its temporary locked: the sweep passes it over until the writer lets go.
TEST(StaleTemporaries, AFileItsWriterStillHoldsIsLeftWhateverItsAge)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/.a.jpg.pixlet-Ab12Cd";
    WriteAged(path, 3600);
    const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(SweepOlderThan(dir.path(), 60), 0);
    EXPECT_TRUE(QFile::exists(path));
    ::close(writer);
    EXPECT_EQ(SweepOlderThan(dir.path(), 60), 1);
    EXPECT_FALSE(QFile::exists(path));
}

// What the writer leaves is the file under its own name, whole, and no temporary.
TEST(StaleTemporaries, AWrittenFileLeavesNoTemporaryBehind)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/sub/out.jpg";
    ASSERT_EQ(WriteFileAtomically(path, QByteArray(100000, 'x'), 0644), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(100000, 'x'));
    EXPECT_EQ(QDir(dir.path() + "/sub").entryList(QDir::Files | QDir::Hidden), QStringList{"out.jpg"});
}
