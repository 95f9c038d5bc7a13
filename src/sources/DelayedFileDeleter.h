#pragma once

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Deletes collected files after a delay on one owned thread. A file that cannot be deleted is
// logged. Files still waiting when the deleter is destroyed are deleted then, so that what the
// log called deleted does not stay behind when the program ends early.
class DelayedFileDeleter final
{
public:
    DelayedFileDeleter() = default;
    ~DelayedFileDeleter();
    DelayedFileDeleter(const DelayedFileDeleter&) = delete;
    DelayedFileDeleter& operator=(const DelayedFileDeleter&) = delete;

    // Any thread. A negative delay counts as none.
    void DeleteLater(const QByteArray& path, int delayMs);
    // Files waiting for their time.
    int Pending() const;

private:
    using Moment = std::chrono::steady_clock::time_point;
    struct Entry
    {
        QByteArray path; // the file system's bytes
        Moment due;
    };

    void Run();
    static void Delete(const QByteArray& path);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Entry> entries_; // in order of their due time
    bool stopping_ = false;
    std::thread thread_;
};
