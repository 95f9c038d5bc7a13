#include "VideoSourceEngine.h"

#include "CropThumbnail.h"
#include "EventLog.h"
#include "ImageOperations.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "SourceHost.h"
#include "Utils/Classes/CCCTV.h"
#include "Utils/Classes/NetworkSource.h"
#include "VideoDisplay.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>
#include <optional>
#include <utility>

namespace {
QEvent::Type DeviceChangeType()
{
    return RegisterNamedMessage(QStringLiteral("PIXLET_VIDEO_DEVICE_CHANGE"));
}

QEvent::Type CaptureMessageType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::CctvMessage));
}

// The first look at the devices waits for the event loop, so the program's own start-up lines
// come first in the log.
QEvent::Type FirstEnumerationType()
{
    return RegisterNamedMessage(QStringLiteral("PIXLET_VIDEO_DEVICE_FIRST_LIST"));
}

bool SamePath(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

VideoSourceEngine::VideoSourceEngine(SourceHost& host, QObject* parent) : QObject(parent), host_(host)
{
    setObjectName(QStringLiteral("SourceVideoDevice"));
    monitor_ = std::make_unique<VideoDeviceList>(this, DeviceChangeType());
    QCoreApplication::postEvent(this, new QEvent(FirstEnumerationType()));
    RefreshVideoDisplay();
}

VideoSourceEngine::~VideoSourceEngine()
{
    // The capture thread posts to this engine until it has ended.
    capture_.reset();
    QCoreApplication::removePostedEvents(this, CaptureMessageType());
    QCoreApplication::removePostedEvents(this, CapturePreviewFrameType());
}

bool VideoSourceEngine::FinishForExit(int timeoutMs)
{
    // Nothing connects again from now on.
    exiting_ = true;
    awaitingStored_ = false;
    CancelReconnect();
    if (!capture_)
        return true;
    capture_->Post(CaptureCommand::Stop);
    if (!capture_->Wait(std::max(timeoutMs, 0)))
        return false;
    capture_.reset();
    return true;
}

void VideoSourceEngine::EnumerateDevices()
{
    enumerated_ = true;
    checked_.clear();
    localDevices_ = monitor_->Enumerate();
    if (localDevices_.isEmpty())
        AddLogEntry(LogCategory::Information, QStringLiteral("No video capture hardware found"));
    for (const VideoDeviceInfo& device : localDevices_)
        AddLogEntry(LogCategory::Information, device.name + QStringLiteral(" found"));
    ListDevices();
    emit DevicesChanged();
}

void VideoSourceEngine::ListDevices()
{
    devices_ = localDevices_;
    for (const NetworkCamera& camera : networkCameras_)
        devices_.append({camera.name, camera.Path()});
}

void VideoSourceEngine::SetNetworkCameras(const QList<NetworkCamera>& cameras, int timeoutMs)
{
    networkTimeoutMs_ = timeoutMs;
    if (cameras == networkCameras_)
        return;
    const auto find = [](const QList<NetworkCamera>& list, const QString& path) -> const NetworkCamera* {
        for (const NetworkCamera& camera : list) {
            if (camera.Path() == path)
                return &camera;
        }
        return nullptr;
    };
    const NetworkCamera* before = find(networkCameras_, devicePath_);
    const std::optional<NetworkCamera> inUse = before ? std::optional(*before) : std::nullopt;
    networkCameras_ = cameras;
    ListDevices();
    if (!reconnectPath_.isEmpty() && !Listed(reconnectPath_) && NetworkCamera::IsNetworkPath(reconnectPath_))
        CancelReconnect(); // a camera removed is not waited for
    if (!checked_.isEmpty() && !Listed(checked_))
        SetChecked(QString());
    if (NetworkCamera::IsNetworkPath(storedDevice_) && !Listed(storedDevice_))
        storedDevice_.clear(); // removed: Apply stores no device rather than a camera that is gone
    if (capture_ && inUse) {
        const NetworkCamera* after = find(networkCameras_, devicePath_);
        // A camera removed lets its connection go; one given another address connects again.
        if (!after || *after != *inUse)
            Disconnect();
    }
    emit DevicesChanged();
    RefreshVideoDisplay();
}

QString VideoSourceEngine::AddNetworkCamera(const NetworkCamera& camera)
{
    const NetworkCamera added = camera.WithCredentialsApart();
    const QString trouble = added.Trouble(networkCameras_);
    if (!trouble.isEmpty())
        return trouble;
    // Two items of one name could not be told apart in the list or the log.
    for (const VideoDeviceInfo& device : localDevices_) {
        if (device.name.compare(added.name, Qt::CaseInsensitive) == 0)
            return QStringLiteral("Another camera has the name ") + added.name;
    }
    QList<NetworkCamera> cameras = networkCameras_;
    cameras.append(added);
    SetNetworkCameras(cameras, networkTimeoutMs_);
    AddLogEntry(LogCategory::Information, QStringLiteral("Network camera ") + added.name +
                                              QStringLiteral(" added - ") +
                                              NetworkSource::ShownUrl(added.url));
    emit Edited();
    return QString();
}

void VideoSourceEngine::RemoveNetworkCamera(const QString& path)
{
    QList<NetworkCamera> cameras = networkCameras_;
    const auto removed = cameras.removeIf([&](const NetworkCamera& camera) { return camera.Path() == path; });
    if (removed == 0)
        return;
    SetNetworkCameras(cameras, networkTimeoutMs_);
    emit Edited();
}

void VideoSourceEngine::RelistDevices()
{
    AddLogEntry(LogCategory::Information, QStringLiteral("Device change detected"));
    // The stored device is not checked again: one the user unchecked while its connection was
    // still ending would connect once more.
    const QString checked = checked_;
    EnumerateDevices();
    if (capture_ && Listed(checked)) {
        SetChecked(checked);
    } else if (!capture_ && !reconnectPath_.isEmpty() && Listed(reconnectPath_)) {
        // Still the user's choice while it is waited for: Apply must not take it as let go.
        SetChecked(reconnectPath_);
        // A local device that is back needs no more waiting. (A network camera is always
        // listed; the monitor says nothing of it.)
        if (!NetworkCamera::IsNetworkPath(reconnectPath_)) {
            reconnectTimer_.stop();
            ConnectDevice();
        }
    } else if (!capture_ && awaitingStored_ && Listed(storedDevice_)) {
        awaitingStored_ = false;
        SelectStoredDevice();
        ConnectDevice();
    }
    RefreshVideoDisplay();
}

void VideoSourceEngine::SetStoredFormat(const QString& deviceId, const CaptureFormat& format)
{
    formatDevice_ = deviceId;
    format_ = format;
}

CaptureFormat VideoSourceEngine::SelectedFormat() const
{
    return formatDevice_ == SelectedDevice() ? format_ : CaptureFormat();
}

void VideoSourceEngine::SetSelectedDevice(const QString& deviceId)
{
    storedDevice_ = deviceId;
    // A network camera is always listed: one that is not has been removed (or its entry could
    // not be read), and waiting for it would wait for good.
    if (NetworkCamera::IsNetworkPath(deviceId) && !Listed(deviceId)) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("The network camera ") + deviceId.mid(8) +
                        QStringLiteral(" is not among the cameras - no video device chosen"));
        storedDevice_.clear();
    }
    SelectStoredDevice();
}

