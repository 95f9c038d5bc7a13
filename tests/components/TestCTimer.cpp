#include "ManualClock.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "Utils/Classes/CTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

using Utils::Classes::CTimer;

namespace {
class Counter final : public QObject
{
public:
    int received = 0;
    std::int64_t lastW = 0, lastL = 0;
    bool event(QEvent* e) override
    {
        if (e->type() != RegisterNamedMessage(MessageName::ControlTimer))
            return QObject::event(e);
        ++received;
        lastW = static_cast<MessageEvent*>(e)->wParam;
        lastL = static_cast<MessageEvent*>(e)->lParam;
        return true;
    }
};

QDateTime Utc(int h, int m, int s, int ms = 0)
{
    return QDateTime(QDate(2021, 6, 15), QTime(h, m, s, ms), Qt::UTC);
}

const QEvent::Type Tick = RegisterNamedMessage(MessageName::ControlTimer);

// Counts the timer messages delivered to any object of the application while it lives.
class TickCounter final : public QObject
{
public:
    int count = 0;
    TickCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~TickCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == Tick)
            ++count;
        return QObject::eventFilter(watched, e);
    }
};
} // namespace

TEST(CTimerSchedule, ExactStrokeIsTheFirstAlignedInstantAfterNow)
{
    ManualClock clock(Utc(10, 14, 59, 999));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 300, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 15, 0));

    clock.SetUtc(Utc(10, 15, 0));
    timer.AddTimer("Control", 300, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 20, 0)) << "strictly after now";

    clock.SetUtc(Utc(10, 12, 30));
    timer.AddTimer("Control", 300, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 15, 0));
}

TEST(CTimerSchedule, ShortAndLongPeriods)
{
    ManualClock clock(Utc(10, 12, 30, 400));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("A", 45, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("A")->toUTC(), Utc(10, 12, 45));
    timer.AddTimer("B", 7200, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("B")->toUTC(), Utc(12, 0, 0));
    timer.AddTimer("C", 3 * 86400, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("C")->toUTC(), QDateTime(QDate(2021, 6, 18), QTime(0, 0), Qt::UTC));
    timer.AddTimer("D", 300, false, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("D")->toUTC(), Utc(10, 17, 30, 400)) << "unaligned: now + period";
}

TEST(CTimerSchedule, AlignsToTheLocalClockInHalfHourZones)
{
    // UTC+5:30: an hourly stroke falls on the local hour, which is half past in UTC.
    ManualClock clock(Utc(10, 12, 30), 5 * 3600 + 1800);
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 3600, true, &target, Tick);
    const QDateTime due = *timer.GetNextDueTime("Control");
    EXPECT_EQ(due.time(), QTime(16, 0)) << "local";
    EXPECT_EQ(due.toUTC(), Utc(10, 30, 0));

    clock.SetUtcOffset(5 * 3600 + 2700); // UTC+5:45
    timer.AddTimer("Control", 3600, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 15, 0));

    clock.SetUtcOffset(3 * 3600); // whole hours give the same instants as UTC
    timer.AddTimer("Control", 900, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 15, 0));

    clock.SetUtcOffset(5 * 3600 + 1800);
    timer.AddTimer("Daily", 86400 * 2, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Daily")->time(), QTime(0, 0)) << "local midnight";
}

TEST(CTimerSchedule, PeriodsAreClamped)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Zero", 0, true, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Zero")->toUTC(), Utc(10, 0, 1));
    timer.AddTimer("Negative", -50, false, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Negative")->toUTC(), Utc(10, 0, 1));
    timer.AddTimer("Huge", 1LL << 40, false, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Huge")->toUTC(), Utc(10, 0, 0).addSecs(2147483));
}

TEST(CTimerTicks, FiresOnceWhenDueAndCarriesItsParameters)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 60, true, &target, Tick, 0x8001, 7);
    EXPECT_TRUE(timer.TickRunning());
    clock.Advance(59'999);
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 0);
    clock.Advance(1);
    timer.Tick();
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 1);
    EXPECT_EQ(target.lastW, 0x8001);
    EXPECT_EQ(target.lastL, 7);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 2, 0));
}

