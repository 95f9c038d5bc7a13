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
    WaitForAll();
}

void CaptionJobRunner::Start(ImageFrame& image, std::vector<CCaptionData> captions, QObject* notify)
{
    ReapFinished();
    QMutexLocker lock(&mutex_);
    ++running_;
    Job& job = jobs_.emplace_back();
    job.thread = std::thread([this, &image, &job, notify, captions = std::move(captions)] {
        CaptionRenderer::DrawCaptions(image, captions, clock_);
        {
            QMutexLocker done(&mutex_);
            --running_;
            job.finished = true;
        }
        if (notify)
            QCoreApplication::postEvent(notify, new MessageEvent(doneType_));
    });
}

bool CaptionJobRunner::Busy() const
{
    QMutexLocker lock(&mutex_);
    return running_ > 0;
}

void CaptionJobRunner::ReapFinished()
{
    std::list<Job> done;
    {
        QMutexLocker lock(&mutex_);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            const auto next = std::next(it);
            if (it->finished)
                done.splice(done.end(), jobs_, it);
            it = next;
        }
    }
    for (Job& job : done)
        job.thread.join();
}

void CaptionJobRunner::WaitForAll()
{
    std::list<Job> all;
    {
        QMutexLocker lock(&mutex_);
        all.splice(all.end(), jobs_);
    }
    for (Job& job : all)
        job.thread.join();
}