void VideoSourceEngine::SelectDevice(const QString& deviceId)
{
    if (!reconnectPath_.isEmpty() && !SamePath(reconnectPath_, deviceId))
        CancelReconnect();
    SetSelectedDevice(deviceId);
    if (capture_ && !SamePath(devicePath_, checked_))
        Disconnect(); // the stored one connects when this thread has ended
}

QString VideoSourceEngine::SelectedDevice() const
{
    if (!checked_.isEmpty())
        return checked_;
    if (Listed(storedDevice_))
        return QString(); // present and unchecked: the user let it go
    return storedDevice_;
}

bool VideoSourceEngine::Listed(const QString& path) const
{
    return std::any_of(devices_.begin(), devices_.end(),
                       [&](const VideoDeviceInfo& device) { return SamePath(device.path, path); });
}

QString VideoSourceEngine::DeviceName(const QString& path) const
{
    for (const VideoDeviceInfo& device : devices_) {
        if (device.path == path)
            return device.name;
    }
    return QString();
}

void VideoSourceEngine::SetChecked(const QString& path)
{
    if (checked_ == path)
        return;
    checked_ = path;
    emit DevicesChanged();
}

void VideoSourceEngine::SelectStoredDevice()
{
    QString stored;
    if (!storedDevice_.isEmpty()) {
        for (const VideoDeviceInfo& device : devices_) {
            if (SamePath(device.path, storedDevice_))
                stored = device.path;
        }
    }
    SetChecked(stored);
}

