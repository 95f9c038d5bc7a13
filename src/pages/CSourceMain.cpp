#include "CSourceMain.h"

#include "CSourceFile.h"
#include "CSourceVideoDevice.h"
#include "Utils/Controls/ClampEditInteger.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

#include <QButtonGroup>
#include <QCheckBox>
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

// No source button checked.
constexpr std::int32_t NoSourceChosen = -1;
} // namespace

CSourceMain::CSourceMain(SourceEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("Source"));

    fileButton_ = new QRadioButton(tr("Collect File"), this);
    videoButton_ = new QRadioButton(tr("Capture from Video Device"), this);
    auto* radios = new QHBoxLayout;
    radios->addWidget(fileButton_);
    radios->addWidget(videoButton_);
    radios->addStretch(1);

    sourceFrame_ = new QGroupBox(this);
    file_ = new CSourceFile(*engine_.FileSource(), sourceFrame_);
    video_ = new CSourceVideoDevice(*engine_.VideoSource(), sourceFrame_);
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
    connect(file_, &CSourceFile::CropDragged, this, &CSourceMain::SetCropFromMouse);
    connect(video_, &CSourceVideoDevice::CropDragged, this, &CSourceMain::SetCropFromMouse);
    connect(file_, &CSourceFile::Changed, this, &CSourceMain::Changed);
    connect(video_, &CSourceVideoDevice::Changed, this, &CSourceMain::Changed);
    connect(&engine_, &SourceEngine::ChoicesReset, this, &CSourceMain::ShowSourceSettings);

    ShowSourceSettings();
}

CSourceMain::~CSourceMain() = default;

void CSourceMain::RefreshPage()
{
    engine_.RevertChoices(); // shown again when the engine resets the choices
}

void CSourceMain::SetAdvancedCheckBoxes(QCheckBox* lowCpu, QCheckBox* enableMixer)
{
    lowCpuCheck_ = lowCpu;
    enableMixerCheck_ = enableMixer;
    const SourceSettings& settings = engine_.Settings();
    if (lowCpuCheck_)
        lowCpuCheck_->setChecked(settings.videoDeviceLowCpu);
    if (enableMixerCheck_)
        enableMixerCheck_->setChecked(settings.videoDeviceEnableVmrMixer);
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
    const SourceSettings& settings = engine_.Settings();
    loading_ = true;
    CheckRadio(fileButton_, settings.sourceType == SourceSettings::CollectFile);
    CheckRadio(videoButton_, settings.sourceType == SourceSettings::VideoDevice);
    if (lowCpuCheck_)
        lowCpuCheck_->setChecked(settings.videoDeviceLowCpu);
    if (enableMixerCheck_)
        enableMixerCheck_->setChecked(settings.videoDeviceEnableVmrMixer);
    file_->ShowSettings(settings.fileCollectDirectory, settings.fileCollectMask,
                        settings.fileCollectDeleteOnCollection);
    resizeCheck_->setChecked(settings.resize);
    cropCheck_->setChecked(settings.crop);
    const std::array<std::int32_t, EditCount> values = {settings.cropOriginX, settings.cropOriginY,
                                                        settings.cropWidth,   settings.cropHeight,
                                                        settings.resizeWidth, settings.resizeHeight};
    for (int edit = 0; edit < EditCount; ++edit)
        edits_[edit]->setText(QString::number(values[edit]));
    loading_ = false;
    ShowChoices();
}

std::int32_t CSourceMain::ValueInForce(Edit edit) const
{
    const SourceSettings& settings = engine_.Settings();
    switch (edit) {
    case OriginX:
        return settings.cropOriginX;
    case OriginY:
        return settings.cropOriginY;
    case CropWidth:
        return settings.cropWidth;
    case CropHeight:
        return settings.cropHeight;
    case ResizeWidth:
        return settings.resizeWidth;
    case ResizeHeight:
    case EditCount:
        break;
    }
    return settings.resizeHeight;
}

std::int32_t CSourceMain::EditValue(Edit edit) const
{
    // A field emptied to be typed again stands for the value in force.
    return Utils::Controls::EditedInteger(edits_[edit]->text()).value_or(ValueInForce(edit));
}

