#include "StandardErrorEcho.h"

#include "EventLog.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace {
constexpr int PollMs = 100;
constexpr long long FinishMs = 1000;
// A pipe that polls writable takes this much without blocking.
constexpr qsizetype ChunkBytes = 4096;

long long NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

StandardErrorEcho::StandardErrorEcho(int fd) : fd_(fd)
{
    thread_ = std::thread([this] { Run(); });
}

StandardErrorEcho::~StandardErrorEcho()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopDeadlineMs_ = NowMs() + FinishMs;
    }
    wake_.notify_all();
    thread_.join();
}

void StandardErrorEcho::Write(const QByteArray& line)
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return; // the program is ending: nothing more is echoed, and nothing is owed
        if (queue_.size() >= MaxQueuedLines || queuedBytes_ + line.size() > MaxQueuedBytes) {
            ++droppedSinceLast_;
            return;
        }
        queue_.push_back({line, std::exchange(droppedSinceLast_, 0)});
        queuedBytes_ += line.size();
    }
    wake_.notify_one();
}

bool StandardErrorEcho::WriteAll(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        pollfd ready{fd_, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, PollMs);
        if (polled < 0 && errno != EINTR)
            return false;
        if (polled <= 0) {
            std::lock_guard lock(mutex_);
            if (stopping_ && NowMs() >= stopDeadlineMs_)
                return false;
            continue;
        }
        if (ready.revents & (POLLERR | POLLNVAL))
            return false;
        const qsizetype chunk = std::min(ChunkBytes, bytes.size() - done);
        const ssize_t written = ::write(fd_, bytes.constData() + done, static_cast<size_t>(chunk));
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += written;
    }
    return true;
}

void StandardErrorEcho::Run()
{
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty() || droppedSinceLast_ > 0; });
            if (stopping_ && NowMs() >= stopDeadlineMs_)
                return;
            if (!queue_.empty()) {
                entry = std::move(queue_.front());
                queue_.pop_front();
                queuedBytes_ -= entry.line.size();
            } else if (droppedSinceLast_ > 0) {
                // Nothing came after the lines that were dropped: their count is the last word.
                entry.droppedBefore = std::exchange(droppedSinceLast_, 0);
            } else {
                return;
            }
        }
        if (entry.droppedBefore > 0 &&
            !WriteAll("Error: " + QByteArray::number(entry.droppedBefore) +
                      " log line(s) not written here - standard error was not being read\n"))
            break;
        if (!entry.line.isEmpty() && !WriteAll(entry.line))
            break;
    }
    // The reader is gone: what is still queued is dropped, and nothing more is taken.
    bool gone = false;
    {
        std::lock_guard lock(mutex_);
        gone = !stopping_;
        stopping_ = true;
        queue_.clear();
        queuedBytes_ = 0;
    }
    // Said to the log file (its echo here is dropped, so it cannot come round again).
    if (gone)
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Log - standard error was closed - log lines go to the log file only"));
}
