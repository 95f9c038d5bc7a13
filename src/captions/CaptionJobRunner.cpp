#include "CaptionJobRunner.h"

#include "CaptionRenderer.h"
#include "ImageFrame.h"
#include "MessageEvent.h"

#include <QCoreApplication>

CaptionJobRunner::CaptionJobRunner(const Clock& clock, QEvent::Type doneType)
    : clock_(clock), doneType_(doneType)
{
}

CaptionJobRunner::~CaptionJobRunner()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void CaptionJobRunner::Start(ImageFrame& image, std::vector<CCaptionData> captions, QObject* notify)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Job{&image, std::move(captions), notify});
        ++pending_;
        if (!worker_.joinable())
            worker_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

void CaptionJobRunner::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        // Whatever was queued is drawn before the thread ends.
        if (queue_.empty())
            return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        CaptionRenderer::DrawCaptions(*job.image, job.captions, clock_);
        lock.lock();
        --pending_;
        idle_.notify_all();
        // Posted after the count drops, so that the receiver finds the runner idle.
        if (job.notify)
            QCoreApplication::postEvent(job.notify, new MessageEvent(doneType_));
    }
}

bool CaptionJobRunner::Busy() const
{
    std::lock_guard lock(mutex_);
    return pending_ > 0;
}

void CaptionJobRunner::WaitForAll()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_ == 0; });
}
