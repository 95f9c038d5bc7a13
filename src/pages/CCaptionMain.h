#pragma once

#include "CCaptionTabBar.h"
#include "Utils/Classes/CPage.h"
#include "captions/CCaptionData.h"

#include <vector>

class CaptionEngine;
class CCaptionDlg;
class CCaptionTabBar;
class QTabBar;

// The "Captions" page: the captions being edited (one tab each, then "New"); Apply hands them
// to the caption engine, which draws them from then on.
class CCaptionMain final : public Utils::Classes::CPage
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCaptionMain)

public:
    static constexpr int TabLabelWidth = 80;

    explicit CCaptionMain(CaptionEngine& engine, QWidget* parent = nullptr);
    ~CCaptionMain() override;

    // ApplyCaptions (OK, Apply), RevertCaptions (Cancel, and after the settings are loaded).
    void ApplyPage() override { ApplyCaptions(); }
    void RefreshPage() override { RevertCaptions(); }

    void ApplyCaptions();
    void RevertCaptions();
    // Appends a copy and selects its tab.
    void AddCaption(const CCaptionData& caption);
    // -1 deletes the selected caption; the page never runs out of captions.
    void DeleteCaption(int index, bool notify);

    const std::vector<CCaptionData>& EditedCaptions() const { return edited_; }
    std::vector<CCaptionData>& EditedCaptions() { return edited_; }
    int SelectedIndex() const;
    QTabBar* Tabs() const { return tabs_; }
    CaptionEngine& Engine() const { return engine_; }
    CCaptionDlg* Editor() const { return editor_; }

    // The text as wide as fits in `width` pixels of the metrics, ending in "..." when cut.
    static QString ShortenToWidth(const QString& text, int width, const QFontMetrics& metrics);

signals:
    // The editor is to show the caption of this tab.
    void CaptionSelected(int index);

private:
    void OnTabChanged(int index);
    void RebuildTabs(int select);
    QString TabLabel(const CCaptionData& caption) const;
    void Select(int index, bool notify);

    CaptionEngine& engine_;
    std::vector<CCaptionData> edited_;
    CCaptionTabBar* tabs_ = nullptr;
    CCaptionDlg* editor_ = nullptr;
    bool updatingTabs_ = false;
};
