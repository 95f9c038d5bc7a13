#include "CSourceVideoDevice.h"

#include "CVideoView.h"
#include "CropThumbnail.h"
#include "EventLog.h"
#include "ImageOperations.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "SourceHost.h"
#include "Utils/Classes/CCCTV.h"
#include "Utils/Controls/CStaticColour.h"
#include "VideoDeviceList.h"
#include "VideoPropertyPages.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>

using Utils::Controls::CStaticColour;

namespace {
constexpr int PathRole = Qt::UserRole;

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

QIcon CameraIcon()
{
    return QIcon::fromTheme(QStringLiteral("camera-web"), QIcon::fromTheme(QStringLiteral("camera-video")));
}
} // namespace

CSourceVideoDevice::CSourceVideoDevice(SourceHost& host, QWidget* parent) : QWidget(parent), host_(host)
{
    setObjectName(QStringLiteral("SourceVideoDevice"));
    list_ = new QListWidget(this);
    list_->setSortingEnabled(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);

    auto* devicesBox = new QGroupBox(tr("Available Devices"), this);
    auto* devicesLayout = new QVBoxLayout(devicesBox);
    devicesLayout->addWidget(list_);

    auto* videoArea = new QWidget(this);
    videoArea->setMinimumSize(160, 120);
    view_ = new CVideoView(videoArea);
    messageArea_ = new CStaticColour(videoArea);
    messageArea_->setAlignment(Qt::AlignCenter);
    messageArea_->SetTextColour(Qt::white);
    messageArea_->SetBackgroundColour(palette().color(QPalette::Shadow));
    auto* stack = new QGridLayout(videoArea);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(view_, 0, 0);
    stack->addWidget(messageArea_, 0, 0);

    sizeLabel_ = new QLabel(this);
    rateLabel_ = new QLabel(this);
    auto* streamBox = new QGroupBox(tr("Current Stream"), this);
    auto* streamLayout = new QHBoxLayout(streamBox);
    streamLayout->addWidget(sizeLabel_);
    streamLayout->addWidget(rateLabel_);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(devicesBox, 0, 0);
    layout->addWidget(videoArea, 0, 1, 2, 1);
    layout->addWidget(streamBox, 1, 0);
    layout->setColumnStretch(1, 1);

    connect(list_, &QListWidget::itemChanged, this, &CSourceVideoDevice::OnItemChanged);
    pages_ = new VideoPropertyPages(
        this, [this](std::int64_t command, std::int64_t argument, std::unique_ptr<MessagePayload> payload) {
            if (capture_)
                capture_->Post(command, argument, std::move(payload));
        });
    connect(view_, &CVideoView::Resized, this, &CSourceVideoDevice::OnVideoResized);
    connect(view_, &CVideoView::MenuRequested, this, [this](const QPoint& at) {
        if (capture_ && state_ == ConnectionState::Connected && !propertiesOpen_)
            pages_->RequestMenu(at);
    });
    devices_ = std::make_unique<VideoDeviceList>(this, DeviceChangeType());
    QCoreApplication::postEvent(this, new QEvent(FirstEnumerationType()));
    RefreshVideoDisplay();
}

CSourceVideoDevice::~CSourceVideoDevice()
{
    // The capture thread posts to this page until it has ended.
    capture_.reset();
    QCoreApplication::removePostedEvents(this, CaptureMessageType());
}

bool CSourceVideoDevice::FinishForExit(int timeoutMs)
{
    if (!capture_)
        return true;
    capture_->Post(CaptureCommand::Stop);
    if (!capture_->Wait(std::max(timeoutMs, 0)))
        return false;
    capture_.reset();
    return true;
}

