#include "CCaptionMain.h"

#include "CCaptionDlg.h"
#include "CCaptionTabBar.h"
#include "TextFit.h"
#include "captions/CaptionEngine.h"

#include <QTabBar>
#include <QVBoxLayout>

CCaptionMain::CCaptionMain(CaptionEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("Captions"));
    tabs_ = new CCaptionTabBar(this);
    tabs_->setExpanding(false);
    tabs_->setElideMode(Qt::ElideNone);
    // The editor lies under the tabs and shows the caption of the selected one.
    editor_ = new CCaptionDlg(engine_.TokenClock(), engine_, edited_, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(editor_, 1);
    connect(this, &CCaptionMain::CaptionSelected, editor_, &CCaptionDlg::ShowCaption);
    connect(editor_, &CCaptionDlg::Changed, this, &CPage::Changed);
    connect(editor_, &CCaptionDlg::TextChanged, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(edited_.size()))
            tabs_->setTabText(index, TabLabel(edited_[index]));
    });
    connect(editor_, &CCaptionDlg::DeleteRequested, this, [this] { DeleteCaption(-1, true); });
    RebuildTabs(0);
    connect(tabs_, &QTabBar::currentChanged, this, &CCaptionMain::OnTabChanged);
    // With no caption yet, "New" is already the current tab: a click on it changes nothing,
    // so it is taken here, once the tab bar has finished with the press (it would otherwise
    // select the tab that moved under the pointer).
    connect(
        tabs_, &QTabBar::tabBarClicked, this,
        [this](int index) {
            if (index == tabs_->currentIndex() && index == static_cast<int>(edited_.size()))
                OnTabChanged(index);
        },
        Qt::QueuedConnection);
}

CCaptionMain::~CCaptionMain() = default;

QString CCaptionMain::ShortenToWidth(const QString& text, int width, const QFontMetrics& metrics)
{
    // A label is shown whole only when it is narrower than the width.
    return ShortenWithDots(text, metrics, width - 1, width);
}

QString CCaptionMain::TabLabel(const CCaptionData& caption) const
{
    return ShortenToWidth(caption.text, TabLabelWidth, tabs_->fontMetrics());
}

void CCaptionMain::RebuildTabs(int select)
{
    updatingTabs_ = true;
    while (tabs_->count() > 0)
        tabs_->removeTab(0);
    for (const CCaptionData& caption : edited_)
        tabs_->addTab(TabLabel(caption));
    tabs_->addTab(tr("New"));
    tabs_->setCurrentIndex(std::clamp(select, 0, tabs_->count() - 1));
    updatingTabs_ = false;
}

int CCaptionMain::SelectedIndex() const
{
    const int index = tabs_->currentIndex();
    return index >= 0 && index < static_cast<int>(edited_.size()) ? index : -1;
}

void CCaptionMain::Select(int index, bool notify)
{
    updatingTabs_ = true;
    tabs_->setCurrentIndex(index);
    updatingTabs_ = false;
    if (notify)
        emit CaptionSelected(SelectedIndex());
}

void CCaptionMain::OnTabChanged(int index)
{
    if (updatingTabs_)
        return;
    if (index == static_cast<int>(edited_.size())) {
        // "New": a blank caption in the font and colours of the last one.
        CCaptionData caption;
        if (!edited_.empty()) {
            const CCaptionData& last = edited_.back();
            caption.fontName = last.fontName;
            caption.fontWeight = last.fontWeight;
            caption.fontItalic = last.fontItalic;
            caption.fontSize = last.fontSize;
            caption.textColour = last.textColour;
            caption.backgroundColour = last.backgroundColour;
            caption.textAlpha = last.textAlpha;
            caption.backgroundAlpha = last.backgroundAlpha;
        }
        AddCaption(caption);
        emit Changed();
        return;
    }
    emit CaptionSelected(SelectedIndex());
}

void CCaptionMain::AddCaption(const CCaptionData& caption)
{
    edited_.push_back(caption);
    updatingTabs_ = true;
    const int index = static_cast<int>(edited_.size()) - 1;
    tabs_->insertTab(index, TabLabel(caption));
    tabs_->setCurrentIndex(index);
    updatingTabs_ = false;
    emit CaptionSelected(index);
}

void CCaptionMain::DeleteCaption(int index, bool notify)
{
    if (index == -1)
        index = SelectedIndex();
    if (index < 0 || index >= static_cast<int>(edited_.size()))
        return;
    edited_.erase(edited_.begin() + index);
    updatingTabs_ = true;
    tabs_->removeTab(index);
    updatingTabs_ = false;
    if (edited_.empty())
        AddCaption(CCaptionData());
    Select(index <= 1 ? 0 : index - 1, notify);
}

void CCaptionMain::ApplyCaptions()
{
    engine_.SetCaptions(edited_);
}

void CCaptionMain::RevertCaptions()
{
    // The editor always has a caption to show; nothing is drawn until the user applies it.
    edited_ = engine_.AppliedCaptions();
    if (edited_.empty())
        edited_.emplace_back();
    RebuildTabs(0);
    emit CaptionSelected(SelectedIndex());
}
