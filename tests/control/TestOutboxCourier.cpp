#include "LogRecorder.h"
#include "ManualClock.h"
#include "TestImages.h"
#include "control/AdvancedSettings.h"
#include "control/OutboxCourier.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The pace of the tries on a clock the test moves, with the real outbox in a directory of its
// own: no test waits for minutes.
namespace {
using Kind = OutboxItem::Kind;

class CourierTest : public ::testing::Test
{
protected:
    QTemporaryDir data;
    ManualClock clock;
    AdvancedSettings advanced;
    OutboxCourier courier{clock, data.filePath("outbox"), advanced};

    QDateTime Taken(int second) const { return QDateTime(QDate(2026, 12, 10), QTime(9, 0, second)); }
    void Keep(Kind kind, int second, bool failed, const QString& key = QString())
    {
        ASSERT_TRUE(courier.Keep(kind, GradientFrame(64 + second, 48, 24), Taken(second), key, failed));
    }
};
} // namespace

TEST_F(CourierTest, AfterAFailureTheTriesWaitLongerEachTimeAndADeliveryClearsThePace)
{
    Keep(Kind::Email, 1, true);
    EXPECT_FALSE(courier.Due(Kind::Email)) << "30 s first";
    clock.Advance(29'000);
    EXPECT_FALSE(courier.Due(Kind::Email));
    clock.Advance(1'000);
    std::optional<OutboxCourier::Delivery> due = courier.Due(Kind::Email);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->taken, Taken(1));
    EXPECT_EQ(due->image.Width(), 65) << "the image as it was kept";
    courier.Failed(Kind::Email, due->item);
    clock.Advance(59'000);
    EXPECT_FALSE(courier.Due(Kind::Email)) << "60 s after the second failure";
    clock.Advance(1'000);
    due = courier.Due(Kind::Email);
    ASSERT_TRUE(due);

    // The other output's pace is its own.
    Keep(Kind::Ftp, 2, false);
    EXPECT_TRUE(courier.Due(Kind::Ftp));

    // Delivered: the next one goes at once.
    Keep(Kind::Email, 3, false);
    courier.Delivered(Kind::Email, due->item);
    due = courier.Due(Kind::Email);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->taken, Taken(3));
}

TEST_F(CourierTest, ImagesGoOutOldestFirstAndAnEarlierRunsImagesAtOnce)
{
    for (const int second : {5, 6, 7})
        Keep(Kind::Email, second, second == 5);
    clock.Advance(30'000);
    QList<QDateTime> order;
    while (std::optional<OutboxCourier::Delivery> due = courier.Due(Kind::Email)) {
        order << due->taken;
        courier.Delivered(Kind::Email, due->item);
    }
    EXPECT_EQ(order, (QList<QDateTime>{Taken(5), Taken(6), Taken(7)}));
    EXPECT_EQ(courier.Count(), 0);

    Keep(Kind::Email, 8, true);
    OutboxCourier next{clock, data.filePath("outbox"), advanced};
    next.Load();
    ASSERT_TRUE(next.Due(Kind::Email)) << "a new run tries at once";
}

TEST_F(CourierTest, TheBoundsAreTheAdvancedSettingsOfTheMoment)
{
    LogRecorder log;
    advanced.outboxMaxImages = 2;
    for (const int second : {1, 2, 3, 4})
        Keep(Kind::Email, second, false);
    EXPECT_EQ(courier.Count(), 2);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(log.Starting("Outbox - Full (at most 2 items").size(), 2);
    // A fixed FTP name keeps only its newest image.
    Keep(Kind::Ftp, 5, false, "FTP://host/cam.jpg");
    Keep(Kind::Ftp, 6, false, "FTP://host/cam.jpg");
    std::optional<OutboxCourier::Delivery> due = courier.Due(Kind::Ftp);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->taken, Taken(6));
}
