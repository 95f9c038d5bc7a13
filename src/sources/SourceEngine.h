#pragma once

#include "SettingsFile.h"
#include "SourceHost.h"
#include "SourceImageProcessor.h"
#include "SourceSettings.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>

class Clock;
class FileSourceEngine;
class VideoSourceEngine;

// Where images come from: the settings of the two sources and of the crop and resize applied
// to their images, the two sources themselves, and the answers to the controller's requests.
// It tells the controller (the owner) when a new image can be had. Runs with no page at all;
// the Source page shows its settings, edits a copy and hands it back on Apply.
class SourceEngine final : public QObject, public SourceHost
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceEngine)

public:
    SourceEngine(const Clock& clock, const QString& dataDirectory, QObject* parent = nullptr);
    ~SourceEngine() override;

    void LoadSettings(const SettingsList& list);
    void SaveSettings(SettingsList& list) const;
    // Puts the settings in force: a new directory or mask starts the collection afresh, the
    // sources start or stop to match, and an owner hears of a new image when anything that
    // changes the image changed.
    void ApplySettings(const SourceSettings& settings);
    // Drops what a page chose before Apply (the source, the device and format, the crop it
    // shows): the settings in force decide again.
    void RevertChoices();

    // The controller's window for UWM_SOURCE_NEW_IMAGE_AVAILABLE, UWM_SOURCE_STATUS_UPDATED and
    // UWM_SOURCE_NOTIFY; set once.
    void SetOwner(QObject* owner) { owner_ = owner; }
    // Asks the active source for its image; the answer (UWM_SOURCE_NEW_IMAGE) goes to the
    // requester, or never comes when the source has nothing to say.
    void RequestImage(QObject* requester, bool peek);
    QString GetSourceStatusText() const;
    // UWM_SOURCE_NOTIFY to the owner: wParam 0x80000000, the text as the message's text.
    void ReportSourceError(const QString& text) override;
    // UWM_SOURCE_NOTIFY's wParam for AnnounceImageOvertaken: no error.
    static constexpr std::int64_t ImageOvertakenCode = 1;

    FileSourceEngine* FileSource() const { return file_.get(); }
    VideoSourceEngine* VideoSource() const { return video_.get(); }

    // A page's choices that take effect before Apply, with the next UpdateSourceState: the
    // source whose button is checked runs (until applied or reverted both may run; another
    // value: none checked), and the crop its edits show is drawn over the thumbnail and the
    // video.
    void ChooseSource(std::int32_t sourceType);
    std::int32_t ChosenSource() const { return chosen_; }
    void SetLiveCrop(const CropSettings& crop);

    // SourceHost
    const SourceSettings& Settings() const override { return settings_; }
    CropSettings LiveCrop() const override;
    bool ProcessSourceImage(const ImageFrame& frame) override;
    void AnnounceNewImage() override;
    void AnnounceImageOvertaken() override;
    void AnnounceStatusUpdated() override;
    void UpdateSourceState() override;

    // The capture thread's rest between frames under the settings in force (0: none).
    int InterframeDelay() const;
    bool AnnouncePending() const { return announce_; }
    void SetAnnouncePending() { announce_ = true; }
    SourceImageProcessor& Processor() { return processor_; }

signals:
    // The settings in force are the choices again (loaded, or a page's edits reverted): a page
    // shows them.
    void ChoicesReset();

private:
    void PostToOwner(const char* name, std::int64_t wParam = 0, const QString* text = nullptr);

    SourceSettings settings_;
    std::int32_t chosen_ = SourceSettings::VideoDevice;
    std::optional<CropSettings> liveCrop_;
    QPointer<QObject> owner_;
    QPointer<QObject> requester_;
    bool announce_ = true;
    SourceImageProcessor processor_;
    std::unique_ptr<FileSourceEngine> file_;
    std::unique_ptr<VideoSourceEngine> video_;
};
