#include "SourceEngine.h"

#include "FileSourceEngine.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "VideoSourceEngine.h"

#include <QCoreApplication>

#include <tuple>

namespace {
constexpr std::int64_t SourceErrorCode = 0x80000000LL;
} // namespace

SourceEngine::SourceEngine(const Clock& clock, const QString& dataDirectory, QObject* parent)
    : QObject(parent), settings_(SourceSettings::Defaults(dataDirectory))
{
    setObjectName(QStringLiteral("Source"));
    file_ = std::make_unique<FileSourceEngine>(*this, clock);
    video_ = std::make_unique<VideoSourceEngine>(*this);
    RevertChoices();
}

SourceEngine::~SourceEngine()
{
    // The sources use these settings until they are gone: take them down first.
    file_.reset();
    video_.reset();
    processor_.Wait();
}

void SourceEngine::LoadSettings(const SettingsList& list)
{
    settings_ = SourceSettings::Read(list, settings_.fileCollectDirectory);
    RevertChoices();
}

void SourceEngine::SaveSettings(SettingsList& list) const
{
    settings_.Write(list);
}

void SourceEngine::RevertChoices()
{
    chosen_ = settings_.sourceType;
    liveCrop_.reset();
    video_->SetNetworkCameras(settings_.networkCameras, settings_.networkCameraTimeoutMs);
    video_->SetStoredFormat(settings_.videoDeviceId, CaptureFormat::FromSetting(settings_.videoDeviceFormat));
    // A device checked but not applied lets go for the stored one.
    video_->SelectDevice(settings_.videoDeviceId);
    // The stored Low CPU choice is in force from the first connection, not from the first Apply.
    video_->SetInterframeDelay(InterframeDelay());
    emit ChoicesReset();
    UpdateSourceState();
}

void SourceEngine::ApplySettings(const SourceSettings& settings)
{
    const SourceSettings before = settings_;
    if (settings.fileCollectDirectory != settings_.fileCollectDirectory ||
        settings.fileCollectMask != settings_.fileCollectMask)
        file_->ResetCollection();
    settings_ = settings;
    chosen_ = settings_.sourceType;
    liveCrop_.reset();
    // A page hands back the cameras, device and format it shows; a caller without one may name
    // others.
    video_->SetNetworkCameras(settings_.networkCameras, settings_.networkCameraTimeoutMs);
    if (video_->SelectedDevice() != settings_.videoDeviceId)
        video_->SelectDevice(settings_.videoDeviceId);
    if (video_->SelectedFormat().ToSetting() != settings_.videoDeviceFormat)
        video_->SetStoredFormat(settings_.videoDeviceId,
                                CaptureFormat::FromSetting(settings_.videoDeviceFormat));

    UpdateSourceState();
    video_->SetInterframeDelay(InterframeDelay());

    // Only what changes the image counts; delays, Low CPU, the mixer and the hatch do not.
    const auto imageKey = [](const SourceSettings& s) {
        return std::make_tuple(s.sourceType, s.fileCollectDirectory, s.fileCollectMask, s.videoDeviceId,
                               s.videoDeviceFormat, s.resize, s.crop, s.resizeWidth, s.resizeHeight,
                               s.cropOriginX, s.cropOriginY, s.cropWidth, s.cropHeight);
    };
    if (imageKey(before) != imageKey(settings_)) {
        file_->MarkUndelivered();
        announce_ = true;
        AnnounceNewImage();
    }
}

int SourceEngine::InterframeDelay() const
{
    return settings_.videoDeviceLowCpu ? settings_.videoDeviceLowCpuInterframeDelayMs : 0;
}

void SourceEngine::ChooseSource(std::int32_t sourceType)
{
    chosen_ = sourceType;
}

void SourceEngine::SetLiveCrop(const CropSettings& crop)
{
    liveCrop_ = crop;
}

void SourceEngine::UpdateSourceState()
{
    const bool fileChosen = chosen_ == SourceSettings::CollectFile;
    const bool videoChosen = chosen_ == SourceSettings::VideoDevice;
    if (fileChosen)
        file_->RefreshFileDisplay();
    if (videoChosen)
        video_->RefreshVideoDisplay();
    // A source chosen takes effect at once: until the choice is applied or reverted, both
    // sources may run.
    if (fileChosen || settings_.sourceType == SourceSettings::CollectFile)
        file_->StartDirectoryMonitor();
    else
        file_->StopDirectoryMonitor();
    if (videoChosen || settings_.sourceType == SourceSettings::VideoDevice)
        video_->ConnectDevice();
    else
        video_->ClearDeviceSelection();
}

CropSettings SourceEngine::LiveCrop() const
{
    CropSettings crop;
    if (liveCrop_) {
        crop = *liveCrop_;
    } else {
        crop.enabled = settings_.crop;
        crop.crop =
            QRect(settings_.cropOriginX, settings_.cropOriginY, settings_.cropWidth, settings_.cropHeight);
    }
    crop.hatchStyle = settings_.cropHatchStyle;
    return crop;
}

void SourceEngine::RequestImage(QObject* requester, bool peek)
{
    requester_ = requester;
    if (settings_.sourceType == SourceSettings::CollectFile)
        file_->DeliverFileImage(peek);
    else if (settings_.sourceType == SourceSettings::VideoDevice)
        video_->RequestStill();
}

bool SourceEngine::ProcessSourceImage(const ImageFrame& frame)
{
    return processor_.Process(frame, requester_.data(), settings_);
}

QString SourceEngine::GetSourceStatusText() const
{
    if (settings_.sourceType == SourceSettings::CollectFile)
        return QStringLiteral("Source: File - ") + (file_->ImageAvailable()
                                                        ? QStringLiteral("Image Available")
                                                        : QStringLiteral("No Image Available"));
    if (settings_.sourceType != SourceSettings::VideoDevice)
        return QString();
    QString state = video_->OwnStatusText();
    if (state.isEmpty()) {
        switch (video_->State()) {
        case VideoSourceEngine::ConnectionState::NotStarted:
        case VideoSourceEngine::ConnectionState::Disconnected:
            state = QStringLiteral("Disconnected");
            break;
        case VideoSourceEngine::ConnectionState::Connecting:
            state = QStringLiteral("Connecting");
            break;
        case VideoSourceEngine::ConnectionState::Disconnecting:
            break;
        case VideoSourceEngine::ConnectionState::Connected:
        case VideoSourceEngine::ConnectionState::Streaming:
            state = QStringLiteral("Connected to ") + video_->FriendlyName();
            break;
        }
    }
    return QStringLiteral("Source: Video Device - ") + state;
}

void SourceEngine::PostToOwner(const char* name, std::int64_t wParam, const QString* text)
{
    if (!owner_)
        return;
    auto* event = new MessageEvent(RegisterNamedMessage(QString::fromLatin1(name)), wParam);
    if (text)
        event->text = *text;
    QCoreApplication::postEvent(owner_, event);
}

void SourceEngine::ReportSourceError(const QString& text)
{
    PostToOwner(MessageName::SourceNotify, SourceErrorCode, &text);
}

void SourceEngine::AnnounceNewImage()
{
    PostToOwner(MessageName::SourceNewImageAvailable);
    announce_ = false;
}

void SourceEngine::AnnounceImageOvertaken()
{
    PostToOwner(MessageName::SourceNotify, ImageOvertakenCode);
}

void SourceEngine::AnnounceStatusUpdated()
{
    PostToOwner(MessageName::SourceStatusUpdated);
}