void CSourceVideoDevice::EnumerateDevices()
{
    enumerated_ = true;
    const QSignalBlocker blocker(list_);
    list_->clear();
    const QList<VideoDeviceInfo> devices = devices_->Enumerate();
    if (devices.isEmpty())
        AddLogEntry(LogCategory::Information, QStringLiteral("No video capture hardware found"));
    for (const VideoDeviceInfo& device : devices) {
        auto* item = new QListWidgetItem(CameraIcon(), device.name);
        item->setData(PathRole, device.path);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        list_->addItem(item);
        AddLogEntry(LogCategory::Information, device.name + QStringLiteral(" found"));
    }
}

void CSourceVideoDevice::SetStoredFormat(const QString& deviceId, const CaptureFormat& format)
{
    formatDevice_ = deviceId;
    format_ = format;
}

CaptureFormat CSourceVideoDevice::SelectedFormat() const
{
    return formatDevice_ == SelectedDevice() ? format_ : CaptureFormat();
}

void CSourceVideoDevice::SetSelectedDevice(const QString& deviceId)
{
    storedDevice_ = deviceId;
    SelectStoredDevice();
}

QString CSourceVideoDevice::SelectedDevice() const
{
    if (QListWidgetItem* item = CheckedItem())
        return item->data(PathRole).toString();
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->data(PathRole).toString().compare(storedDevice_, Qt::CaseInsensitive) == 0)
            return QString(); // present and unchecked: the user let it go
    }
    return storedDevice_;
}

void CSourceVideoDevice::SelectStoredDevice()
{
    suppress_ = true;
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const bool stored = !storedDevice_.isEmpty() &&
                            item->data(PathRole).toString().compare(storedDevice_, Qt::CaseInsensitive) == 0;
        item->setCheckState(stored ? Qt::Checked : Qt::Unchecked);
    }
    suppress_ = false;
}

QListWidgetItem* CSourceVideoDevice::CheckedItem() const
{
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->checkState() == Qt::Checked)
            return list_->item(i);
    }
    return nullptr;
}

void CSourceVideoDevice::OnItemChanged(QListWidgetItem* item)
{
    const bool checked = item->checkState() == Qt::Checked;
    if (checked) {
        // At most one device is checked.
        const QSignalBlocker blocker(list_);
        for (int i = 0; i < list_->count(); ++i) {
            if (list_->item(i) != item)
                list_->item(i)->setCheckState(Qt::Unchecked);
        }
    }
    if (suppress_)
        return;
    if (checked) {
        storedDevice_ = item->data(PathRole).toString();
        if (capture_)
            Disconnect(); // the new one connects when the old thread has ended
        else
            ConnectDevice();
    } else if (capture_ && devicePath_ == item->data(PathRole).toString()) {
        Disconnect();
    }
    host_.SubPageChanged();
}