void VideoSourceEngine::CheckDevice(const QString& path, bool checked)
{
    if (!suppress_)
        awaitingStored_ = false; // the user chose
    if (checked) {
        if (checked_ == path || !Listed(path))
            return;
        SetChecked(path); // at most one device is checked
        if (suppress_)
            return;
        CancelReconnect(); // the user chose another
        storedDevice_ = path;
        if (capture_)
            Disconnect(); // the new one connects when the old thread has ended
        else
            ConnectDevice();
    } else {
        if (checked_.isEmpty() || checked_ != path)
            return;
        SetChecked(QString());
        if (suppress_)
            return;
        CancelReconnect(); // the user let it go
        // Gone for good, not only while it is plugged in: unplugged and back, it stays let go.
        if (SamePath(storedDevice_, path))
            storedDevice_.clear();
        if (capture_ && devicePath_ == path)
            Disconnect();
    }
    emit Edited();
}

void VideoSourceEngine::ConnectDevice()
{
    if (!enumerated_) {
        connectWanted_ = true; // once the devices are known
        return;
    }
    if (capture_ || exiting_)
        return;
    if (checked_.isEmpty()) {
        // The stored camera is not plugged in (at start, say): it connects when it comes.
        awaitingStored_ = !storedDevice_.isEmpty() && !Listed(storedDevice_);
        return;
    }
    // A lost device waits out its pause, whoever asks: a quick failure must not turn into a
    // stream of attempts.
    if (reconnectTimer_.isActive() && SamePath(checked_, reconnectPath_))
        return;
    devicePath_ = checked_;
    friendlyName_ = DeviceName(checked_);
    NetworkStream network;
    for (const NetworkCamera& camera : networkCameras_) {
        if (camera.Path() == devicePath_)
            network = {camera.url, camera.user, camera.password, networkTimeoutMs_};
    }
    AddLogEntry(LogCategory::Information,
                QStringLiteral("Connecting to ") + friendlyName_ +
                    (network.IsEmpty() ? QString()
                                       : QStringLiteral(" (") + NetworkSource::ShownUrl(network.url) +
                                             QStringLiteral(")")));
    capture_ = std::make_unique<CCCTV>();
    if (watchdogMs_ > 0)
        capture_->Post(CaptureCommand::SetWatchdog, watchdogMs_);
    auto job = std::make_unique<CaptureConnectJob>();
    job->devicePath = devicePath_;
    job->network = network;
    job->page = this;
    job->videoWindow = PreviewReceiver();
    job->destination = VideoRect();
    job->mixer = host_.Settings().videoDeviceEnableVmrMixer;
    if (formatDevice_ == devicePath_)
        job->format = format_;
    capture_->Post(CaptureCommand::Connect, 0, std::move(job));
    SendVideoVisibility();
    state_ = ConnectionState::Connecting;
    statusText_.clear();
    RefreshVideoDisplay();
}

