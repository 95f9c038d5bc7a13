#include "CSourceMain.h"

#include "CSourceFile.h"
#include "CSourceVideoDevice.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "Utils/Controls/ClampEditInteger.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
struct Bounds
{
    std::int32_t minimum, maximum;
};
constexpr std::array<Bounds, CSourceMain::EditCount> EditBounds = {
    Bounds{-SourceSettings::MaxCropOrigin, SourceSettings::MaxCropOrigin},
    Bounds{-SourceSettings::MaxCropOrigin, SourceSettings::MaxCropOrigin},
    Bounds{0, SourceSettings::MaxCropSide},
    Bounds{0, SourceSettings::MaxCropSide},
    Bounds{1, SourceSettings::MaxResizeSide},
    Bounds{1, SourceSettings::MaxResizeSide},
};

// The capture thread's "rest between frames" command.
constexpr std::int64_t InterframeDelayCommand = 5;
constexpr std::int64_t SourceErrorCode = 0x80000000LL;
} // namespace

CSourceMain::CSourceMain(const Clock& clock, const QString& dataDirectory, QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("Source"));
    settings_ = SourceSettings::Defaults(dataDirectory);

    fileButton_ = new QRadioButton(tr("Collect File"), this);
    videoButton_ = new QRadioButton(tr("Capture from Video Device"), this);
    auto* radios = new QHBoxLayout;
    radios->addWidget(fileButton_);
    radios->addWidget(videoButton_);
    radios->addStretch(1);

    sourceFrame_ = new QGroupBox(this);
    file_ = new CSourceFile(*this, clock, sourceFrame_);
    video_ = new CSourceVideoDevice(*this, sourceFrame_);
    auto* frameLayout = new QVBoxLayout(sourceFrame_);
    frameLayout->addWidget(file_);
    frameLayout->addWidget(video_);

    for (auto& edit : edits_) {
        edit = new QLineEdit(this);
        edit->setMaximumWidth(80);
    }
    cropCheck_ = new QCheckBox(tr("Crop"), this);
    auto* cropGroup = new QGroupBox(this);
    auto* cropLayout = new QGridLayout(cropGroup);
    cropLayout->addWidget(cropCheck_, 0, 0, 1, 2);
    cropLayout->addWidget(new QLabel(tr("Origin X:"), cropGroup), 1, 0);
    cropLayout->addWidget(edits_[OriginX], 1, 1);
    cropLayout->addWidget(new QLabel(tr("Origin Y:"), cropGroup), 2, 0);
    cropLayout->addWidget(edits_[OriginY], 2, 1);
    cropLayout->addWidget(new QLabel(tr("Width:"), cropGroup), 3, 0);
    cropLayout->addWidget(edits_[CropWidth], 3, 1);
    cropLayout->addWidget(new QLabel(tr("Height:"), cropGroup), 4, 0);
    cropLayout->addWidget(edits_[CropHeight], 4, 1);

    resizeCheck_ = new QCheckBox(tr("Resize"), this);
    auto* resizeGroup = new QGroupBox(this);
    auto* resizeLayout = new QGridLayout(resizeGroup);
    resizeLayout->addWidget(resizeCheck_, 0, 0, 1, 2);
    resizeLayout->addWidget(new QLabel(tr("Width:"), resizeGroup), 1, 0);
    resizeLayout->addWidget(edits_[ResizeWidth], 1, 1);
    resizeLayout->addWidget(new QLabel(tr("Height:"), resizeGroup), 2, 0);
    resizeLayout->addWidget(edits_[ResizeHeight], 2, 1);

    auto* side = new QVBoxLayout;
    side->addWidget(cropGroup);
    side->addWidget(resizeGroup);
    side->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(sourceFrame_, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(radios);
    layout->addLayout(body, 1);

    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(fileButton_), static_cast<QAbstractButton*>(videoButton_),
          static_cast<QAbstractButton*>(cropCheck_), static_cast<QAbstractButton*>(resizeCheck_)})
        connect(button, &QAbstractButton::clicked, this, &CSourceMain::OnControlClicked);
    for (int edit = 0; edit < EditCount; ++edit)
        connect(edits_[edit], &QLineEdit::textChanged, this, [this, edit] { OnEditChanged(Edit(edit)); });

    ShowSourceSettings();
}

CSourceMain::~CSourceMain()
{
    // The sub-pages use this page's settings until they are gone: take them down first.
    delete file_;
    delete video_;
    processor_.Wait();
}

