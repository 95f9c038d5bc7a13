#pragma once

#include "SourceHost.h"
#include "SourceImageProcessor.h"
#include "SourceSettings.h"
#include "Utils/Classes/CPage.h"

#include <QPointer>

class CSourceFile;
class CSourceVideoDevice;
class Clock;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

// The "Source" page: which source supplies images, the crop and resize applied to them, and
// the answer to the controller's requests. It owns the two source sub-pages and the
// crop/resize step, and tells the controller (the owner) when a new image can be had.
class CSourceMain final : public Utils::Classes::CPage, public SourceHost
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

    CSourceMain(const Clock& clock, const QString& dataDirectory, QWidget* parent = nullptr);
    ~CSourceMain() override;

    void LoadSettings(const SettingsList& list) override;
    void SaveSettings(SettingsList& list) const override;
    void ApplyPage() override { ApplySourceSettings(); }
    void RefreshPage() override { ShowSourceSettings(); }

    void ShowSourceSettings();
    void ApplySourceSettings();

    // The controller's window for UWM_SOURCE_NEW_IMAGE_AVAILABLE, UWM_SOURCE_STATUS_UPDATED and
    // UWM_SOURCE_NOTIFY; set once.
    void SetOwner(QObject* owner) { owner_ = owner; }
    // The Advanced page's Low CPU and Enable Mixer check boxes, which this page shows and reads.
    void SetAdvancedCheckBoxes(QCheckBox* lowCpu, QCheckBox* enableMixer);

    // Asks the active source for its image; the answer (UWM_SOURCE_NEW_IMAGE) goes to the
    // requester, or never comes when the source has nothing to say.
    void RequestImage(QObject* requester, bool peek);
    QString GetSourceStatusText() const;
    // UWM_SOURCE_NOTIFY to the owner: wParam 0x80000000, the text as the message's text.
    void ReportSourceError(const QString& text) override;

    // SourceHost
    const SourceSettings& Settings() const override { return settings_; }
    CropSettings LiveCrop() const override;
    bool ProcessSourceImage(const ImageFrame& frame) override;
    void AnnounceNewImage() override;
    void AnnounceStatusUpdated() override;
    void UpdateSourceState() override;
    void SubPageChanged() override { emit Changed(); }

    bool AnnouncePending() const { return announce_; }
    void SetAnnouncePending() { announce_ = true; }
    CSourceFile* FileSource() const { return file_; }
    CSourceVideoDevice* VideoSource() const { return video_; }
    QRadioButton* CollectFileButton() const { return fileButton_; }
    QRadioButton* VideoDeviceButton() const { return videoButton_; }
    QCheckBox* CropCheck() const { return cropCheck_; }
    QCheckBox* ResizeCheck() const { return resizeCheck_; }
    QLineEdit* EditAt(Edit edit) const { return edits_[edit]; }
    SourceImageProcessor& Processor() { return processor_; }

private:
    void OnEditChanged(Edit edit);
    void OnControlClicked();
    void CheckRadio(QRadioButton* button, bool checked);
    std::int32_t ValueInForce(Edit edit) const;
    std::int32_t EditValue(Edit edit) const;
    // The capture thread's rest between frames under the settings in force (0: none).
    int InterframeDelay() const;
    void PostToOwner(const char* name, std::int64_t wParam = 0, const QString* text = nullptr);

    SourceSettings settings_;
    QPointer<QObject> owner_;
    QPointer<QObject> requester_;
    bool loading_ = false;
    bool announce_ = true;

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
    SourceImageProcessor processor_;
};
