#pragma once

#include "captions/CCaptionData.h"

#include <QBasicTimer>
#include <QImage>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

class CaptionEngine;
class CaptionSampleRenderer;
class Clock;

// The caption editor's sample: a window onto the newest source image with every edited
// caption drawn at full scale, gliding so that the selected caption is in view. The view can be
// dragged with the mouse; beyond the image a hatch is drawn, with the captions' parts that lie
// outside still over it. Once a second the texts are expanded again (clock and file tokens) and
// the sample is drawn anew when they changed. Expanding and drawing happen on a worker thread.
class CCaptionSampleView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCaptionSampleView)

public:
    static constexpr int AnimationMs = 10;
    static constexpr int CheckMs = 1000;

    // `monotonicMs` is the glide's clock (tests step it).
    CCaptionSampleView(const Clock& clock, CaptionEngine& engine, std::function<std::int64_t()> monotonicMs,
                       QWidget* parent = nullptr);
    ~CCaptionSampleView() override;

    // The edited captions and the one selected (-1: none). With `render` the sample is drawn
    // anew; the view then heads for the selected caption.
    void RefreshSample(const std::vector<CCaptionData>& captions, int selected, bool render);
    void ResetDragOffset() { dragOffset_ = QPoint(); }
    // Whether a held mouse button over a spin arrow keeps the view still.
    void SetHoldCheck(std::function<bool()> holding) { holding_ = std::move(holding); }

    QPoint ViewPosition() const { return viewPos_; }
    QPoint ViewTarget() const { return viewTarget_; }
    QPoint DragOffset() const { return dragOffset_; }
    bool Animating() const { return animationTimer_.isActive(); }
    const QImage& SampleImage() const { return sampleImage_; }
    const std::vector<CCaptionData>& SampleCaptions() const { return sampleCaptions_; }
    // The colour of the hatch's lines now: light behind a dark caption that reaches out of the
    // image, dark otherwise.
    QColor HatchForeground() const;
    // One step of the glide (the 10 ms tick), for tests that step the clock.
    void Tick();

signals:
    // A new sample was drawn (tests wait for it).
    void SampleRendered();

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnRendered(const std::vector<CCaptionData>& expanded, const QImage& image);
    void ComputeTarget();
    void StartMovement();
    void UpdatePosition();
    void Check();

    const Clock& clock_;
    CaptionEngine& engine_;
    std::function<std::int64_t()> monotonicMs_;
    std::function<bool()> holding_;
    CaptionSampleRenderer* renderer_ = nullptr;
    std::vector<CCaptionData> edited_;
    int selected_ = -1;
    std::vector<CCaptionData> sampleCaptions_;
    QImage sampleImage_;
    QPoint viewPos_, viewTarget_, animStart_;
    std::int64_t animStartMs_ = 0, animEndMs_ = 0;
    QPoint dragOffset_;
    QPoint dragAnchor_;
    bool dragging_ = false;
    QBasicTimer animationTimer_;
    QBasicTimer checkTimer_;
};
