#include "CSourceVideoDeviceFloatingWindow.h"

#include "CVideoView.h"
#include "ImageOperations.h"
#include "sources/SourceHost.h"
#include "sources/VideoSourceEngine.h"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

CropMouseEditor::View VideoCropView(const VideoSourceEngine& engine, const QSize& viewSize)
{
    const ImageFrame& still = engine.LastStill();
    const PixelRect fit = FitImageToWindow(still, PixelRect{0, 0, viewSize.width(), viewSize.height()});
    CropSettings crop = engine.Host().LiveCrop();
    crop.enabled = crop.enabled && engine.Host().Settings().videoDeviceEnableVmrMixer;
    return {QRect(fit.left, fit.top, fit.Width(), fit.Height()), QSize(still.Width(), still.Height()), crop};
}

CSourceVideoDeviceFloatingWindow::CSourceVideoDeviceFloatingWindow(VideoSourceEngine& engine, QWidget* parent)
    : CFloatWnd(parent), engine_(engine)
{
    view_ = new CVideoView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(view_, &CVideoView::Resized, &engine_, &VideoSourceEngine::DisplayResized);
    cropEditor_ = new CropMouseEditor(view_, [this] { return VideoCropView(engine_, view_->size()); });
    connect(cropEditor_, &CropMouseEditor::CropDragged, this, &CSourceVideoDeviceFloatingWindow::CropDragged);
}

CSourceVideoDeviceFloatingWindow::~CSourceVideoDeviceFloatingWindow()
{
    // The live picture goes back to the page before the control it is sent to goes.
    engine_.DetachDisplay(this);
}

QObject* CSourceVideoDeviceFloatingWindow::VideoWindow()
{
    return view_;
}

QSize CSourceVideoDeviceFloatingWindow::VideoSize() const
{
    return view_->size();
}

bool CSourceVideoDeviceFloatingWindow::VideoSeen() const
{
    return isVisible() && !isMinimized();
}

QSize CSourceVideoDeviceFloatingWindow::NaturalSize() const
{
    return QSize(engine_.LastStill().Width(), engine_.LastStill().Height());
}

void CSourceVideoDeviceFloatingWindow::PaintWindow(QPainter& painter, const QRect& exposed)
{
    // The video control covers the whole window.
    painter.fillRect(exposed, Qt::black);
}

void CSourceVideoDeviceFloatingWindow::showEvent(QShowEvent* event)
{
    CFloatWnd::showEvent(event);
    engine_.DisplayVisibilityChanged();
}

void CSourceVideoDeviceFloatingWindow::hideEvent(QHideEvent* event)
{
    CFloatWnd::hideEvent(event);
    engine_.DisplayVisibilityChanged();
}

void CSourceVideoDeviceFloatingWindow::changeEvent(QEvent* event)
{
    CFloatWnd::changeEvent(event);
    // Minimised, nobody sees the picture: the preview stops until the window is restored.
    if (event->type() == QEvent::WindowStateChange)
        engine_.DisplayVisibilityChanged();
}
