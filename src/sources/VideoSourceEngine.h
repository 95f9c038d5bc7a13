#pragma once

#include "ImageFrame.h"
#include "NetworkCamera.h"
#include "Utils/Classes/CaptureFormat.h"
#include "Utils/Classes/CaptureTypes.h"
#include "VideoDeviceList.h"

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class CCCTV;
class MessageEvent;
class SourceHost;
class VideoDisplay;

// The video-device source: it lists the capture devices, connects the checked one through a
// capture thread (CCCTV), asks for a still when the source engine wants an image, and copes
// with devices coming, going and failing. It runs the same with no page at all; a page that
// shows the live picture attaches itself as the VideoDisplay and follows the signals.
class VideoSourceEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoSourceEngine)

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
    // After a connection failed or was lost: the first wait before connecting again, doubled at
    // each failure up to the longest. A connection that stood this long starts over at the first.
    static constexpr int FirstReconnectMs = 2000;
    static constexpr int LongestReconnectMs = 60000;
    static constexpr int SteadyConnectionMs = 60000;

    explicit VideoSourceEngine(SourceHost& host, QObject* parent = nullptr);
    ~VideoSourceEngine() override;

    // At exit: stops the capture thread within the limit. False when it is still stuck (in a
    // driver, say); it is then left to the end of the process.
    bool FinishForExit(int timeoutMs);

    // The stored device: checked when present. What Apply stores: the device in use, or the
    // stored one while it is absent (so a camera unplugged at the moment is not forgotten);
    // empty only once the user unchecked it.
    void SetSelectedDevice(const QString& deviceId);
    QString SelectedDevice() const;
    // Another device to use from now on: checked as stored, and a connection to a different
    // one ends so that it can connect.
    void SelectDevice(const QString& deviceId);
    // The stream format chosen for a device through "Stream Properties..." (empty: its
    // default). A format belongs to its device: another device connects in its own default.
    void SetStoredFormat(const QString& deviceId, const CaptureFormat& format);
    CaptureFormat SelectedFormat() const;

    // The network cameras listed beside the local devices, and how long each may take to
    // answer. A camera removed while in use is disconnected.
    void SetNetworkCameras(const QList<NetworkCamera>& cameras, int timeoutMs);
    const QList<NetworkCamera>& NetworkCameras() const { return networkCameras_; }
    // The user adds a camera (empty answer) or is told why it cannot be added; removes one.
    // Both are choices that Apply stores.
    QString AddNetworkCamera(const NetworkCamera& camera);
    void RemoveNetworkCamera(const QString& path);

    // The devices found at the last look and the network cameras, and the path of the checked
    // one (empty: none).
    const QList<VideoDeviceInfo>& Devices() const { return devices_; }
    QString CheckedDevice() const { return checked_; }
    // The user checks or unchecks a device: at most one is checked; checking connects it at
    // once (when the connection in use has ended), unchecking the one in use disconnects.
    void CheckDevice(const QString& path, bool checked);

    // Connects the checked device unless a capture thread exists or none is checked.
    void ConnectDevice();
    // Removes the check mark, which disconnects.
    void ClearDeviceSelection();
    // Sends the crop overlay again and tells the page and the owner that the state changed.
    void RefreshVideoDisplay();
    // Lists the devices again; nothing is checked.
    void EnumerateDevices();
    // After devices came or went: lists them again, with the check mark where it was while a
    // connection is in use or ending.
    void RelistDevices();

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
    // The waits before connecting again (tests shorten them).
    void SetReconnectDelays(int firstMs, int longestMs);
    // The device being connected again after a loss (empty: none), and the wait before the
    // next attempt.
    QString ReconnectingDevice() const { return reconnectPath_; }
    int NextReconnectDelay() const;

    // What a page shows over the video control while there is no live picture (empty: none).
    QString MessageText() const { return messageText_; }
    // The stream's native size ("640 x 480") and frame rate ("15.00 fps"); empty when unknown.
    QString StreamSizeText() const { return streamSize_; }
    QString StreamRateText() const { return streamRate_; }
    const ImageFrame& LastStill() const { return lastStill_; }
    bool CaptureRunning() const { return capture_ != nullptr; }
    // The settings and the live crop the picture is drawn with.
    const SourceHost& Host() const { return host_; }
    bool PropertiesOpen() const { return propertiesOpen_; }
    // The still and the crop are drawn over the live picture of an attached display.
    bool OverlayShown() const;
    // A right-click may ask for the property pages.
    bool PropertiesAvailable() const;
    // A command of the property pages for the capture thread; dropped without one.
    void PostCommand(std::int64_t command, std::int64_t argument, std::unique_ptr<MessagePayload> payload);

    // The page showing the live picture; one at a time. It detaches before it goes.
    void AttachDisplay(VideoDisplay* display);
    void DetachDisplay(VideoDisplay* display);
    // A window of its own takes the live picture from the page's display (the video is
    // detached: "Video Detached" on the page), or, with none, gives it back. Closing the window
    // detaches it like any display, which gives the picture back too.
    void SetFloatingDisplay(VideoDisplay* window);
    VideoDisplay* FloatingDisplay() const { return floating_; }
    // Connected, with the live picture on the page or in its own window.
    bool Live() const { return state_ == ConnectionState::Connected || state_ == ConnectionState::Streaming; }
    // The display's video control changed its size, or was shown or hidden.
    void DisplayResized();
    void DisplayVisibilityChanged();

