#include "LogRecorder.h"
#include "outputs/Outbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
using namespace std::chrono_literals;

OutboxItem Item(OutboxItem::Kind kind, int second, const QString& key = QString(), qsizetype size = 1000)
{
    OutboxItem item;
    item.kind = kind;
    item.captured = QDateTime(QDate(2026, 12, 10), QTime(15, 0, second, 250));
    item.coalesceKey = key;
    item.fields.insert("remote", QString("cam %1.jpg").arg(second));
    item.fields.insert("subject=odd\nline", "a value with = and\nline breaks");
    item.image = QByteArray(size, static_cast<char>('a' + second % 26));
    return item;
}

// What the log said so far that starts with the prefix; its lines come as posted events.
QStringList Said(LogRecorder& log, const QString& prefix)
{
    QCoreApplication::sendPostedEvents();
    return log.Starting(prefix);
}

QStringList Names(const Outbox& outbox)
{
    QStringList names;
    for (const OutboxEntry& entry : outbox.Entries())
        names << entry.name;
    return names;
}

QStringList Seconds(Outbox& outbox)
{
    QStringList seconds;
    for (const OutboxEntry& entry : outbox.Entries())
        seconds << QString::number(entry.captured.time().second());
    return seconds;
}
} // namespace

TEST(Outbox, ItemsComeBackWholeOldestFirstAfterARestart)
{
    QTemporaryDir data;
    const QString directory = data.filePath("outbox");
    {
        Outbox outbox(directory, {});
        // Added out of order: the time of capture decides.
        ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 20)));
        ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Email, 5)));
        ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 10)));
        EXPECT_EQ(Seconds(outbox), (QStringList{"5", "10", "20"}));
    }
    LogRecorder log;
    Outbox again(directory, {});
    again.Load();
    ASSERT_EQ(Seconds(again), (QStringList{"5", "10", "20"}));
    EXPECT_EQ(Said(log, "Outbox - 3 item(s) waiting").size(), 1);
    const std::optional<OutboxItem> first = again.Read(again.Entries()[0].name);
    ASSERT_TRUE(first);
    const OutboxItem expected = Item(OutboxItem::Kind::Email, 5);
    EXPECT_EQ(first->kind, OutboxItem::Kind::Email);
    EXPECT_EQ(first->captured, expected.captured);
    EXPECT_EQ(first->fields, expected.fields);
    EXPECT_EQ(first->image, expected.image);
    EXPECT_TRUE(again.Remove(again.Entries()[0].name));
    EXPECT_EQ(Seconds(again), (QStringList{"10", "20"}));
    EXPECT_EQ(QDir(directory).entryList(QDir::Files | QDir::Hidden).size(), 2);
    // New items sort after those of the earlier run even when taken in the same millisecond.
    ASSERT_TRUE(again.Add(Item(OutboxItem::Kind::Ftp, 20)));
    EXPECT_EQ(Seconds(again), (QStringList{"10", "20", "20"}));
    const QStringList names = Names(again);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 3);
}

TEST(Outbox, AFixedNameKeepsOnlyItsNewestImageAndMailsAreNeverMerged)
{
    QTemporaryDir data;
    LogRecorder log;
    Outbox outbox(data.path(), {});
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 1, "ftp:/live/cam.jpg")));
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 2, "ftp:/live/other.jpg")));
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Email, 3)));
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Email, 4)));
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 5, "ftp:/live/cam.jpg")));
    EXPECT_EQ(Seconds(outbox), (QStringList{"2", "3", "4", "5"}));
    EXPECT_EQ(Said(log, "Outbox - ").filter("replaced by a newer image for the same name").size(), 1);
    EXPECT_EQ(QDir(data.path()).entryList(QDir::Files).size(), 4);
}

TEST(Outbox, AnOlderImageNeverReplacesANewerOneKeptForTheSameName)
{
    // A slow upload of an older image fails after a newer one was kept for the same name.
    QTemporaryDir data;
    LogRecorder log;
    Outbox outbox(data.path(), {});
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 9, "ftp:cam.jpg")));
    EXPECT_FALSE(outbox.Add(Item(OutboxItem::Kind::Ftp, 4, "ftp:cam.jpg"))) << "not stored";
    EXPECT_EQ(Seconds(outbox), QStringList{"9"});
    EXPECT_EQ(Said(log, "Outbox - The image taken 2026-12-10 15:00:04 is not kept - ").size(), 1);
    EXPECT_EQ(QDir(data.path()).entryList(QDir::Files).size(), 1);
}

