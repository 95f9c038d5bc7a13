#include "CCaptionSampleView.h"

#include "ColourText.h"
#include "HatchStyles.h"
#include "captions/CaptionEngine.h"
#include "captions/CaptionRenderer.h"
#include "captions/CaptionSampleMotion.h"
#include "captions/CaptionSampleRenderer.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <cstdlib>

CCaptionSampleView::CCaptionSampleView(const Clock& clock, CaptionEngine& engine,
                                       std::function<std::int64_t()> monotonicMs, QWidget* parent)
    : QWidget(parent), clock_(clock), engine_(engine), monotonicMs_(std::move(monotonicMs))
{
    setObjectName(QStringLiteral("CaptionSample"));
    setCursor(Qt::SizeAllCursor);
    setMinimumSize(120, 60);
    renderer_ = new CaptionSampleRenderer(clock, this);
    connect(renderer_, &CaptionSampleRenderer::Rendered, this, &CCaptionSampleView::OnRendered);
    // A new source image: the sample shows it at once.
    connect(&engine_, &CaptionEngine::SampleUpdated, this,
            [this] { renderer_->Request(engine_.LastSourceImage(), edited_, true); });
}

CCaptionSampleView::~CCaptionSampleView() = default;

void CCaptionSampleView::RefreshSample(const std::vector<CCaptionData>& captions, int selected, bool render)
{
    edited_ = captions;
    selected_ = selected >= 0 && selected < static_cast<int>(captions.size()) ? selected : -1;
    if (render)
        renderer_->Request(engine_.LastSourceImage(), edited_, true);
    ComputeTarget();
    StartMovement();
}

void CCaptionSampleView::ComputeTarget()
{
    if (selected_ >= 0) {
        const CCaptionData& caption = edited_[selected_];
        // The line's height from the text as typed, in its own face (none: 0 high).
        const int lineHeight =
            CaptionRenderer::MeasureCaptionText(caption.text, caption.fontName, caption.fontSize,
                                                caption.fontWeight > 400, caption.fontItalic, 0, 0, 0)
                .height();
        viewTarget_ = CaptionSampleMotion::ViewTarget(QPoint(caption.positionX, caption.positionY),
                                                      caption.justify, size(), lineHeight);
    }
    StartMovement();
}

void CCaptionSampleView::StartMovement()
{
    animStart_ = viewPos_;
    animStartMs_ = monotonicMs_();
    const int distance =
        std::max(std::abs(viewTarget_.x() - animStart_.x()), std::abs(viewTarget_.y() - animStart_.y()));
    animEndMs_ = animStartMs_ + CaptionSampleMotion::DurationMs(distance);
    animationTimer_.start(AnimationMs, this);
    update();
}

void CCaptionSampleView::UpdatePosition()
{
    if (!dragOffset_.isNull() || dragging_) {
        const QPoint offset = dragging_ ? QCursor::pos() - dragAnchor_ : dragOffset_;
        viewPos_ = viewTarget_ - offset;
    } else if (!(holding_ && holding_())) {
        // While a spin arrow is held the view stays where it is.
        viewPos_ = CaptionSampleMotion::PositionAt(animStart_, viewTarget_, animEndMs_ - monotonicMs_(),
                                                   animEndMs_ - animStartMs_);
    }
    if (viewPos_ == viewTarget_ || !dragOffset_.isNull())
        animationTimer_.stop();
}

void CCaptionSampleView::Tick()
{
    UpdatePosition();
    update();
}

QColor CCaptionSampleView::HatchForeground() const
{
    const QColor dark(32, 32, 32), light(240, 240, 240);
    if (selected_ < 0 || selected_ >= static_cast<int>(sampleCaptions_.size()))
        return dark;
    const CCaptionData& caption = sampleCaptions_[selected_];
    const ColourValue colour = ColourFromText(caption.textColour);
    if (RedOf(colour) >= 128 || GreenOf(colour) >= 128 || BlueOf(colour) >= 128)
        return dark;
    const QRect box = CaptionRenderer::MeasureCaptionText(
        caption.text, caption.fontName, caption.fontSize, caption.fontWeight > 400, caption.fontItalic,
        caption.justify, caption.positionX, caption.positionY);
    const QRect image(QPoint(0, 0), sampleImage_.size());
    return !box.isNull() && !image.contains(box) ? light : dark;
}

void CCaptionSampleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (selected_ < 0) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    const QRect imageRect(-viewPos_, sampleImage_.size());
    const QRegion border = QRegion(rect()) - QRegion(sampleImage_.isNull() ? QRect() : imageRect);
    if (!border.isEmpty()) {
        painter.save();
        painter.setClipRegion(border);
        // The pattern moves with the image.
        painter.setBrushOrigin(-viewPos_);
        painter.fillRect(rect(), MakeHatchBrush(engine_.SampleBorderHatchStyle(), HatchForeground(),
                                                QColor(128, 128, 128)));
        for (const CCaptionData& caption : sampleCaptions_)
            CaptionRenderer::DrawExpandedCaption(painter, caption, -viewPos_.x(), -viewPos_.y());
        painter.restore();
    }
    if (!sampleImage_.isNull())
        painter.drawImage(imageRect.topLeft(), sampleImage_);
}

void CCaptionSampleView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == animationTimer_.timerId())
        Tick();
    else if (event->timerId() == checkTimer_.timerId())
        Check();
    else
        QWidget::timerEvent(event);
}

void CCaptionSampleView::Check()
{
    // Clock and file tokens: expanded again on the worker, drawn only when they changed.
    if (animationTimer_.isActive() || dragging_ || (holding_ && holding_()) || renderer_->Busy())
        return;
    renderer_->Request(engine_.LastSourceImage(), edited_, false);
}

void CCaptionSampleView::OnRendered(const std::vector<CCaptionData>& expanded, const QImage& image)
{
    sampleCaptions_ = expanded;
    sampleImage_ = image;
    update();
    emit SampleRendered();
}

void CCaptionSampleView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragAnchor_ = event->globalPosition().toPoint() - dragOffset_;
}

void CCaptionSampleView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    viewPos_ = viewTarget_ - (event->globalPosition().toPoint() - dragAnchor_);
    update();
}

void CCaptionSampleView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseReleaseEvent(event);
    dragOffset_ = event->globalPosition().toPoint() - dragAnchor_;
    dragging_ = false;
    viewPos_ = viewTarget_ - dragOffset_;
    animationTimer_.stop();
    update();
}

void CCaptionSampleView::showEvent(QShowEvent* event)
{
    checkTimer_.start(CheckMs, this);
    QWidget::showEvent(event);
}

void CCaptionSampleView::hideEvent(QHideEvent* event)
{
    checkTimer_.stop();
    QWidget::hideEvent(event);
}

void CCaptionSampleView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The target depends on the view's size: a view laid out (or made taller) heads anew.
    ComputeTarget();
    StartMovement();
}