void VideoSourceEngine::Disconnect()
{
    if (!capture_)
        return;
    emit ConnectionEnding();
    capture_->Post(CaptureCommand::HideVideo);
    capture_->Post(CaptureCommand::Stop);
    state_ = ConnectionState::Disconnecting;
    devicePath_.clear();
    RefreshVideoDisplay();
}

void VideoSourceEngine::ClearDeviceSelection()
{
    connectWanted_ = false;
    awaitingStored_ = false;
    CancelReconnect();
    // Unchecking disconnects, unless suppressed. Another source chosen is not the user letting
    // the device go: the stored one stays for Apply.
    const QString stored = storedDevice_;
    if (!checked_.isEmpty())
        CheckDevice(checked_, false);
    storedDevice_ = stored;
}

bool VideoSourceEngine::RequestStill()
{
    // The limit runs from the first request: restarting it for each would let requests that
    // come more often than the limit put the answer off for good.
    if (!stillPending_) {
        stillPending_ = true;
        stillTimer_.start(stillTimeoutMs_, this);
        // Until connected there is nobody to ask: a connection asks for its first still, and
        // that answers.
        if (capture_ && Live())
            capture_->Post(CaptureCommand::GrabStill);
    }
    return capture_ != nullptr;
}

void VideoSourceEngine::SetInterframeDelay(int delayMs)
{
    interframeDelayMs_ = delayMs;
    if (capture_ && Live())
        capture_->Post(CaptureCommand::SetInterframeDelay, delayMs);
}

QObject* VideoSourceEngine::PreviewReceiver()
{
    // The preview comes here and is handed on to the display: a page that goes while frames
    // are on their way is never posted to.
    return display_ ? this : nullptr;
}

QRect VideoSourceEngine::VideoRect() const
{
    // Where the live picture goes in the video control: the last still fitted in, or all of it.
    const QRect client(QPoint(0, 0), display_ ? display_->VideoSize() : QSize());
    if (lastStill_.IsEmpty())
        return client;
    const PixelRect fitted = FitImageToWindow(lastStill_, PixelRect{0, 0, client.width(), client.height()});
    return QRect(QPoint(fitted.left, fitted.top), QPoint(fitted.right - 1, fitted.bottom - 1));
}

void VideoSourceEngine::SendVideoVisibility()
{
    if (capture_)
        capture_->Post(CaptureCommand::SetVideoVisible, display_ && display_->VideoSeen() ? 1 : 0);
}

void VideoSourceEngine::AttachDisplay(VideoDisplay* display)
{
    page_ = display;
    UseDisplay();
}

void VideoSourceEngine::DetachDisplay(VideoDisplay* display)
{
    if (display == floating_) {
        SetFloatingDisplay(nullptr);
        return;
    }
    if (display != page_)
        return;
    page_ = nullptr;
    UseDisplay();
    // A format list left open would keep the stream standing: it goes on in the format it had.
    if (!display_ && capture_ && propertiesOpen_)
        capture_->Post(CaptureCommand::SetFormat, 0, std::make_unique<CaptureFormatChoice>());
}

void VideoSourceEngine::SetFloatingDisplay(VideoDisplay* window)
{
    if (window == floating_)
        return;
    floating_ = window;
    if (Live())
        state_ = LiveState();
    UseDisplay();
    RefreshVideoDisplay();
}

void VideoSourceEngine::UseDisplay()
{
    VideoDisplay* const before = display_;
    display_ = floating_ ? floating_ : page_;
    // Frames already waiting, scaled for the display that was, are not shown in the one that
    // is; one or two more may come before the capture thread has the new size.
    if (display_ != before)
        QCoreApplication::removePostedEvents(this, CapturePreviewFrameType());
    if (!capture_)
        return;
    auto window = std::make_unique<CaptureWindow>();
    window->window = PreviewReceiver();
    capture_->Post(CaptureCommand::SetClipWindow, 0, std::move(window));
    SendVideoVisibility();
    DisplayResized();
}

void VideoSourceEngine::DisplayVisibilityChanged()
{
    SendVideoVisibility();
}