void CSourceVideoDevice::ConnectDevice()
{
    if (!enumerated_) {
        connectWanted_ = true; // once the devices are known
        return;
    }
    QListWidgetItem* item = CheckedItem();
    if (capture_ || !item)
        return;
    devicePath_ = item->data(PathRole).toString();
    friendlyName_ = item->text();
    AddLogEntry(LogCategory::Information, QStringLiteral("Connecting to ") + friendlyName_);
    capture_ = std::make_unique<CCCTV>();
    if (watchdogMs_ > 0)
        capture_->Post(CaptureCommand::SetWatchdog, watchdogMs_);
    auto job = std::make_unique<CaptureConnectJob>();
    job->devicePath = devicePath_;
    job->page = this;
    job->videoWindow = view_;
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

void CSourceVideoDevice::Disconnect()
{
    if (!capture_)
        return;
    pages_->CloseAll();
    capture_->Post(CaptureCommand::HideVideo);
    capture_->Post(CaptureCommand::Stop);
    state_ = ConnectionState::Disconnecting;
    devicePath_.clear();
    RefreshVideoDisplay();
}

void CSourceVideoDevice::ClearDeviceSelection()
{
    connectWanted_ = false;
    // Unchecking disconnects, unless suppressed.
    for (int i = 0; i < list_->count(); ++i)
        list_->item(i)->setCheckState(Qt::Unchecked);
}

bool CSourceVideoDevice::RequestStill()
{
    // The limit runs from the first request: restarting it for each would let requests that
    // come more often than the limit put the answer off for good.
    if (!stillPending_) {
        stillPending_ = true;
        stillTimer_.start(stillTimeoutMs_, this);
        // Until connected there is nobody to ask: a connection asks for its first still, and
        // that answers.
        if (capture_ && state_ == ConnectionState::Connected)
            capture_->Post(CaptureCommand::GrabStill);
    }
    return capture_ != nullptr;
}

void CSourceVideoDevice::SetInterframeDelay(int delayMs)
{
    interframeDelayMs_ = delayMs;
    if (capture_ && state_ == ConnectionState::Connected)
        capture_->Post(CaptureCommand::SetInterframeDelay, delayMs);
}

QRect CSourceVideoDevice::VideoRect() const
{
    // Where the live picture goes in the video control: the last still fitted in, or all of it.
    const QRect client(QPoint(0, 0), view_->size());
    if (lastStill_.IsEmpty())
        return client;
    const PixelRect fitted = FitImageToWindow(lastStill_, PixelRect{0, 0, client.width(), client.height()});
    return QRect(QPoint(fitted.left, fitted.top), QPoint(fitted.right - 1, fitted.bottom - 1));
}

void CSourceVideoDevice::SendVideoVisibility()
{
    if (capture_)
        capture_->Post(CaptureCommand::SetVideoVisible, isVisible() && !window()->isMinimized() ? 1 : 0);
}

QString CSourceVideoDevice::MessageText() const
{
    return messageArea_->text();
}

void CSourceVideoDevice::RefreshVideoDisplay()
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
    if (list_->count() == 0)
        text = QStringLiteral("No Video Devices");
    messageArea_->setText(text);
    view_->SetBlackout(propertiesOpen_);

    if (OverlayShown()) {
        SendOverlay();
        ImageFrame thumbnail;
        CropThumbnail::MakeCropThumbnail(view_->size(), thumbnail, lastStill_,
                                         host_.Settings().videoDeviceEnableVmrMixer, host_.LiveCrop());
        view_->SetPicture(thumbnail);
    }
    const bool live = state_ == ConnectionState::Connected;
    view_->setVisible(live);
    messageArea_->setVisible(!live);
    host_.AnnounceStatusUpdated();
}

bool CSourceVideoDevice::OverlayShown() const
{
    return capture_ && !lastStill_.IsEmpty() && state_ == ConnectionState::Connected && !propertiesOpen_;
}

void CSourceVideoDevice::SendOverlay()
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

void CSourceVideoDevice::OnOverlaySet(std::uint64_t cookie)
{
    if (!overlayPending_ || cookie != overlayCookie_)
        return;
    overlayPending_ = false;
    if (std::exchange(overlayWanted_, false) && OverlayShown())
        SendOverlay();
}

