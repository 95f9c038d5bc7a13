#include "WorkerThread.h"

#include <algorithm>

WorkerThread::~WorkerThread()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void WorkerThread::Post(std::function<void()> job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        ++pending_;
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

void WorkerThread::WaitIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_ == 0; });
}

bool WorkerThread::WaitIdleFor(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                          [this] { return pending_ == 0; });
}

void WorkerThread::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // stopping, and nothing is left to run
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr; // whatever the job holds is released before it counts as done
        lock.lock();
        --pending_;
        idle_.notify_all();
    }
}