void VideoSourceEngine::DisplayResized()
{
    // The video control's own size counts, not the page's: a page laid out while hidden gets
    // its size long before the control inside it does.
    if (capture_ && Live()) {
        auto rect = std::make_unique<CaptureRect>();
        rect->rect = VideoRect();
        capture_->Post(CaptureCommand::SetDestRect, 0, std::move(rect));
        RefreshVideoDisplay();
    }
}

void VideoSourceEngine::RefreshVideoDisplay()
{
    QString text;
    switch (state_) {
    case ConnectionState::NotStarted:
    case ConnectionState::Disconnected:
        text = QStringLiteral("Disconnected");
        break;
    case ConnectionState::Disconnecting:
        text = QStringLiteral("Disconnecting");
        break;
    case ConnectionState::Connecting:
        text = QStringLiteral("Connecting");
        break;
    case ConnectionState::Connected:
        break;
    case ConnectionState::Streaming:
        text = QStringLiteral("Video Detached");
        break;
    }
    if (devices_.isEmpty())
        text = QStringLiteral("No Video Devices");
    messageText_ = text;
    if (OverlayShown())
        SendOverlay();
    emit DisplayChanged();
    host_.AnnounceStatusUpdated();
}

bool VideoSourceEngine::OverlayShown() const
{
    return display_ && capture_ && !lastStill_.IsEmpty() && Live() && !propertiesOpen_;
}

bool VideoSourceEngine::PropertiesAvailable() const
{
    return capture_ && Live() && !propertiesOpen_;
}

void VideoSourceEngine::PostCommand(std::int64_t command, std::int64_t argument,
                                    std::unique_ptr<MessagePayload> payload)
{
    if (capture_)
        capture_->Post(command, argument, std::move(payload));
}

void VideoSourceEngine::SendOverlay()
{
    // Each overlay costs the capture thread a picture and a second of unthrottled frames: a
    // burst of refreshes sends one now and the newest when that one is confirmed.
    if (overlayPending_) {
        overlayWanted_ = true;
        return;
    }
    overlayWanted_ = false;
    auto overlay = std::make_unique<CaptureOverlay>();
    if (host_.Settings().videoDeviceEnableVmrMixer)
        CropThumbnail::DrawCropOverlay(overlay->frame, QSize(lastStill_.Width(), lastStill_.Height()),
                                       VideoRect().size(), host_.LiveCrop());
    overlay->cookie = ++overlayCookie_;
    overlayPending_ = true;
    capture_->Post(CaptureCommand::SetOverlay, 0, std::move(overlay));
}

void VideoSourceEngine::OnOverlaySet(std::uint64_t cookie)
{
    if (!overlayPending_ || cookie != overlayCookie_)
        return;
    overlayPending_ = false;
    if (std::exchange(overlayWanted_, false) && OverlayShown())
        SendOverlay();
}

bool VideoSourceEngine::event(QEvent* event)
{
    if (event->type() == CaptureMessageType()) {
        OnCaptureMessage(*static_cast<MessageEvent*>(event));
        return true;
    }
    if (event->type() == CapturePreviewFrameType()) {
        if (display_ && display_->VideoWindow())
            QCoreApplication::sendEvent(display_->VideoWindow(), event);
        return true;
    }
    if (event->type() == FirstEnumerationType()) {
        if (!enumerated_) {
            EnumerateDevices();
            SelectStoredDevice();
            if (std::exchange(connectWanted_, false))
                ConnectDevice();
            RefreshVideoDisplay();
        }
        return true;
    }
    if (event->type() == DeviceChangeType()) {
        // A burst of arrivals and removals is handled once, when it has settled.
        settleTimer_.start(deviceSettleMs_, this);
        return true;
    }
    return QObject::event(event);
}

