#include "DelayedImageSaver.h"

#include "ImageEncoder.h"
#include "MessageEvent.h"

#include <QCoreApplication>

#include <system_error>

DelayedImageSaver::DelayedImageSaver(QEvent::Type notifyType) : notifyType_(notifyType) {}

DelayedImageSaver::~DelayedImageSaver()
{
    Shutdown();
}

bool DelayedImageSaver::SaveImageFileLater(const ImageFrame& frame, const QString& path, int delayMs,
                                           QObject* notify)
{
    ReapFinished();
    std::lock_guard lock(mutex_);
    queue_.push_back(Job{frame.SharedCopy(), path,
                         std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, delayMs)),
                         notify});
    ++pending_;
    // Each waiting image needs a thread: a parked one if there is one, else a new one.
    if (idle_ >= static_cast<int>(queue_.size())) {
        jobReady_.notify_one();
        return true;
    }
    Worker& worker = workers_.emplace_back();
    try {
        worker.thread = std::thread([this, &worker] { Run(worker); });
    } catch (const std::system_error&) {
        workers_.pop_back();
        queue_.pop_back();
        --pending_;
        return false;
    }
    return true;
}

void DelayedImageSaver::Save(Job& job, std::unique_lock<std::mutex>& lock)
{
    stop_.wait_until(lock, job.due, [this] { return stopping_; });
    lock.unlock();
    const ResultCode result = SaveImageFile(job.frame, job.path);
    job.frame.Empty();
    if (job.notify)
        QCoreApplication::postEvent(job.notify, new MessageEvent(notifyType_, result, Result::ToErrno(result)));
    lock.lock();
    --pending_;
}

void DelayedImageSaver::Run(Worker& worker)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!queue_.empty()) {
            Job job = std::move(queue_.front());
            queue_.pop_front();
            Save(job, lock);
            continue;
        }
        if (stopping_)
            break;
        ++idle_;
        const bool woken = jobReady_.wait_for(lock, IdleLinger, [this] { return stopping_ || !queue_.empty(); });
        --idle_;
        if (!woken)
            break; // nothing to do for a long while: the thread ends, a later image starts another
    }
    worker.finished = true;
}

void DelayedImageSaver::ReapFinished()
{
    std::list<Worker> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = workers_.begin(); it != workers_.end();) {
            auto next = std::next(it);
            if (it->finished)
                done.splice(done.end(), workers_, it);
            it = next;
        }
    }
    for (Worker& worker : done)
        worker.thread.join();
}

void DelayedImageSaver::Shutdown()
{
    std::list<Worker> all;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        all.splice(all.end(), workers_);
    }
    jobReady_.notify_all();
    stop_.notify_all();
    for (Worker& worker : all)
        worker.thread.join();
    std::lock_guard lock(mutex_);
    stopping_ = false;
}

int DelayedImageSaver::PendingCount() const
{
    std::lock_guard lock(mutex_);
    return pending_;
}

int DelayedImageSaver::ThreadCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(workers_.size());
}
