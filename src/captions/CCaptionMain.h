#pragma once

#include "CCaptionData.h"
#include "CCaptionTabBar.h"
#include "CaptionJobRunner.h"
#include "ColourText.h"
#include "ImageFrame.h"
#include "Utils/Classes/CPage.h"

#include <array>
#include <vector>

class Clock;
class CCaptionTabBar;
class QTabBar;

// The "Captions" page and its component: the captions being edited (one tab each, then
// "New"), the captions in force, the page-wide caption settings, and drawing the captions in
// force onto each processed image on a worker thread.
class CCaptionMain final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCaptionMain)

public:
    static constexpr int TabLabelWidth = 80;

    explicit CCaptionMain(const Clock& clock, QWidget* parent = nullptr);
    ~CCaptionMain() override;

    // Settings: LoadCaptions, SaveCaptions, ApplyCaptions (OK, Apply), RevertCaptions (Cancel).
    void LoadSettings(const SettingsList& list) override;
    void SaveSettings(SettingsList& list) const override;
    void ApplyPage() override { ApplyCaptions(); }
    void RefreshPage() override { RevertCaptions(); }

    void AddExampleCaptions();
    void ApplyCaptions();
    void RevertCaptions();
    // Appends a copy and selects its tab.
    void AddCaption(const CCaptionData& caption);
    // -1 deletes the selected caption; the page never runs out of captions.
    void DeleteCaption(int index, bool notify);

    // Captions the image in the background (see CaptionJobRunner) and keeps a copy of it as
    // it was, for the editor's sample; an empty image is ignored.
    void ProcessImage(ImageFrame& image, QObject* notify);
    // The sample: a copy of the last source image with the given captions, drawn here and now.
    void RenderSample(ImageFrame& target, const std::vector<CCaptionData>& captions) const;
    bool CaptionsBusy() const { return jobs_.Busy(); }
    void WaitForCaptionJobs() { jobs_.WaitForAll(); }
    // At exit: false when a caption job is still drawing after timeoutMs.
    bool FinishCaptionJobs(int timeoutMs) { return jobs_.WaitForAllFor(timeoutMs); }

    const std::vector<CCaptionData>& EditedCaptions() const { return edited_; }
    std::vector<CCaptionData>& EditedCaptions() { return edited_; }
    const std::vector<CCaptionData>& AppliedCaptions() const { return applied_; }
    int SelectedIndex() const;
    QTabBar* Tabs() const { return tabs_; }
    const std::array<ColourValue, 16>& CustomColours() const { return customColours_; }
    int SampleBorderHatchStyle() const { return sampleBorderHatchStyle_; }
    const ImageFrame& LastSourceImage() const { return lastSourceImage_; }

    // The text as wide as fits in `width` pixels of the metrics, ending in "..." when cut.
    static QString ShortenToWidth(const QString& text, int width, const QFontMetrics& metrics);

signals:
    // The editor is to show the caption of this tab.
    void CaptionSelected(int index);
    // The last source image changed (the editor's sample is out of date).
    void SampleUpdated();

private:
    void OnTabChanged(int index);
    void RebuildTabs(int select);
    QString TabLabel(const CCaptionData& caption) const;
    void Select(int index, bool notify);

    const Clock& clock_;
    std::vector<CCaptionData> edited_;
    std::vector<CCaptionData> applied_;
    int sampleBorderHatchStyle_ = 3;
    std::array<ColourValue, 16> customColours_{};
    ImageFrame lastSourceImage_;
    CCaptionTabBar* tabs_ = nullptr;
    bool updatingTabs_ = false;
    CaptionJobRunner jobs_;
};