void VideoSourceEngine::OnCaptureMessage(MessageEvent& message)
{
    auto* report = dynamic_cast<CaptureReport*>(message.record.get());
    switch (message.wParam) {
    case CaptureMessage::Connected:
        OnConnected(report);
        break;
    case CaptureMessage::Still: {
        std::unique_ptr<ImageFrame> still = message.TakeImage();
        if (!still)
            break;
        const bool resized =
            QSize(still->Width(), still->Height()) != QSize(lastStill_.Width(), lastStill_.Height());
        lastStill_ = std::move(*still);
        // Back once pictures come again: a device that opens but stays dark is still away.
        if (!reconnectPath_.isEmpty() && SamePath(reconnectPath_, devicePath_)) {
            AddLogEntry(LogCategory::Information, QStringLiteral("Video device reconnected"));
            reconnectPath_.clear();
        }
        if (resized) {
            auto rect = std::make_unique<CaptureRect>();
            rect->rect = VideoRect();
            if (capture_)
                capture_->Post(CaptureCommand::SetDestRect, 0, std::move(rect));
            RefreshVideoDisplay();
        }
        if (stillPending_) {
            stillPending_ = false;
            stillTimer_.stop();
            host_.ProcessSourceImage(lastStill_);
        }
        if (resized)
            host_.AnnounceNewImage();
        break;
    }
    case CaptureMessage::OverlaySet:
        if (report)
            OnOverlaySet(report->cookie);
        break;
    case CaptureMessage::StreamInfo:
        if (report) {
            streamSize_ = QString::asprintf("%d x %d", report->nativeWidth, report->nativeHeight);
            streamRate_ = QString::asprintf("%.2f fps", report->frameRate);
            emit StreamInfoChanged();
        }
        break;
    case CaptureMessage::PropertyPages:
        if (auto* pages = dynamic_cast<CapturePages*>(message.record.get()); pages && Live())
            emit PropertyPagesOffered(*pages);
        break;
    case CaptureMessage::PropertiesOpening:
        propertiesOpen_ = true;
        RefreshVideoDisplay();
        // A connection let go meanwhile is ending: its format list would choose for nothing.
        if (auto* pages = dynamic_cast<CapturePages*>(message.record.get()); pages && Live()) {
            if (display_)
                emit StreamPropertiesOpening(*pages);
            else if (capture_) // nobody to choose: the stream goes on as it was
                capture_->Post(CaptureCommand::SetFormat, 0, std::make_unique<CaptureFormatChoice>());
        }
        break;
    case CaptureMessage::PropertiesClosed:
        propertiesOpen_ = false;
        if (auto* pages = dynamic_cast<CapturePages*>(message.record.get())) {
            // The format in force now: the user's choice, or what the device fell back on.
            const CaptureFormat before = formatDevice_ == devicePath_ ? format_ : CaptureFormat();
            if (pages->format != before) {
                format_ = pages->format;
                formatDevice_ = devicePath_;
                emit Edited();
            }
        }
        RefreshVideoDisplay();
        if (capture_)
            capture_->Post(CaptureCommand::GrabStill);
        break;
    case CaptureMessage::Stopped:
        OnStopped(report);
        break;
    case CaptureMessage::ThreadEnded:
        AddLogEntry(LogCategory::Information, QStringLiteral("Video device disconnected"));
        OnThreadEnded();
        break;
    default:
        break;
    }
}

void VideoSourceEngine::OnConnected(const CaptureReport* report)
{
    if (!report || report->code < 0) {
        const QString text = QStringLiteral("Could not connect with device");
        AddLogEntry(LogCategory::Error, text);
        KeepForReconnect(text);
        return;
    }
    AddLogEntry(LogCategory::Information, QStringLiteral("Connected OK"));
    connectedSince_.start();
    statusText_.clear();
    capture_->Post(CaptureCommand::ApplyPosition);
    capture_->Post(CaptureCommand::GrabStill);
    streamTimer_.start(StreamPollMs, this);
    capture_->Post(CaptureCommand::SetInterframeDelay, interframeDelayMs_);
    state_ = LiveState();
    RefreshVideoDisplay();
}