void CSourceMain::LoadSettings(const SettingsList& list)
{
    settings_ = SourceSettings::Read(list, settings_.fileCollectDirectory);
    ShowSourceSettings();
}

void CSourceMain::SaveSettings(SettingsList& list) const
{
    settings_.Write(list);
}

void CSourceMain::SetAdvancedCheckBoxes(QCheckBox* lowCpu, QCheckBox* enableMixer)
{
    lowCpuCheck_ = lowCpu;
    enableMixerCheck_ = enableMixer;
    if (lowCpuCheck_)
        lowCpuCheck_->setChecked(settings_.videoDeviceLowCpu);
    if (enableMixerCheck_)
        enableMixerCheck_->setChecked(settings_.videoDeviceEnableVmrMixer);
}

void CSourceMain::CheckRadio(QRadioButton* button, bool checked)
{
    // Radio buttons of one parent exclude each other; "neither" needs the exclusion lifted.
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(true);
}

void CSourceMain::ShowSourceSettings()
{
    loading_ = true;
    CheckRadio(fileButton_, settings_.sourceType == SourceSettings::CollectFile);
    CheckRadio(videoButton_, settings_.sourceType == SourceSettings::VideoDevice);
    video_->SetStoredFormat(settings_.videoDeviceId, CaptureFormat::FromSetting(settings_.videoDeviceFormat));
    video_->SetSelectedDevice(settings_.videoDeviceId);
    if (lowCpuCheck_)
        lowCpuCheck_->setChecked(settings_.videoDeviceLowCpu);
    if (enableMixerCheck_)
        enableMixerCheck_->setChecked(settings_.videoDeviceEnableVmrMixer);
    file_->ShowSettings(settings_.fileCollectDirectory, settings_.fileCollectMask,
                        settings_.fileCollectDeleteOnCollection);
    resizeCheck_->setChecked(settings_.resize);
    cropCheck_->setChecked(settings_.crop);
    const std::array<std::int32_t, EditCount> values = {settings_.cropOriginX, settings_.cropOriginY,
                                                        settings_.cropWidth,   settings_.cropHeight,
                                                        settings_.resizeWidth, settings_.resizeHeight};
    for (int edit = 0; edit < EditCount; ++edit)
        edits_[edit]->setText(QString::number(values[edit]));
    loading_ = false;
    // The stored Low CPU choice is in force from the first connection, not from the first Apply.
    video_->SetInterframeDelay(InterframeDelay());
    UpdateSourceState();
}

int CSourceMain::InterframeDelay() const
{
    return settings_.videoDeviceLowCpu ? settings_.videoDeviceLowCpuInterframeDelayMs : 0;
}

std::int32_t CSourceMain::ValueInForce(Edit edit) const
{
    switch (edit) {
    case OriginX:
        return settings_.cropOriginX;
    case OriginY:
        return settings_.cropOriginY;
    case CropWidth:
        return settings_.cropWidth;
    case CropHeight:
        return settings_.cropHeight;
    case ResizeWidth:
        return settings_.resizeWidth;
    case ResizeHeight:
    case EditCount:
        break;
    }
    return settings_.resizeHeight;
}

std::int32_t CSourceMain::EditValue(Edit edit) const
{
    // A field emptied to be typed again stands for the value in force.
    return Utils::Controls::EditedInteger(edits_[edit]->text()).value_or(ValueInForce(edit));
}

