#pragma once

#include "CropMouseEditor.h"
#include "Utils/Classes/CFloatWnd.h"
#include "sources/VideoDisplay.h"
#include "sources/VideoSourceEngine.h"

#include <QPointer>

class CVideoView;

// What a video control of the given size shows for crop editing: the live picture's place, the
// still's size, and the crop in force, which is drawn (and so edited) only with the mixer on.
CropMouseEditor::View VideoCropView(const VideoSourceEngine& engine, const QSize& viewSize);

// The camera's live picture in a window of its own, which can be resized: while it is open the
// video source sends its preview here instead of to the page ("Video Detached" there). The
// crop is drawn over the picture and can be dragged as on the page; the right-click menu is the
// page's (the camera's property pages and Attach). Closing the window gives the picture back.
class CSourceVideoDeviceFloatingWindow final : public Utils::Classes::CFloatWnd, public VideoDisplay
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceVideoDeviceFloatingWindow)

public:
    explicit CSourceVideoDeviceFloatingWindow(VideoSourceEngine& engine, QWidget* parent = nullptr);
    ~CSourceVideoDeviceFloatingWindow() override;

    CVideoView* View() const { return view_; }
    CropMouseEditor* CropEditor() const { return cropEditor_; }

    // VideoDisplay
    QObject* VideoWindow() override;
    QSize VideoSize() const override;
    bool VideoSeen() const override;

signals:
    void CropDragged(const QRect& crop);

protected:
    QSize NaturalSize() const override;
    void PaintWindow(QPainter& painter, const QRect& exposed) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A window let go waits for the event loop to be deleted: the engine may be gone by then.
    QPointer<VideoSourceEngine> engine_;
    CVideoView* view_ = nullptr;
    CropMouseEditor* cropEditor_ = nullptr;
};
