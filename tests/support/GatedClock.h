#pragma once

#include "Clock.h"

#include <condition_variable>
#include <mutex>
#include <thread>

// A clock that tells the time of another but can hold a worker thread in the middle of its job:
// while the gate is closed, a reading on any thread but the test's own waits at it (at most
// MaxHoldMs, so that a broken test cannot hang). The test closes the gate, waits until a worker
// stands there, checks what must hold while the job is under way, and opens the gate again.
class GatedClock final : public Clock
{
public:
    static constexpr int MaxHoldMs = 10000;

    explicit GatedClock(const Clock& time);
    ~GatedClock() override;

    QDateTime UtcNow() const override;
    QDateTime LocalNow() const override;
    std::uint64_t MonotonicMs() const override;

    void Close();
    // Whether a worker reached the closed gate within the time.
    bool WaitForArrival(int timeoutMs = MaxHoldMs);
    void Open();

private:
    void Pass() const;

    const Clock& time_;
    const std::thread::id owner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool closed_ = false;
    mutable int waiting_ = 0;
};
