#pragma once

#include <QDateTime>

#include <cstdint>

// The one source of time for schedules, templates and stopwatches. Production code uses
// SystemClock(); tests pass their own clock so that no test waits for real time to pass.
class Clock
{
public:
    virtual ~Clock() = default;

    // Wall-clock time in UTC, to the millisecond.
    virtual QDateTime UtcNow() const = 0;
    // Wall-clock time in the local time zone (the result carries the zone or offset in force).
    virtual QDateTime LocalNow() const = 0;
    // Monotonic milliseconds; only differences are meaningful.
    virtual std::uint64_t MonotonicMs() const = 0;
};

// A clock stopped at one moment of wall-clock time (monotonic time still runs): what a template
// expands to for an image taken then, whenever that happens.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(const QDateTime& local) : local_(local) {}
    QDateTime UtcNow() const override { return local_.toUTC(); }
    QDateTime LocalNow() const override { return local_; }
    std::uint64_t MonotonicMs() const override;

private:
    QDateTime local_;
};

// The process-wide real clock; it holds no state, so any thread may use it.
const Clock& SystemClock();

// The program's monotonic 64-bit millisecond clock, for rates, watchdogs and animations.
std::uint64_t MillisecondClock();