TEST(CTimerTicks, TheHundredMillisecondTickDrivesTheEntries)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 60, false, &target, Tick);
    clock.Advance(60'000);
    // Only the real tick runs here. It fires the due entry once (allowing a loaded machine
    // time to get to it), and a few more ticks bring nothing more.
    QElapsedTimer waited;
    waited.start();
    while (target.received == 0 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(target.received, 1);
    QEventLoop loop;
    QTimer::singleShot(3 * CTimer::TickIntervalMs + 50, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 1);
}

TEST(CTimerTicks, BusyReceiverGetsOneMessageNotABacklog)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 10, false, &target, Tick);
    // The receiver's thread is busy for a minute: ticks keep coming, nothing is handled.
    for (int i = 0; i < 6; ++i) {
        clock.Advance(10'000);
        timer.Tick();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 1);
    // Once the receiver has caught up, the next due time fires again.
    clock.Advance(10'000);
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 2);
}

TEST(CTimerTicks, OverdueEntryFiresOnceAndSkipsToTheNextMultiple)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 60, true, &target, Tick);
    clock.SetUtc(Utc(10, 5, 30));
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 1);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 6, 0));
}

TEST(CTimerTicks, RemovedReplacedAndDeadTargets)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    Counter target;
    timer.AddTimer("Control", 60, false, &target, Tick);
    timer.RemoveTimer("Control");
    timer.RemoveTimer("Control");
    EXPECT_FALSE(timer.GetNextDueTime("Control").has_value());
    clock.Advance(120'000);
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(target.received, 0);

    timer.AddTimer("Control", 60, false, &target, Tick);
    timer.AddTimer("Control", 300, false, &target, Tick);
    EXPECT_EQ(timer.GetNextDueTime("Control")->toUTC(), Utc(10, 7, 0)) << "replacement restarts the schedule";

    // A receiver that is gone: its entry (first in the list) posts nothing, and the live entry
    // due at the same tick still gets its message.
    timer.RemoveTimer("Control");
    Counter alive;
    {
        Counter shortLived;
        timer.AddTimer("A gone", 1, false, &shortLived, Tick);
        timer.AddTimer("B alive", 1, false, &alive, Tick);
    }
    TickCounter delivered;
    clock.Advance(5000);
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(alive.received, 1);
    EXPECT_EQ(delivered.count, 1) << "nothing went anywhere else";
    EXPECT_TRUE(timer.GetNextDueTime("A gone").has_value()) << "the entry stays until it is removed";
}

TEST(CTimerStopwatch, FormatsElapsedTime)
{
    ManualClock clock(Utc(10, 0, 0));
    CTimer timer(clock);
    EXPECT_FALSE(timer.FormatElapsed("Uptime").has_value());
    timer.StartStopwatch("Uptime");
    clock.Advance(5'000);
    EXPECT_EQ(*timer.FormatElapsed("Uptime"), "0 Days 00:00:05");
    clock.Advance((86400 + 3600 + 60 + 1) * 1000LL - 5'000);
    EXPECT_EQ(*timer.FormatElapsed("Uptime"), "1 Day 01:01:01");
    clock.Advance((86400 - 3600 - 60 - 1) * 1000LL);
    EXPECT_EQ(*timer.FormatElapsed("Uptime"), "2 Days 00:00:00");
    EXPECT_EQ(CTimer::FormatElapsedSeconds(86400 + 2 * 3600 + 3 * 60 + 4), "1 Day 02:03:04");
    EXPECT_EQ(CTimer::FormatElapsedSeconds(-3), "0 Days 00:00:00")
        << "a clock set back shows no negative time";
    // A stopwatch never posts anything, and a tick leaves it running.
    TickCounter delivered;
    clock.Advance(1'000'000);
    timer.Tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered.count, 0);
    EXPECT_EQ(*timer.FormatElapsed("Uptime"), "2 Days 00:16:40");
    timer.StartStopwatch("Uptime");
    EXPECT_EQ(*timer.FormatElapsed("Uptime"), "0 Days 00:00:00") << "starting it again starts from now";
}
