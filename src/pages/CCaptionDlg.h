#pragma once

#include "captions/CCaptionData.h"

#include <QWidget>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

class CaptionEngine;
class CCaptionSampleView;
class Clock;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Utils::Controls {
class CButtonColourSwatch;
class CButtonSystem;
class CUpDownControl;
} // namespace Utils::Controls

// The caption editor under the Captions page's tabs: the fields of the selected caption and
// the sample below them. Every change goes into the edited captions at once and asks for Apply;
// processed images change only once they are applied.
class CCaptionDlg final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCaptionDlg)

public:
    static constexpr int MinPosition = -9999, MaxPosition = 9999;

    // `edited` is the page's list of edited captions; it outlives the editor.
    CCaptionDlg(const Clock& clock, CaptionEngine& engine, std::vector<CCaptionData>& edited,
                QWidget* parent = nullptr);
    ~CCaptionDlg() override;

    // Shows the caption at the index (-1: none) and heads the sample for it.
    void ShowCaption(int index);
    int Selected() const { return selected_; }
    bool Expanded() const { return expanded_; }

    // What OK in the font chooser and the colour chooser do (the choosers call these).
    void ApplyFontChoice(const QFont& font);
    void ApplyColourChoice(bool textColour, const QColor& colour);
    // The size "A" is drawn at on the font button: the largest that fits the button's inner area
    // (an eighth of its width and height off each side), or the caption's size when all up to
    // 100 fit or the face cannot be measured.
    static int FittedButtonSize(const CCaptionData& caption, QSize button);

    QPushButton* FontButton() const { return fontButton_; }
    Utils::Controls::CButtonColourSwatch* TextColourButton() const { return textColour_; }
    Utils::Controls::CButtonColourSwatch* BackgroundColourButton() const { return backgroundColour_; }
    QLineEdit* TextAlphaEdit() const { return textAlpha_; }
    QLineEdit* BackgroundAlphaEdit() const { return backgroundAlpha_; }
    QLineEdit* XEdit() const { return x_; }
    QLineEdit* YEdit() const { return y_; }
    Utils::Controls::CUpDownControl* XArrows() const { return xArrows_; }
    Utils::Controls::CUpDownControl* YArrows() const { return yArrows_; }
    QRadioButton* JustifyButton(int justify) const { return justify_[std::clamp(justify, 0, 2)]; }
    Utils::Controls::CButtonSystem* DeleteButton() const { return delete_; }
    Utils::Controls::CButtonSystem* ExpandButton() const { return expand_; }
    QLineEdit* TextEdit() const { return text_; }
    CCaptionSampleView* Sample() const { return sample_; }

signals:
    // A change for Apply.
    void Changed();
    // The caption's text changed: its tab label is renewed.
    void TextChanged(int index);
    void DeleteRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CCaptionData* Caption();
    void FillControls();
    void FitFontButton();
    // After a change of the fields: with reload the controls are filled again from the record.
    void Refresh(bool reload);
    void OnNumberEdited(QLineEdit* edit, int minimum, int maximum, std::int32_t CCaptionData::*field);
    void OnAlphaEdited(QLineEdit* edit, std::uint8_t CCaptionData::*field);
    void OnJustify(int justify);
    void ChooseFont();
    void ChooseColour(bool textColour);
    void ToggleExpanded();
    bool SpinHeld() const;

    const Clock& clock_;
    CaptionEngine& engine_;
    std::vector<CCaptionData>& edited_;
    int selected_ = -1;
    bool loadingControls_ = false;
    bool expanded_ = false;
    QPushButton* fontButton_ = nullptr;
    Utils::Controls::CButtonColourSwatch* textColour_ = nullptr;
    Utils::Controls::CButtonColourSwatch* backgroundColour_ = nullptr;
    QLineEdit* textAlpha_ = nullptr;
    QLineEdit* backgroundAlpha_ = nullptr;
    Utils::Controls::CUpDownControl* textAlphaArrows_ = nullptr;
    Utils::Controls::CUpDownControl* backgroundAlphaArrows_ = nullptr;
    QLineEdit* x_ = nullptr;
    QLineEdit* y_ = nullptr;
    Utils::Controls::CUpDownControl* xArrows_ = nullptr;
    Utils::Controls::CUpDownControl* yArrows_ = nullptr;
    std::array<QRadioButton*, 3> justify_{};
    Utils::Controls::CButtonSystem* delete_ = nullptr;
    Utils::Controls::CButtonSystem* expand_ = nullptr;
    QLineEdit* text_ = nullptr;
    CCaptionSampleView* sample_ = nullptr;
};
