#include "DelayedFileDeleter.h"

#include "EventLog.h"
#include "LogText.h"
#include "SystemErrorText.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

DelayedFileDeleter::~DelayedFileDeleter()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void DelayedFileDeleter::DeleteLater(const QByteArray& path, int delayMs)
{
    const Moment due = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(delayMs, 0));
    {
        std::lock_guard lock(mutex_);
        // Keep the queue in due order; equal delays simply append.
        auto at =
            std::upper_bound(entries_.begin(), entries_.end(), due,
                             [](const Moment& moment, const Entry& entry) { return moment < entry.due; });
        entries_.insert(at, Entry{path, due});
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_all();
}

int DelayedFileDeleter::Pending() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

void DelayedFileDeleter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (entries_.empty()) {
            if (stopping_)
                return;
            wake_.wait(lock);
            continue;
        }
        if (!stopping_ && std::chrono::steady_clock::now() < entries_.front().due) {
            wake_.wait_until(lock, entries_.front().due);
            continue;
        }
        const QByteArray path = entries_.front().path;
        entries_.pop_front();
        lock.unlock();
        Delete(path);
        lock.lock();
    }
}

void DelayedFileDeleter::Delete(const QByteArray& path)
{
    if (::unlink(path.constData()) == 0 || errno == ENOENT)
        return; // gone already (someone else took it) is what was wanted
    const int error = errno;
    AddLogEntry(LogCategory::Error, QStringLiteral("Failed to delete file ") +
                                        FileNameForDisplay(path.mid(path.lastIndexOf('/') + 1)) +
                                        QStringLiteral(" - ") + SystemErrorText(error));
}
