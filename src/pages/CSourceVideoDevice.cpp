#include "CSourceVideoDevice.h"

#include "CSourceVideoDeviceFloatingWindow.h"
#include "CVideoView.h"
#include "CropMouseEditor.h"
#include "NetworkCameraDialog.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/CaptureTypes.h"
#include "Utils/Classes/FloatWndHolder.h"
#include "Utils/Classes/NetworkSource.h"
#include "Utils/Classes/PictureDragOut.h"
#include "Utils/Controls/CStaticColour.h"
#include "VideoPropertyPages.h"
#include "sources/CropThumbnail.h"
#include "sources/SourceHost.h"
#include "sources/VideoSourceEngine.h"

#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>

using Utils::Classes::CFloatWnd;
using Utils::Classes::FloatWndHolder;
using Utils::Classes::PictureDragOut;
using Utils::Controls::CStaticColour;

namespace {
constexpr int PathRole = Qt::UserRole;

QIcon CameraIcon()
{
    return QIcon::fromTheme(QStringLiteral("camera-web"), QIcon::fromTheme(QStringLiteral("camera-video")));
}
} // namespace

CSourceVideoDevice::CSourceVideoDevice(VideoSourceEngine& engine, QWidget* parent)
    : QWidget(parent), engine_(engine)
{
    setObjectName(QStringLiteral("SourceVideoDevice"));
    list_ = new QListWidget(this);
    list_->setSortingEnabled(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);

    auto* devicesBox = new QGroupBox(tr("Available Devices"), this);
    auto* devicesLayout = new QVBoxLayout(devicesBox);
    devicesLayout->addWidget(list_);
    addCameraButton_ = new QPushButton(tr("Add network camera..."), devicesBox);
    devicesLayout->addWidget(addCameraButton_, 0, Qt::AlignLeft);
    connect(addCameraButton_, &QPushButton::clicked, this, &CSourceVideoDevice::OpenAddNetworkCamera);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QListWidget::customContextMenuRequested, this, &CSourceVideoDevice::ShowDeviceMenu);

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

    // The picture takes the page's free space; the device list and the stream's figures below
    // it keep their natural size.
    videoArea->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    list_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    list_->setMaximumHeight(list_->fontMetrics().height() * 4 + 2 * list_->frameWidth() + 8);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(videoArea, 0, 0, 1, 2);
    layout->addWidget(devicesBox, 1, 0);
    layout->addWidget(streamBox, 1, 1, Qt::AlignBottom);
    layout->setRowStretch(0, 1);
    layout->setColumnStretch(0, 1);

    connect(list_, &QListWidget::itemChanged, this, &CSourceVideoDevice::OnItemChanged);
    pages_ = new VideoPropertyPages(
        this, [this](std::int64_t command, std::int64_t argument, std::unique_ptr<MessagePayload> payload) {
            engine_.PostCommand(command, argument, std::move(payload));
        });
    connect(view_, &CVideoView::Resized, &engine_, &VideoSourceEngine::DisplayResized);
    dragOut_ = new PictureDragOut(
        view_, [this] { return view_->isVisible() && !view_->Blackout() ? view_->rect() : QRect(); }, false);
    connect(dragOut_, &PictureDragOut::DetachRequested, this, &CSourceVideoDevice::DetachTo);
    // Installed after the drag-out, so a press on the crop is never the start of a drag-out.
    cropEditor_ = new CropMouseEditor(view_, [this] { return VideoCropView(engine_, view_->size()); });
    connect(cropEditor_, &CropMouseEditor::CropDragged, this, &CSourceVideoDevice::CropDragged);
    floating_ = new FloatWndHolder(this);
    connect(floating_, &FloatWndHolder::Closed, this, [this] {
        engine_.SetFloatingDisplay(nullptr);
        RefreshVideoDisplay();
    });
    attachAction_ = new QAction(tr("Attach"), this);
    connect(attachAction_, &QAction::triggered, floating_, &FloatWndHolder::Close);
    connect(view_, &CVideoView::MenuRequested, this,
            [this](const QPoint& at) { ShowMenu(at, dragOut_->DetachAction()); });

    connect(&engine_, &VideoSourceEngine::DevicesChanged, this, &CSourceVideoDevice::ShowDevices);
    connect(&engine_, &VideoSourceEngine::DisplayChanged, this, &CSourceVideoDevice::RefreshVideoDisplay);
    connect(&engine_, &VideoSourceEngine::StreamInfoChanged, this, &CSourceVideoDevice::ShowStreamInfo);
    connect(&engine_, &VideoSourceEngine::Edited, this, &CSourceVideoDevice::Changed);
    connect(&engine_, &VideoSourceEngine::PropertyPagesOffered, pages_, &VideoPropertyPages::ShowMenu);
    connect(&engine_, &VideoSourceEngine::StreamPropertiesOpening, pages_,
            &VideoPropertyPages::OpenStreamProperties);
    connect(&engine_, &VideoSourceEngine::ConnectionEnding, pages_, &VideoPropertyPages::CloseAll);
    connect(&engine_, &VideoSourceEngine::ConnectionEnded, this, &CSourceVideoDevice::OnConnectionEnded);

    engine_.AttachDisplay(this);
    ShowDevices();
    ShowStreamInfo();
    RefreshVideoDisplay();
}

