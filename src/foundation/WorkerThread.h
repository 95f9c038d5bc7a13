#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One long-lived thread that runs the jobs given to it, one after another, in order. Keeping
// the thread spares a thread start per job and keeps its caches warm. The destructor runs
// what is still queued, then joins.
class WorkerThread final
{
public:
    WorkerThread() = default;
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Any thread; the thread starts with the first job.
    void Post(std::function<void()> job);
    // Returns once every job posted so far has run.
    void WaitIdle();
    // The same with a limit: false when jobs are still queued or running after timeoutMs.
    bool WaitIdleFor(int timeoutMs);

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    int pending_ = 0; // queued or running
    bool stopping_ = false;
    std::thread thread_;
};
