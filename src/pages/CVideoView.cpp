#include "CVideoView.h"

#include "MessageEvent.h"
#include "Utils/Classes/CaptureTypes.h"
#include "sources/CropThumbnail.h"

#include <QContextMenuEvent>
#include <QPainter>

CVideoView::CVideoView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CVideoView::~CVideoView() = default;

void CVideoView::SetPicture(const ImageFrame& picture)
{
    picture_ = picture.SharedCopy();
    update();
}

void CVideoView::ClearLive()
{
    live_.Empty();
    update();
}

void CVideoView::SetBlackout(bool black)
{
    black_ = black;
    update();
}

bool CVideoView::event(QEvent* event)
{
    if (event->type() != CapturePreviewFrameType())
        return QWidget::event(event);
    auto* message = static_cast<MessageEvent*>(event);
    std::unique_ptr<ImageFrame> frame = message->TakeImage();
    if (!frame || frame->IsEmpty())
        return true;
    if (auto* carried = dynamic_cast<CapturePreviewOverlay*>(message->record.get())) {
        if (carried->overlay && !carried->overlay->frame.IsEmpty())
            CropThumbnail::BlendOverlay(*frame, *frame, carried->overlay->frame,
                                        CropThumbnail::OverlayOpacity, 0, 0);
    }
    live_ = std::move(*frame);
    liveOrigin_ = QPoint(static_cast<int>(message->wParam), static_cast<int>(message->lParam));
    ++liveFrames_;
    update();
    return true;
}

void CVideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (black_)
        return;
    if (!picture_.IsEmpty())
        painter.drawImage(QPoint(0, 0), picture_.Image());
    if (!live_.IsEmpty())
        painter.drawImage(liveOrigin_, live_.Image());
}

void CVideoView::contextMenuEvent(QContextMenuEvent* event)
{
    emit MenuRequested(event->globalPos());
}

void CVideoView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    emit Resized();
}
