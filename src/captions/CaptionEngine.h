#pragma once

#include "CCaptionData.h"
#include "CaptionJobRunner.h"
#include "ColourText.h"
#include "ImageFrame.h"
#include "SettingsFile.h"

#include <QObject>

#include <array>
#include <vector>

class Clock;

// The captions in force and the page-wide caption settings, and drawing those captions onto
// each processed image on a worker thread. It keeps a copy of the last image as it came, for
// the editor's sample.
class CaptionEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptionEngine)

public:
    explicit CaptionEngine(const Clock& clock, QObject* parent = nullptr);
    ~CaptionEngine() override;

    void LoadSettings(const SettingsList& list);
    void SaveSettings(SettingsList& list) const;
    // A first start: two example captions after those in force.
    void AddExampleCaptions();

    const std::vector<CCaptionData>& AppliedCaptions() const { return applied_; }
    // The captions drawn from the next image on.
    void SetCaptions(const std::vector<CCaptionData>& captions) { applied_ = captions; }
    const std::array<ColourValue, 16>& CustomColours() const { return customColours_; }
    // The colour chooser's sixteen custom colours, saved with the captions.
    void SetCustomColours(const std::array<ColourValue, 16>& colours) { customColours_ = colours; }
    int SampleBorderHatchStyle() const { return sampleBorderHatchStyle_; }
    // The clock the captions' time tokens read (the editor's sample reads the same).
    const Clock& TokenClock() const { return clock_; }

    // Captions the image in the background (see CaptionJobRunner) and keeps a copy of it as
    // it was, for the editor's sample; an empty image is ignored.
    void ProcessImage(ImageFrame& image, QObject* notify);
    bool CaptionsBusy() const { return jobs_.Busy(); }
    void WaitForCaptionJobs() { jobs_.WaitForAll(); }
    // At exit: false when a caption job is still drawing after timeoutMs.
    bool FinishCaptionJobs(int timeoutMs) { return jobs_.WaitForAllFor(timeoutMs); }
    const ImageFrame& LastSourceImage() const { return lastSourceImage_; }

signals:
    // The last source image changed (the editor's sample is out of date).
    void SampleUpdated();

private:
    const Clock& clock_;
    std::vector<CCaptionData> applied_;
    int sampleBorderHatchStyle_ = 3;
    std::array<ColourValue, 16> customColours_{};
    ImageFrame lastSourceImage_;
    CaptionJobRunner jobs_;
};
