#include "CaptionSampleRenderer.h"

#include "CaptionRenderer.h"

#include <QPainter>
#include <QPointer>

CaptionSampleRenderer::CaptionSampleRenderer(const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock)
{
}

CaptionSampleRenderer::~CaptionSampleRenderer() = default;

void CaptionSampleRenderer::Request(const ImageFrame& source, const std::vector<CCaptionData>& captions,
                                    bool force)
{
    Job job{source.IsEmpty() ? QImage() : source.Image(), captions, force};
    if (running_) {
        // A forced request is not lost behind an unforced one that replaces it.
        if (waiting_ && waiting_->force)
            job.force = true;
        waiting_ = std::move(job);
        return;
    }
    Start(std::move(job));
}

void CaptionSampleRenderer::Start(Job job)
{
    running_ = true;
    const std::vector<CCaptionData> last = lastExpanded_;
    const bool compare = !job.force && haveResult_;
    QPointer<CaptionSampleRenderer> self(this);
    const Clock& clock = clock_;
    worker_.Post([self, job = std::move(job), last, compare, &clock]() mutable {
        std::vector<CCaptionData> expanded = job.captions;
        for (CCaptionData& caption : expanded)
            caption.text = CaptionRenderer::ExpandCaptionText(caption.text, clock);
        const bool same = compare && expanded == last;
        QImage image;
        if (!same && !job.source.isNull()) {
            image = job.source.convertToFormat(QImage::Format_RGB32);
            QPainter painter(&image);
            for (const CCaptionData& caption : expanded)
                CaptionRenderer::DrawExpandedCaption(painter, caption, 0, 0);
        }
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, expanded = std::move(expanded), image = std::move(image), same]() mutable {
                if (self)
                    self->Finish(std::move(expanded), std::move(image), !same);
            },
            Qt::QueuedConnection);
    });
}

void CaptionSampleRenderer::Finish(std::vector<CCaptionData> expanded, QImage image, bool drawn)
{
    running_ = false;
    if (drawn) {
        lastExpanded_ = expanded;
        haveResult_ = true;
        emit Rendered(expanded, image);
    }
    if (waiting_) {
        Job next = std::move(*waiting_);
        waiting_.reset();
        Start(std::move(next));
    }
}
