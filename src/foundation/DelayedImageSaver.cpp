#include "DelayedImageSaver.h"

#include "ImageEncoder.h"
#include "ImageOperations.h"
#include "MessageEvent.h"

#include <QCoreApplication>

#include <chrono>
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
    Job& job = jobs_.emplace_back();
    if (!CopyImage(frame, job.frame) || (job.frame.IsEmpty() != frame.IsEmpty())) {
        jobs_.pop_back();
        return false;
    }
    job.path = path;
    job.delayMs = std::max(0, delayMs);
    job.notify = notify;
    try {
        job.thread = std::thread([this, &job] { Run(job); });
    } catch (const std::system_error&) {
        jobs_.pop_back();
        return false;
    }
    return true;
}

void DelayedImageSaver::Run(Job& job)
{
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(job.delayMs), [this] { return stopping_; });
    }
    const ResultCode result = SaveImageFile(job.frame, job.path);
    job.frame.Empty();
    if (job.notify) {
        QCoreApplication::postEvent(job.notify,
                                    new MessageEvent(notifyType_, result, Result::ToErrno(result)));
    }
    std::lock_guard lock(mutex_);
    job.finished = true;
}

void DelayedImageSaver::ReapFinished()
{
    std::list<Job> done;
    {
        std::lock_guard lock(mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            auto next = std::next(it);
            if (it->finished)
                done.splice(done.end(), jobs_, it);
            it = next;
        }
    }
    for (Job& job : done)
        job.thread.join();
}

void DelayedImageSaver::Shutdown()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    std::list<Job> all;
    {
        std::lock_guard lock(mutex_);
        all.splice(all.end(), jobs_);
    }
    for (Job& job : all)
        job.thread.join();
    std::lock_guard lock(mutex_);
    stopping_ = false;
}

int DelayedImageSaver::PendingCount() const
{
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const Job& job : jobs_)
        count += job.finished ? 0 : 1;
    return count;
}