CSourceVideoDevice::~CSourceVideoDevice()
{
    // Nothing the engine says from here on may reach a page that is going; the detached window
    // goes first, while the page is whole, then the page's own display.
    disconnect(&engine_, nullptr, this, nullptr);
    engine_.SetFloatingDisplay(nullptr);
    delete floating_;
    engine_.DetachDisplay(this);
}

QObject* CSourceVideoDevice::VideoWindow()
{
    return view_;
}

QSize CSourceVideoDevice::VideoSize() const
{
    return view_->size();
}

bool CSourceVideoDevice::VideoSeen() const
{
    return isVisible() && !window()->isMinimized();
}

void CSourceVideoDevice::ShowDevices()
{
    const QSignalBlocker blocker(list_);
    const QList<VideoDeviceInfo>& devices = engine_.Devices();
    bool same = list_->count() == devices.size();
    for (int i = 0; same && i < list_->count(); ++i) {
        same = std::any_of(devices.begin(), devices.end(), [&](const VideoDeviceInfo& device) {
            return device.path == list_->item(i)->data(PathRole).toString() &&
                   device.name == list_->item(i)->text();
        });
    }
    if (!same) {
        list_->clear();
        for (const VideoDeviceInfo& device : devices) {
            auto* item = new QListWidgetItem(CameraIcon(), device.name);
            item->setData(PathRole, device.path);
            for (const NetworkCamera& camera : engine_.NetworkCameras()) {
                if (camera.Path() == device.path)
                    item->setToolTip(NetworkSource::ShownUrl(camera.url));
            }
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            list_->addItem(item);
        }
    }
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        item->setCheckState(item->data(PathRole).toString() == engine_.CheckedDevice() ? Qt::Checked
                                                                                       : Qt::Unchecked);
    }
}