bool CSourceVideoDevice::event(QEvent* event)
{
    if (event->type() == CaptureMessageType()) {
        OnCaptureMessage(*static_cast<MessageEvent*>(event));
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
    return QWidget::event(event);
}

void CSourceVideoDevice::OnCaptureMessage(MessageEvent& message)
{
    auto* report = dynamic_cast<CaptureReport*>(message.record.get());
    switch (message.wParam) {
    case CaptureMessage::Connected:
        if (!report || report->code < 0) {
            AddLogEntry(LogCategory::Error, QStringLiteral("Could not connect with device"));
            ClearDeviceSelection();
            return;
        }
        AddLogEntry(LogCategory::Information, QStringLiteral("Connected OK"));
        capture_->Post(CaptureCommand::ApplyPosition);
        capture_->Post(CaptureCommand::GrabStill);
        streamTimer_.start(StreamPollMs, this);
        capture_->Post(CaptureCommand::SetInterframeDelay, interframeDelayMs_);
        state_ = ConnectionState::Connected;
        RefreshVideoDisplay();
        break;
    case CaptureMessage::Still: {
        std::unique_ptr<ImageFrame> still = message.TakeImage();
        if (!still)
            break;
        const bool resized =
            QSize(still->Width(), still->Height()) != QSize(lastStill_.Width(), lastStill_.Height());
        lastStill_ = std::move(*still);
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
            sizeLabel_->setText(QString::asprintf("%d x %d", report->nativeWidth, report->nativeHeight));
            rateLabel_->setText(QString::asprintf("%.2f fps", report->frameRate));
        }
        break;
    case CaptureMessage::PropertyPages:
        if (auto* pages = dynamic_cast<CapturePages*>(message.record.get());
            pages && state_ == ConnectionState::Connected)
            pages_->ShowMenu(*pages);
        break;
    case CaptureMessage::PropertiesOpening:
        propertiesOpen_ = true;
        RefreshVideoDisplay();
        // A connection let go meanwhile is ending: its format list would choose for nothing.
        if (auto* pages = dynamic_cast<CapturePages*>(message.record.get());
            pages && state_ == ConnectionState::Connected)
            pages_->OpenStreamProperties(*pages);
        break;
    case CaptureMessage::PropertiesClosed:
        propertiesOpen_ = false;
        if (auto* pages = dynamic_cast<CapturePages*>(message.record.get())) {
            // The format in force now: the user's choice, or what the device fell back on.
            const CaptureFormat before = formatDevice_ == devicePath_ ? format_ : CaptureFormat();
            if (pages->format != before) {
                format_ = pages->format;
                formatDevice_ = devicePath_;
                host_.SubPageChanged();
            }
        }
        RefreshVideoDisplay();
        if (capture_)
            capture_->Post(CaptureCommand::GrabStill);
        break;
    case CaptureMessage::Stopped: {
        const QString text = QStringLiteral("Video device disconnected unexpectedly - ") +
                             StopReasonText(report ? report->code : 0);
        AddLogEntry(LogCategory::Error, text);
        suppress_ = true;
        ClearDeviceSelection();
        suppress_ = false;
        statusText_ = text;
        RefreshVideoDisplay();
        host_.ReportSourceError(text);
        break;
    }
    case CaptureMessage::ThreadEnded:
        AddLogEntry(LogCategory::Information, QStringLiteral("Video device disconnected"));
        OnThreadEnded();
        break;
    default:
        break;
    }
}

void CSourceVideoDevice::OnThreadEnded()
{
    if (capture_)
        capture_->Wait(2000);
    capture_.reset();
    streamTimer_.stop();
    state_ = ConnectionState::Disconnected;
    sizeLabel_->clear();
    rateLabel_->clear();
    lastStill_.Empty();
    view_->SetPicture(ImageFrame());
    view_->ClearLive();
    propertiesOpen_ = false;
    // An overlay the ended thread never confirmed is not awaited by the next one.
    overlayPending_ = overlayWanted_ = false;
    pages_->CloseAll();
    RefreshVideoDisplay();
    // A device checked meanwhile connects now.
    ConnectDevice();
}

void CSourceVideoDevice::timerEvent(QTimerEvent* event)
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
    } else if (event->timerId() == settleTimer_.timerId()) {
        settleTimer_.stop();
        AddLogEntry(LogCategory::Information, QStringLiteral("Device change detected"));
        EnumerateDevices();
        if (capture_)
            SelectStoredDevice();
        RefreshVideoDisplay();
    } else {
        QWidget::timerEvent(event);
    }
}

void CSourceVideoDevice::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    SendVideoVisibility();
}

void CSourceVideoDevice::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    SendVideoVisibility();
}

void CSourceVideoDevice::OnVideoResized()
{
    // The video control's own size counts, not the page's: a page laid out while hidden gets
    // its size long before the control inside it does.
    if (capture_ && state_ == ConnectionState::Connected) {
        auto rect = std::make_unique<CaptureRect>();
        rect->rect = VideoRect();
        capture_->Post(CaptureCommand::SetDestRect, 0, std::move(rect));
        RefreshVideoDisplay();
    }
}
