#pragma once

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Copies log lines to a file descriptor (standard error) on a thread of its own, so that a
// reader that stops reading (a stalled pipe, a terminal on hold) never holds up the program:
// the queue is bounded, lines beyond it are dropped and counted, and the count is said in
// their place once the reader is back. A reader that has gone (EPIPE, with SIGPIPE ignored)
// ends the echo.
class StandardErrorEcho final
{
public:
    static constexpr int MaxQueuedLines = 10000;
    static constexpr int MaxQueuedBytes = 4 * 1024 * 1024;

    explicit StandardErrorEcho(int fd);
    // Writes what is queued for at most a second more, then gives up: the exit never waits
    // on a reader.
    ~StandardErrorEcho();
    StandardErrorEcho(const StandardErrorEcho&) = delete;
    StandardErrorEcho& operator=(const StandardErrorEcho&) = delete;

    // Never blocks.
    void Write(const QByteArray& line);

private:
    void Run();
    // Writes all of it unless stopping ends the wait; false when the descriptor failed.
    bool WriteAll(const QByteArray& bytes);

    const int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    struct Entry
    {
        QByteArray line;
        // Lines dropped just before this one: the count is said where the gap is.
        long long droppedBefore = 0;
    };
    std::deque<Entry> queue_;
    qsizetype queuedBytes_ = 0;
    long long droppedSinceLast_ = 0;
    bool stopping_ = false;
    long long stopDeadlineMs_ = 0;
    std::thread thread_;
};
