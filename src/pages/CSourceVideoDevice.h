#pragma once

#include "ImageFrame.h"
#include "sources/VideoDisplay.h"

#include <QBasicTimer>
#include <QIcon>
#include <QWidget>

class CSourceVideoDeviceFloatingWindow;
class CVideoView;
class CropMouseEditor;
class NetworkCameraDialog;
class QPushButton;
class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class VideoPropertyPages;
class VideoSourceEngine;

namespace Utils::Classes {
class FloatWndHolder;
class PictureDragOut;
} // namespace Utils::Classes
namespace Utils::Controls {
class CStaticColour;
}

// The sub-page shown for "Capture from Video Device": the capture devices with the checked
// one, the live picture with the crop drawn over it, the stream's size and rate, and the
// camera's property pages on a right-click. The video source does the work; checking a device
// connects it at once.
class CSourceVideoDevice final : public QWidget, public VideoDisplay
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceVideoDevice)

public:
    CSourceVideoDevice(VideoSourceEngine& engine, QWidget* parent = nullptr);
    ~CSourceVideoDevice() override;

    // Shows the engine's state again: the message, the picture with the live crop.
    void RefreshVideoDisplay();

    VideoSourceEngine& Engine() const { return engine_; }
    QListWidget* DeviceList() const { return list_; }
    QLabel* SizeLabel() const { return sizeLabel_; }
    QLabel* RateLabel() const { return rateLabel_; }
    QString MessageText() const;
    CVideoView* VideoView() const { return view_; }
    VideoPropertyPages* PropertyPages() const { return pages_; }
    Utils::Classes::PictureDragOut* DragOut() const { return dragOut_; }
    // The live picture in a window of its own, while it is detached.
    CSourceVideoDeviceFloatingWindow* FloatingWindow() const;
    void DetachTo(const QPoint& topLeft);
    void SetFloatingIcon(const QIcon& icon) { floatingIcon_ = icon; }
    CropMouseEditor* CropEditor() const { return cropEditor_; }
    QAction* AttachAction() const { return attachAction_; }
    QPushButton* AddCameraButton() const { return addCameraButton_; }
    // "Add network camera...": the dialog, open (it goes when closed).
    NetworkCameraDialog* OpenAddNetworkCamera();

    // VideoDisplay
    QObject* VideoWindow() override;
    QSize VideoSize() const override;
    bool VideoSeen() const override;

signals:
    // The user checked a device or chose a format: the main window's Apply becomes enabled.
    void Changed();
    // The user dragged the crop on the picture (image pixels).
    void CropDragged(const QRect& crop);

protected:
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnItemChanged(QListWidgetItem* item);
    void ShowDevices();
    void ShowStreamInfo();
    void OnConnectionEnded();
    void ShowMenu(const QPoint& at, QAction* trailing);
    // A network camera's item offers to remove it.
    void ShowDeviceMenu(const QPoint& at);
    void ShowStill();

    VideoSourceEngine& engine_;
    QListWidget* list_ = nullptr;
    CVideoView* view_ = nullptr;
    Utils::Controls::CStaticColour* messageArea_ = nullptr;
    QLabel* sizeLabel_ = nullptr;
    QLabel* rateLabel_ = nullptr;
    VideoPropertyPages* pages_ = nullptr;
    Utils::Classes::PictureDragOut* dragOut_ = nullptr;
    Utils::Classes::FloatWndHolder* floating_ = nullptr;
    CropMouseEditor* cropEditor_ = nullptr;
    QAction* attachAction_ = nullptr;
    QPushButton* addCameraButton_ = nullptr;
    QIcon floatingIcon_;
    QBasicTimer stillTimer_;
    static constexpr int StillRefreshMs = 40;
};