void CSourceMain::ApplySourceSettings()
{
    SourceSettings settings = engine_.Settings();
    if (fileButton_->isChecked())
        settings.sourceType = SourceSettings::CollectFile;
    else if (videoButton_->isChecked())
        settings.sourceType = SourceSettings::VideoDevice;
    settings.fileCollectDirectory = file_->DirectoryText();
    settings.fileCollectMask = file_->MaskText();
    settings.fileCollectDeleteOnCollection = file_->DeleteOnCollectChecked();
    settings.videoDeviceId = engine_.VideoSource()->SelectedDevice();
    settings.videoDeviceFormat = engine_.VideoSource()->SelectedFormat().ToSetting();
    settings.networkCameras = engine_.VideoSource()->NetworkCameras();
    if (lowCpuCheck_)
        settings.videoDeviceLowCpu = lowCpuCheck_->isChecked();
    if (enableMixerCheck_)
        settings.videoDeviceEnableVmrMixer = enableMixerCheck_->isChecked();
    settings.resize = resizeCheck_->isChecked();
    settings.crop = cropCheck_->isChecked();
    // An emptied field keeps (and shows again) the value in force.
    std::array<std::int32_t, EditCount> applied{};
    for (int edit = 0; edit < EditCount; ++edit)
        applied[edit] = Utils::Controls::ApplyEditInteger(edits_[edit], ValueInForce(Edit(edit)));
    settings.resizeWidth = applied[ResizeWidth];
    settings.resizeHeight = applied[ResizeHeight];
    settings.cropOriginX = applied[OriginX];
    settings.cropOriginY = applied[OriginY];
    settings.cropWidth = applied[CropWidth];
    settings.cropHeight = applied[CropHeight];

    ShowChoices();
    engine_.ApplySettings(settings);
}

void CSourceMain::ShowChoices()
{
    const bool fileChecked = fileButton_->isChecked();
    const bool videoChecked = videoButton_->isChecked();
    if (fileChecked) {
        video_->hide();
        file_->show();
    }
    if (videoChecked) {
        file_->hide();
        video_->show();
    }
    // The file's own window goes with its source.
    if (!fileChecked)
        file_->CloseFloatingWindow();
    for (Edit edit : {OriginX, OriginY, CropWidth, CropHeight})
        edits_[edit]->setEnabled(cropCheck_->isChecked());
    for (Edit edit : {ResizeWidth, ResizeHeight})
        edits_[edit]->setEnabled(resizeCheck_->isChecked());
    engine_.ChooseSource(fileChecked    ? SourceSettings::CollectFile
                         : videoChecked ? SourceSettings::VideoDevice
                                        : NoSourceChosen);
    engine_.SetLiveCrop(LiveCrop());
}

void CSourceMain::OnEditChanged(Edit edit)
{
    Utils::Controls::ClampEditInteger(edits_[edit], EditBounds[edit].minimum, EditBounds[edit].maximum);
    if (loading_)
        return;
    emit Changed();
    ShowChoices();
    engine_.UpdateSourceState();
}

void CSourceMain::OnControlClicked()
{
    if (loading_)
        return;
    emit Changed();
    ShowChoices();
    engine_.UpdateSourceState();
}

void CSourceMain::SetCropFromMouse(const QRect& crop)
{
    loading_ = true;
    edits_[OriginX]->setText(QString::number(crop.x()));
    edits_[OriginY]->setText(QString::number(crop.y()));
    edits_[CropWidth]->setText(QString::number(crop.width()));
    edits_[CropHeight]->setText(QString::number(crop.height()));
    loading_ = false;
    emit Changed();
    ShowChoices();
    engine_.UpdateSourceState();
}

void CSourceMain::SetWindowIcons(const QIcon& file, const QIcon& video)
{
    file_->SetFloatingIcon(file);
    video_->SetFloatingIcon(video);
}

CropSettings CSourceMain::LiveCrop() const
{
    CropSettings crop;
    crop.enabled = cropCheck_->isChecked();
    crop.crop = QRect(EditValue(OriginX), EditValue(OriginY), EditValue(CropWidth), EditValue(CropHeight));
    crop.hatchStyle = engine_.Settings().cropHatchStyle;
    return crop;
}