void VideoSourceEngine::OnStopped(const CaptureReport* report)
{
    const QString text = QStringLiteral("Video device disconnected unexpectedly - ") +
                         StopReasonText(report ? report->code : 0);
    AddLogEntry(LogCategory::Error, text);
    statusText_ = text;
    KeepForReconnect(text);
    RefreshVideoDisplay();
    host_.ReportSourceError(text);
}

void VideoSourceEngine::KeepForReconnect(const QString& why)
{
    // A connection the user let go meanwhile has no device any more: nothing to come back to.
    if (devicePath_.isEmpty() || exiting_)
        return;
    if (connectedSince_.isValid() && connectedSince_.elapsed() >= SteadyConnectionMs)
        reconnectFailures_ = 0;
    connectedSince_.invalidate();
    reconnectPath_ = devicePath_;
    reconnectWhy_ = why;
    // The thread ends next; the wait starts when it has.
}

int VideoSourceEngine::NextReconnectDelay() const
{
    qint64 delay = firstReconnectMs_;
    for (int i = 0; i < reconnectFailures_ && delay < longestReconnectMs_; ++i)
        delay *= 2;
    return int(std::min<qint64>(delay, longestReconnectMs_));
}

void VideoSourceEngine::SetReconnectDelays(int firstMs, int longestMs)
{
    firstReconnectMs_ = std::max(firstMs, 1);
    longestReconnectMs_ = std::max(longestMs, firstReconnectMs_);
}

void VideoSourceEngine::ScheduleReconnect()
{
    const int delay = NextReconnectDelay();
    ++reconnectFailures_;
    reconnectTimer_.start(delay, this);
    const QString seconds = QString::number(delay / 1000.0);
    AddLogEntry(LogCategory::Information, QStringLiteral("Video device reconnecting in %1 s").arg(seconds));
    statusText_ = reconnectWhy_ + QStringLiteral(" - reconnecting in %1 s").arg(seconds);
    RefreshVideoDisplay();
}

void VideoSourceEngine::Reconnect()
{
    reconnectTimer_.stop();
    if (reconnectPath_.isEmpty() || capture_ || exiting_)
        return;
    if (!Listed(reconnectPath_)) {
        ScheduleReconnect(); // still away; the device monitor may bring it back sooner
        return;
    }
    SetChecked(reconnectPath_);
    ConnectDevice();
}

void VideoSourceEngine::CancelReconnect()
{
    if (reconnectPath_.isEmpty())
        return;
    reconnectTimer_.stop();
    reconnectPath_.clear();
    reconnectFailures_ = 0;
    statusText_ = reconnectWhy_;
    RefreshVideoDisplay();
}

void VideoSourceEngine::OnThreadEnded()
{
    if (capture_)
        capture_->Wait(2000);
    capture_.reset();
    streamTimer_.stop();
    state_ = ConnectionState::Disconnected;
    streamSize_.clear();
    streamRate_.clear();
    emit StreamInfoChanged();
    lastStill_.Empty();
    propertiesOpen_ = false;
    // An overlay the ended thread never confirmed is not awaited by the next one.
    overlayPending_ = overlayWanted_ = false;
    emit ConnectionEnded();
    RefreshVideoDisplay();
    if (!reconnectPath_.isEmpty()) {
        if (!reconnectTimer_.isActive())
            ScheduleReconnect();
    } else {
        ConnectDevice(); // a device checked meanwhile connects now
    }
}

void VideoSourceEngine::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == stillTimer_.timerId()) {
        stillTimer_.stop();
        if (stillPending_) {
            stillPending_ = false;
            host_.ProcessSourceImage(ImageFrame());
        }
    } else if (event->timerId() == streamTimer_.timerId()) {
        if (capture_)
            capture_->Post(CaptureCommand::QueryStream);
    } else if (event->timerId() == reconnectTimer_.timerId()) {
        Reconnect();
    } else if (event->timerId() == settleTimer_.timerId()) {
        settleTimer_.stop();
        RelistDevices();
    } else {
        QObject::timerEvent(event);
    }
}
