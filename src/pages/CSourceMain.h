#pragma once

#include "Utils/Classes/CPage.h"
#include "sources/CropThumbnail.h"

#include <QPointer>

#include <array>
#include <cstdint>

class CSourceFile;
class CSourceVideoDevice;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;
class SourceEngine;

// The "Source" page: which source supplies images and the crop and resize applied to them. It
// shows the source engine's settings, edits a copy and hands it back on Apply; the source
// chosen and the crop typed act on the running sources before that.
class CSourceMain final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSourceMain)

public:
    // The six numeric edits, in the order Origin X, Origin Y, crop Width, crop Height, resize
    // Width, resize Height.
    enum Edit
    {
        OriginX,
        OriginY,
        CropWidth,
        CropHeight,
        ResizeWidth,
        ResizeHeight,
        EditCount
    };

    explicit CSourceMain(SourceEngine& engine, QWidget* parent = nullptr);
    ~CSourceMain() override;

    void ApplyPage() override { ApplySourceSettings(); }
    void RefreshPage() override;

    void ShowSourceSettings();
    void ApplySourceSettings();

    // The Advanced page's Low CPU and Enable Mixer check boxes, which this page shows and reads.
    void SetAdvancedCheckBoxes(QCheckBox* lowCpu, QCheckBox* enableMixer);

    // The crop rectangle of the edits (not yet applied) and whether "Crop" is checked.
    CropSettings LiveCrop() const;
    // A crop dragged with the mouse on a picture: into the four fields (clamped as typed), the
    // pictures redrawn, Apply enabled.
    void SetCropFromMouse(const QRect& crop);
    // The icons of the file's and the camera's own windows.
    void SetWindowIcons(const QIcon& file, const QIcon& video);

    SourceEngine& Engine() const { return engine_; }
    CSourceFile* FilePage() const { return file_; }
    CSourceVideoDevice* VideoPage() const { return video_; }
    QRadioButton* CollectFileButton() const { return fileButton_; }
    QRadioButton* VideoDeviceButton() const { return videoButton_; }
    QCheckBox* CropCheck() const { return cropCheck_; }
    QCheckBox* ResizeCheck() const { return resizeCheck_; }
    QLineEdit* EditAt(Edit edit) const { return edits_[edit]; }

private:
    void OnEditChanged(Edit edit);
    void OnControlClicked();
    // Hands the source chosen and the crop shown to the engine and shows the chosen sub-page.
    void ShowChoices();
    void CheckRadio(QRadioButton* button, bool checked);
    std::int32_t ValueInForce(Edit edit) const;
    std::int32_t EditValue(Edit edit) const;

    SourceEngine& engine_;
    bool loading_ = false;

    QRadioButton* fileButton_ = nullptr;
    QRadioButton* videoButton_ = nullptr;
    QGroupBox* sourceFrame_ = nullptr;
    QCheckBox* cropCheck_ = nullptr;
    QCheckBox* resizeCheck_ = nullptr;
    std::array<QLineEdit*, EditCount> edits_{};
    QPointer<QCheckBox> lowCpuCheck_;
    QPointer<QCheckBox> enableMixerCheck_;
    CSourceFile* file_ = nullptr;
    CSourceVideoDevice* video_ = nullptr;
};
