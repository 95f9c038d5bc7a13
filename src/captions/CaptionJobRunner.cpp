#include "CaptionJobRunner.h"

#include "CaptionRenderer.h"
#include "ImageFrame.h"
#include "MessageEvent.h"

#include <QCoreApplication>

CaptionJobRunner::CaptionJobRunner(const Clock& clock, QEvent::Type doneType)
    : clock_(clock), doneType_(doneType)
{
}

CaptionJobRunner::~CaptionJobRunner() = default;

void CaptionJobRunner::Start(ImageFrame& image, std::vector<CCaptionData> captions, QObject* notify)
{
    ++pending_;
    worker_.Post([this, &image, notify, captions = std::move(captions)] {
        CaptionRenderer::DrawCaptions(image, captions, clock_);
        // The count drops before the message goes, so that the receiver finds the runner idle.
        --pending_;
        if (notify)
            QCoreApplication::postEvent(notify, new MessageEvent(doneType_));
    });
}

bool CaptionJobRunner::Busy() const
{
    return pending_.load() > 0;
}

void CaptionJobRunner::WaitForAll()
{
    worker_.WaitIdle();
}
