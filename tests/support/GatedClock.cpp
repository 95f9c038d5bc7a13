#include "GatedClock.h"

#include <chrono>

GatedClock::GatedClock(const Clock& time) : time_(time), owner_(std::this_thread::get_id()) {}

GatedClock::~GatedClock()
{
    Open();
}

void GatedClock::Pass() const
{
    if (std::this_thread::get_id() == owner_)
        return;
    std::unique_lock lock(mutex_);
    if (!closed_)
        return;
    ++waiting_;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::milliseconds(MaxHoldMs), [this] { return !closed_; });
    --waiting_;
}

QDateTime GatedClock::UtcNow() const
{
    Pass();
    return time_.UtcNow();
}

QDateTime GatedClock::LocalNow() const
{
    Pass();
    return time_.LocalNow();
}

std::uint64_t GatedClock::MonotonicMs() const
{
    Pass();
    return time_.MonotonicMs();
}

void GatedClock::Close()
{
    const std::lock_guard lock(mutex_);
    closed_ = true;
}

bool GatedClock::WaitForArrival(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return waiting_ > 0; });
}

void GatedClock::Open()
{
    {
        const std::lock_guard lock(mutex_);
        closed_ = false;
    }
    changed_.notify_all();
}