TEST(Outbox, WhenFullTheOldestGoesWithALine)
{
    QTemporaryDir data;
    LogRecorder log;
    Outbox outbox(data.path(), {3, 1024 * 1024});
    for (int second = 1; second <= 5; ++second)
        ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Email, second)));
    EXPECT_EQ(Seconds(outbox), (QStringList{"3", "4", "5"}));
    const QStringList dropped = Said(log, "Outbox - Full (at most 3 items, 1 MB) - the oldest item ");
    ASSERT_EQ(dropped.size(), 2);
    EXPECT_TRUE(dropped[0].contains("email, taken 2026-12-10 15:00:01")) << dropped[0].toStdString();

    // By bytes: three images of 400 KB do not fit in 1 MB; the one just added always stays.
    for (int second = 10; second <= 12; ++second)
        ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, second, QString(), 400 * 1024)));
    EXPECT_EQ(Seconds(outbox), (QStringList{"11", "12"}));
    EXPECT_LE(outbox.Bytes(), 1024 * 1024);

    // An image larger than the whole outbox is not kept, and nothing else goes for it.
    EXPECT_FALSE(outbox.Add(Item(OutboxItem::Kind::Ftp, 30, QString(), 2 * 1024 * 1024)));
    EXPECT_EQ(Seconds(outbox), (QStringList{"11", "12"}));
    // Smaller limits take effect at once.
    outbox.SetLimits({1, 1024 * 1024});
    EXPECT_EQ(Seconds(outbox), (QStringList{"12"}));
}

TEST(Outbox, DamagedItemsAreSetAsideNeverSent)
{
    QTemporaryDir data;
    {
        Outbox outbox(data.path(), {});
        for (int second = 1; second <= 4; ++second)
            ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, second)));
    }
    const QStringList names = QDir(data.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 4);
    auto path = [&](int i) { return QDir(data.path()).filePath(names[i]); };
    // Cut short, as by a full disk without the atomic write; garbage; a flipped image byte.
    ASSERT_TRUE(QFile::resize(path(0), QFileInfo(path(0)).size() - 10));
    {
        QFile garbage(path(1));
        ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
        garbage.write("\x00\x01 not an item at all", 21);
    }
    {
        QFile flipped(path(2));
        ASSERT_TRUE(flipped.open(QIODevice::ReadWrite));
        flipped.seek(flipped.size() - 1);
        flipped.write("Z");
    }
    // A write a killed run did not finish.
    QFile unfinished(QDir(data.path()).filePath("." + names[3] + ".pixlet-abc123"));
    ASSERT_TRUE(unfinished.open(QIODevice::WriteOnly));
    ASSERT_TRUE(
        unfinished.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    unfinished.close();

    LogRecorder log;
    Outbox outbox(data.path(), {});
    outbox.Load();
    EXPECT_EQ(Names(outbox), (QStringList{names[2], names[3]})) << "the flipped byte shows only when read";
    EXPECT_FALSE(outbox.Read(names[2]));
    EXPECT_EQ(Names(outbox), QStringList{names[3]});
    ASSERT_TRUE(outbox.Read(names[3]));
    const QStringList aside = Said(log, "Outbox - Damaged item ");
    ASSERT_EQ(aside.size(), 3) << aside.join('\n').toStdString();
    EXPECT_TRUE(aside.filter("instead of").size() == 1) << aside.join('\n').toStdString();
    EXPECT_TRUE(aside.filter("checksum").size() == 1) << aside.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(path(0) + ".damaged")) << "kept for a look";
    EXPECT_FALSE(unfinished.exists());

    // Nothing the outbox does not know is taken for an item.
    Outbox later(data.path(), {});
    later.Load();
    EXPECT_EQ(Names(later), QStringList{names[3]});
}

TEST(Outbox, AnItemThatCannotBeStoredLeavesTheRestAlone)
{
    QTemporaryDir data;
    const QString directory = data.filePath("outbox");
    Outbox outbox(directory, {});
    ASSERT_TRUE(outbox.Add(Item(OutboxItem::Kind::Ftp, 1, "ftp:cam.jpg")));
    // A file where the directory should be (even root cannot write there).
    ASSERT_TRUE(QDir().rename(directory, directory + ".away"));
    {
        QFile blocker(directory);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    LogRecorder log;
    EXPECT_FALSE(outbox.Add(Item(OutboxItem::Kind::Ftp, 2, "ftp:cam.jpg")));
    EXPECT_EQ(Said(log, "Outbox - Could not keep the image for a later delivery - ").size(), 1);
    EXPECT_EQ(Seconds(outbox), QStringList{"1"}) << "the older image is not given up for one not kept";
    ASSERT_TRUE(QFile::remove(directory));
    ASSERT_TRUE(QDir().rename(directory + ".away", directory));
    EXPECT_TRUE(outbox.Read(outbox.Entries()[0].name));
}

TEST(Outbox, RetriesWaitLongerAfterEachFailureUpToAQuarterOfAnHour)
{
    EXPECT_EQ(OutboxRetryDelay(0), 30s);
    EXPECT_EQ(OutboxRetryDelay(1), 30s);
    EXPECT_EQ(OutboxRetryDelay(2), 60s);
    EXPECT_EQ(OutboxRetryDelay(3), 120s);
    EXPECT_EQ(OutboxRetryDelay(5), 480s);
    EXPECT_EQ(OutboxRetryDelay(6), 900s);
    EXPECT_EQ(OutboxRetryDelay(1000000), 900s);
    EXPECT_EQ(OutboxRetryDelay(3, 500ms), 2000ms);
}