signals:
    // The list of devices or its check mark changed.
    void DevicesChanged();
    // The message, the still or the state changed: a page shows them again.
    void DisplayChanged();
    void StreamInfoChanged();
    // A choice that Apply stores changed before Apply: a device checked or a format chosen.
    void Edited();
    // What a right-click's menu can offer, and the format list to open while the stream stands.
    void PropertyPagesOffered(const CapturePages& pages);
    void StreamPropertiesOpening(const CapturePages& pages);
    // The connection is ending or has ended: menus and property dialogs close.
    void ConnectionEnding();
    void ConnectionEnded();

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void OnCaptureMessage(MessageEvent& message);
    void OnConnected(const CaptureReport* report);
    void OnStopped(const CaptureReport* report);
    void OnThreadEnded();
    // The connection in use failed or was lost: the device is connected again later, unless
    // the user lets it go meanwhile.
    void KeepForReconnect(const QString& why);
    void ScheduleReconnect();
    void Reconnect();
    void CancelReconnect();
    // The local devices and the network cameras, as one list.
    void ListDevices();
    void Disconnect();
    // The live picture to the display in force: where the frames go, its size and visibility.
    void UseDisplay();
    ConnectionState LiveState() const
    {
        return floating_ ? ConnectionState::Streaming : ConnectionState::Connected;
    }
    void SelectStoredDevice();
    void SetChecked(const QString& path);
    QString DeviceName(const QString& path) const;
    bool Listed(const QString& path) const;
    void SendVideoVisibility();
    QRect VideoRect() const;
    void SendOverlay();
    void OnOverlaySet(std::uint64_t cookie);
    QObject* PreviewReceiver();

    SourceHost& host_;
    std::unique_ptr<VideoDeviceList> monitor_;
    std::unique_ptr<CCCTV> capture_;
    // Where the live picture goes: the floating window while there is one, else the page.
    VideoDisplay* display_ = nullptr;
    VideoDisplay* page_ = nullptr;
    VideoDisplay* floating_ = nullptr;
    QList<VideoDeviceInfo> localDevices_;
    QList<VideoDeviceInfo> devices_;
    QList<NetworkCamera> networkCameras_;
    int networkTimeoutMs_ = 10000;
    QString reconnectPath_;
    QString reconnectWhy_; // what ended the connection, for the status text
    int reconnectFailures_ = 0;
    int firstReconnectMs_ = FirstReconnectMs;
    int longestReconnectMs_ = LongestReconnectMs;
    QElapsedTimer connectedSince_;
    QBasicTimer reconnectTimer_;
    QString checked_;
    ConnectionState state_ = ConnectionState::Disconnected;
    QString storedDevice_;
    CaptureFormat format_;
    QString formatDevice_; // the device format_ belongs to
    QString devicePath_;
    QString friendlyName_;
    QString statusText_;
    QString messageText_;
    QString streamSize_;
    QString streamRate_;
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
    bool exiting_ = false;
    // The stored device was not there when the source wanted it: the device monitor bringing
    // it connects it.
    bool awaitingStored_ = false;
    int interframeDelayMs_ = 0;
    int watchdogMs_ = 0;
    int stillTimeoutMs_ = StillTimeoutMs;
    int deviceSettleMs_ = DeviceSettleMs;
    QBasicTimer stillTimer_;
    QBasicTimer streamTimer_;
    QBasicTimer settleTimer_;
};