NetworkCameraDialog* CSourceVideoDevice::OpenAddNetworkCamera()
{
    auto* dialog = new NetworkCameraDialog(
        [this](const NetworkCamera& camera) { return engine_.AddNetworkCamera(camera); }, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

void CSourceVideoDevice::ShowDeviceMenu(const QPoint& at)
{
    QListWidgetItem* item = list_->itemAt(at);
    const QString path = item ? item->data(PathRole).toString() : QString();
    if (!NetworkCamera::IsNetworkPath(path))
        return;
    QMenu menu(this);
    QAction* remove = menu.addAction(tr("Remove network camera"));
    if (menu.exec(list_->viewport()->mapToGlobal(at)) == remove)
        engine_.RemoveNetworkCamera(path);
}

void CSourceVideoDevice::OnItemChanged(QListWidgetItem* item)
{
    engine_.CheckDevice(item->data(PathRole).toString(), item->checkState() == Qt::Checked);
    // What the engine did not take (a second check, say) is shown as it stands.
    ShowDevices();
}

void CSourceVideoDevice::ShowStreamInfo()
{
    sizeLabel_->setText(engine_.StreamSizeText());
    rateLabel_->setText(engine_.StreamRateText());
}

void CSourceVideoDevice::OnConnectionEnded()
{
    // The camera is gone: so is its window.
    floating_->Close();
    view_->SetPicture(ImageFrame());
    view_->ClearLive();
    pages_->CloseAll();
}

QString CSourceVideoDevice::MessageText() const
{
    return messageArea_->text();
}

void CSourceVideoDevice::RefreshVideoDisplay()
{
    messageArea_->setText(engine_.MessageText());
    CVideoView* shown = FloatingWindow() ? FloatingWindow()->View() : view_;
    shown->SetBlackout(engine_.PropertiesOpen());
    // The still behind the live picture follows at most every few frames: a crop being dragged
    // asks for it at every step, and a large window's still is not cheap.
    if (engine_.OverlayShown() && !stillTimer_.isActive())
        stillTimer_.start(StillRefreshMs, this);
    // Detached, the page says so ("Video Detached") where the picture was.
    const bool live = engine_.State() == VideoSourceEngine::ConnectionState::Connected;
    view_->setVisible(live);
    messageArea_->setVisible(!live);
    if (FloatingWindow())
        FloatingWindow()->setWindowTitle(engine_.FriendlyName());
}

void CSourceVideoDevice::ShowStill()
{
    if (!engine_.OverlayShown())
        return;
    CVideoView* shown = FloatingWindow() ? FloatingWindow()->View() : view_;
    ImageFrame thumbnail;
    CropThumbnail::MakeCropThumbnail(shown->size(), thumbnail, engine_.LastStill(),
                                     engine_.Host().Settings().videoDeviceEnableVmrMixer,
                                     engine_.Host().LiveCrop());
    shown->SetPicture(thumbnail);
}

void CSourceVideoDevice::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != stillTimer_.timerId())
        return QWidget::timerEvent(event);
    stillTimer_.stop();
    ShowStill();
}

CSourceVideoDeviceFloatingWindow* CSourceVideoDevice::FloatingWindow() const
{
    return static_cast<CSourceVideoDeviceFloatingWindow*>(floating_->Window());
}

void CSourceVideoDevice::ShowMenu(const QPoint& at, QAction* trailing)
{
    // The device's pages when it offers them, and Detach or Attach below them.
    pages_->SetTrailingAction(trailing);
    if (engine_.PropertiesAvailable())
        pages_->RequestMenu(at);
    else
        pages_->ShowMenuAt(at);
}

void CSourceVideoDevice::DetachTo(const QPoint& topLeft)
{
    if (FloatingWindow()) {
        floating_->BringForward();
        return;
    }
    if (!engine_.Live())
        return;
    auto window = std::make_unique<CSourceVideoDeviceFloatingWindow>(engine_);
    window->setObjectName(QStringLiteral("SourceVideoWindow"));
    window->setWindowIcon(floatingIcon_.isNull() ? this->window()->windowIcon() : floatingIcon_);
    window->setWindowTitle(engine_.FriendlyName());
    connect(window.get(), &CSourceVideoDeviceFloatingWindow::CropDragged, this,
            &CSourceVideoDevice::CropDragged);
    connect(window->View(), &CVideoView::MenuRequested, this,
            [this](const QPoint& at) { ShowMenu(at, attachAction_); });
    CSourceVideoDeviceFloatingWindow* opened = window.get();
    floating_->Open(std::move(window), topLeft, *this);
    engine_.SetFloatingDisplay(opened);
}

void CSourceVideoDevice::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    engine_.DisplayVisibilityChanged();
}

void CSourceVideoDevice::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    engine_.DisplayVisibilityChanged();
}