void CSourceMain::ApplySourceSettings()
{
    const SourceSettings before = settings_;
    if (fileButton_->isChecked())
        settings_.sourceType = SourceSettings::CollectFile;
    else if (videoButton_->isChecked())
        settings_.sourceType = SourceSettings::VideoDevice;

    const QString directory = file_->DirectoryText();
    const QString mask = file_->MaskText();
    if (directory != settings_.fileCollectDirectory || mask != settings_.fileCollectMask) {
        settings_.fileCollectDirectory = directory;
        settings_.fileCollectMask = mask;
        file_->ResetCollection();
    }
    settings_.fileCollectDeleteOnCollection = file_->DeleteOnCollectChecked();
    settings_.videoDeviceId = video_->SelectedDevice();
    settings_.videoDeviceFormat = video_->SelectedFormat().ToSetting();
    if (lowCpuCheck_)
        settings_.videoDeviceLowCpu = lowCpuCheck_->isChecked();
    if (enableMixerCheck_)
        settings_.videoDeviceEnableVmrMixer = enableMixerCheck_->isChecked();
    settings_.resize = resizeCheck_->isChecked();
    settings_.crop = cropCheck_->isChecked();
    // An emptied field keeps (and shows again) the value in force.
    std::array<std::int32_t, EditCount> applied{};
    for (int edit = 0; edit < EditCount; ++edit)
        applied[edit] = Utils::Controls::ApplyEditInteger(edits_[edit], ValueInForce(Edit(edit)));
    settings_.resizeWidth = applied[ResizeWidth];
    settings_.resizeHeight = applied[ResizeHeight];
    settings_.cropOriginX = applied[OriginX];
    settings_.cropOriginY = applied[OriginY];
    settings_.cropWidth = applied[CropWidth];
    settings_.cropHeight = applied[CropHeight];

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

void CSourceMain::UpdateSourceState()
{
    const bool fileChecked = fileButton_->isChecked();
    const bool videoChecked = videoButton_->isChecked();
    if (fileChecked) {
        video_->hide();
        file_->show();
        file_->RefreshFileDisplay();
    }
    if (videoChecked) {
        file_->hide();
        video_->show();
        video_->RefreshVideoDisplay();
    }
    // A radio button takes effect on the live sources at once: until the choice is applied or
    // reverted, both sources may run.
    if (fileChecked || settings_.sourceType == SourceSettings::CollectFile)
        file_->StartDirectoryMonitor();
    else
        file_->StopDirectoryMonitor();
    if (videoChecked || settings_.sourceType == SourceSettings::VideoDevice)
        video_->ConnectDevice();
    else
        video_->ClearDeviceSelection();
    for (Edit edit : {OriginX, OriginY, CropWidth, CropHeight})
        edits_[edit]->setEnabled(cropCheck_->isChecked());
    for (Edit edit : {ResizeWidth, ResizeHeight})
        edits_[edit]->setEnabled(resizeCheck_->isChecked());
}

void CSourceMain::OnEditChanged(Edit edit)
{
    Utils::Controls::ClampEditInteger(edits_[edit], EditBounds[edit].minimum, EditBounds[edit].maximum);
    if (loading_)
        return;
    emit Changed();
    UpdateSourceState();
}

void CSourceMain::OnControlClicked()
{
    if (loading_)
        return;
    emit Changed();
    UpdateSourceState();
}

CropSettings CSourceMain::LiveCrop() const
{
    CropSettings crop;
    crop.enabled = cropCheck_->isChecked();
    crop.crop = QRect(EditValue(OriginX), EditValue(OriginY), EditValue(CropWidth), EditValue(CropHeight));
    crop.hatchStyle = settings_.cropHatchStyle;
    return crop;
}

void CSourceMain::RequestImage(QObject* requester, bool peek)
{
    requester_ = requester;
    if (settings_.sourceType == SourceSettings::CollectFile)
        file_->DeliverFileImage(peek);
    else if (settings_.sourceType == SourceSettings::VideoDevice)
        video_->RequestStill();
}

bool CSourceMain::ProcessSourceImage(const ImageFrame& frame)
{
    return processor_.Process(frame, requester_.data(), settings_);
}

QString CSourceMain::GetSourceStatusText() const
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
        case CSourceVideoDevice::ConnectionState::NotStarted:
        case CSourceVideoDevice::ConnectionState::Disconnected:
            state = QStringLiteral("Disconnected");
            break;
        case CSourceVideoDevice::ConnectionState::Connecting:
            state = QStringLiteral("Connecting");
            break;
        case CSourceVideoDevice::ConnectionState::Disconnecting:
            break;
        case CSourceVideoDevice::ConnectionState::Connected:
        case CSourceVideoDevice::ConnectionState::Streaming:
            state = QStringLiteral("Connected to ") + video_->FriendlyName();
            break;
        }
    }
    return QStringLiteral("Source: Video Device - ") + state;
}

void CSourceMain::PostToOwner(const char* name, std::int64_t wParam, const QString* text)
{
    if (!owner_)
        return;
    auto* event = new MessageEvent(RegisterNamedMessage(QString::fromLatin1(name)), wParam);
    if (text)
        event->text = *text;
    QCoreApplication::postEvent(owner_, event);
}

void CSourceMain::ReportSourceError(const QString& text)
{
    PostToOwner(MessageName::SourceNotify, SourceErrorCode, &text);
}

void CSourceMain::AnnounceNewImage()
{
    PostToOwner(MessageName::SourceNewImageAvailable);
    announce_ = false;
}

void CSourceMain::AnnounceStatusUpdated()
{
    PostToOwner(MessageName::SourceStatusUpdated);
}
