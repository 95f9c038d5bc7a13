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
    // Only a crop that is drawn can be dragged: not without the mixer, not while a stream
    // property page blacks the picture out, not while the camera is going.
    crop.enabled =
        crop.enabled && engine.Host().Settings().videoDeviceEnableVmrMixer && engine.OverlayShown();
    return {QRect(fit.left, fit.top, fit.Width(), fit.Height()), QSize(still.Width(), still.Height()), crop};
}

CSourceVideoDeviceFloatingWindow::CSourceVideoDeviceFloatingWindow(VideoSourceEngine& engine, QWidget* parent)
    : CFloatWnd(parent), engine_(&engine)
{
    view_ = new CVideoView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(view_, &CVideoView::Resized, &engine, &VideoSourceEngine::DisplayResized);
    cropEditor_ = new CropMouseEditor(
        view_, [this] { return engine_ ? VideoCropView(*engine_, view_->size()) : CropMouseEditor::View{}; });
    connect(cropEditor_, &CropMouseEditor::CropDragged, this, &CSourceVideoDeviceFloatingWindow::CropDragged);
}

CSourceVideoDeviceFloatingWindow::~CSourceVideoDeviceFloatingWindow()
{
    // The live picture goes back to the page before the control it is sent to goes.
    if (engine_)
        engine_->DetachDisplay(this);
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
    return engine_ ? QSize(engine_->LastStill().Width(), engine_->LastStill().Height()) : QSize();
}

void CSourceVideoDeviceFloatingWindow::PaintWindow(QPainter& painter, const QRect& exposed)
{
    // The video control covers the whole window.
    painter.fillRect(exposed, Qt::black);
}

void CSourceVideoDeviceFloatingWindow::showEvent(QShowEvent* event)
{
    CFloatWnd::showEvent(event);
    if (engine_)
        engine_->DisplayVisibilityChanged();
}

void CSourceVideoDeviceFloatingWindow::hideEvent(QHideEvent* event)
{
    CFloatWnd::hideEvent(event);
    if (engine_)
        engine_->DisplayVisibilityChanged();
}

void CSourceVideoDeviceFloatingWindow::changeEvent(QEvent* event)
{
    CFloatWnd::changeEvent(event);
    // Minimised, nobody sees the picture: the preview stops until the window is restored.
    if (event->type() == QEvent::WindowStateChange && engine_)
        engine_->DisplayVisibilityChanged();
}
