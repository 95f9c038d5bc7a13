#pragma once

#include "ImageFrame.h"
#include "Utils/Classes/CaptureFormat.h"

#include <QBasicTimer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>

class CCCTV;
class CVideoView;
class MessageEvent;
class QLabel;
class QListWidget;
class QListWidgetItem;
class SourceHost;
class VideoDeviceList;
class VideoPropertyPages;

namespace Utils::Controls {
class CStaticColour;
}

// The video-device source: the sub-page shown for "Capture from Video Device". It lists the
// capture devices, connects the checked one through a capture thread (CCCTV), shows the live
// picture with the crop drawn over it, asks for a still when the Source page wants an image,
// and copes with devices coming, going and failing.
class CSourceVideoDevice final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceVideoDevice)

public:
    enum class ConnectionState
    {
        NotStarted,
        Disconnected,
        Disconnecting,
        Connecting,
        Connected,
        Streaming // connected, the video detached into a window of its own
    };

    static constexpr int StillTimeoutMs = 3000;
    static constexpr int StreamPollMs = 1000;
    static constexpr int DeviceSettleMs = 3000;

    CSourceVideoDevice(SourceHost& host, QWidget* parent = nullptr);
    ~CSourceVideoDevice() override;

    // At exit: stops the capture thread within the limit. False when it is still stuck (in a
    // driver, say); it is then left to the end of the process.
    bool FinishForExit(int timeoutMs);

    // The stored device: checked in the list when present. What Apply stores: the device in
    // use, or the stored one while it is absent (so a camera unplugged at the moment is not
    // forgotten); empty only once the user unchecked it.
    void SetSelectedDevice(const QString& deviceId);
    QString SelectedDevice() const;
    // The stream format chosen for a device through "Stream Properties..." (empty: its
    // default). A format belongs to its device: another device connects in its own default.
    void SetStoredFormat(const QString& deviceId, const CaptureFormat& format);
    CaptureFormat SelectedFormat() const;

    // Connects the checked device unless a capture thread exists or none is checked.
    void ConnectDevice();
    // Removes every check mark, which disconnects.
    void ClearDeviceSelection();
    void RefreshVideoDisplay();
    // Lists the devices again and re-checks the stored one.
    void EnumerateDevices();

    QString OwnStatusText() const { return statusText_; }
    ConnectionState State() const { return state_; }
    QString FriendlyName() const { return friendlyName_; }

    // Asks the capture thread for a still. Every request is answered within the still timeout,
    // with the still or, failing that, an empty answer; a request made while a still is
    // awaited shares that answer, and one made while connecting is answered by the
    // connection's first still. False when there is no capture thread.
    bool RequestStill();
    // How long a still may take (tests shorten it).
    void SetStillTimeout(int ms) { stillTimeoutMs_ = ms; }
    // How long the capture thread rests between frames with Low CPU on (0: no rest).
    void SetInterframeDelay(int delayMs);
    int InterframeDelay() const { return interframeDelayMs_; }
    // The watchdog's limit for the next connections (tests shorten it).
    void SetWatchdogLimit(int limitMs) { watchdogMs_ = limitMs; }
    // How long a burst of device changes must be quiet before the list is made again.
    void SetDeviceSettleTime(int ms) { deviceSettleMs_ = ms; }

    QListWidget* DeviceList() const { return list_; }
    QLabel* SizeLabel() const { return sizeLabel_; }
    QLabel* RateLabel() const { return rateLabel_; }
    QString MessageText() const;
    CVideoView* VideoView() const { return view_; }
    const ImageFrame& LastStill() const { return lastStill_; }
    bool CaptureRunning() const { return capture_ != nullptr; }
    VideoPropertyPages* PropertyPages() const { return pages_; }

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnItemChanged(QListWidgetItem* item);
    void OnCaptureMessage(MessageEvent& message);
    void OnThreadEnded();
    void OnVideoResized();
    void Disconnect();
    void SelectStoredDevice();
    QListWidgetItem* CheckedItem() const;
    void SendVideoVisibility();
    QRect VideoRect() const;
    bool OverlayShown() const;
    void SendOverlay();
    void OnOverlaySet(std::uint64_t cookie);

    SourceHost& host_;
    std::unique_ptr<VideoDeviceList> devices_;
    std::unique_ptr<CCCTV> capture_;
    ConnectionState state_ = ConnectionState::Disconnected;
    QString storedDevice_;
    CaptureFormat format_;
    QString formatDevice_; // the device format_ belongs to
    QString devicePath_;
    QString friendlyName_;
    QString statusText_;
    ImageFrame lastStill_;
    bool stillPending_ = false;
    // One overlay in flight: the next goes when the capture thread has confirmed it.
    bool overlayPending_ = false;
    bool overlayWanted_ = false; // a newer overlay waits for the confirmation
    std::uint64_t overlayCookie_ = 0;
    bool suppress_ = false;
    bool propertiesOpen_ = false;
    bool enumerated_ = false;
    bool connectWanted_ = false;
    int interframeDelayMs_ = 0;
    int watchdogMs_ = 0;
    int stillTimeoutMs_ = StillTimeoutMs;
    int deviceSettleMs_ = DeviceSettleMs;
    QListWidget* list_ = nullptr;
    CVideoView* view_ = nullptr;
    Utils::Controls::CStaticColour* messageArea_ = nullptr;
    QLabel* sizeLabel_ = nullptr;
    QLabel* rateLabel_ = nullptr;
    VideoPropertyPages* pages_ = nullptr;
    QBasicTimer stillTimer_;
    QBasicTimer streamTimer_;
    QBasicTimer settleTimer_;
};
