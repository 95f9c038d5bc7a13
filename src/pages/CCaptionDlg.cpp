#include "CCaptionDlg.h"

#include "CCaptionSampleView.h"
#include "ColourText.h"
#include "Utils/Controls/CButtonColourSwatch.h"
#include "Utils/Controls/CButtonSystem.h"
#include "Utils/Controls/CUpDownControl.h"
#include "Utils/Controls/ClampEditInteger.h"
#include "captions/CaptionEngine.h"
#include "captions/CaptionRenderer.h"

#include <QColorDialog>
#include <QElapsedTimer>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

using Utils::Controls::CButtonColourSwatch;
using Utils::Controls::CButtonSystem;
using Utils::Controls::CUpDownControl;

namespace {
QColor ToQColor(const QString& text)
{
    const ColourValue colour = ColourFromText(text);
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QString FromQColor(const QColor& colour)
{
    return ColourToText(MakeColour(colour.red(), colour.green(), colour.blue()));
}

std::int64_t MonotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.elapsed();
}
} // namespace

CCaptionDlg::CCaptionDlg(const Clock& clock, CaptionEngine& engine, std::vector<CCaptionData>& edited,
                         QWidget* parent)
    : QWidget(parent), clock_(clock), engine_(engine), edited_(edited)
{
    setObjectName(QStringLiteral("CaptionEditor"));
    fontButton_ = new QPushButton(QStringLiteral("A"), this);
    fontButton_->setToolTip(tr("Font"));
    fontButton_->setFixedSize(40, 52);
    textColour_ = new CButtonColourSwatch(this);
    textColour_->setToolTip(tr("Foreground Colour"));
    backgroundColour_ = new CButtonColourSwatch(this);
    backgroundColour_->setToolTip(tr("Background Colour"));
    const auto digits = [this](QLineEdit* edit, const char* pattern) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QString::fromLatin1(pattern)), edit));
        edit->setMaximumWidth(60);
    };
    textAlpha_ = new QLineEdit(this);
    textAlpha_->setToolTip(tr("Foreground Alpha"));
    backgroundAlpha_ = new QLineEdit(this);
    backgroundAlpha_->setToolTip(tr("Background Alpha"));
    digits(textAlpha_, "[0-9]*");
    digits(backgroundAlpha_, "[0-9]*");
    textAlphaArrows_ = new CUpDownControl(textAlpha_, 0, 255, this);
    textAlphaArrows_->setToolTip(tr("Foreground Alpha"));
    backgroundAlphaArrows_ = new CUpDownControl(backgroundAlpha_, 0, 255, this);
    backgroundAlphaArrows_->setToolTip(tr("Background Alpha"));
    x_ = new QLineEdit(this);
    y_ = new QLineEdit(this);
    digits(x_, "-?[0-9]*");
    digits(y_, "-?[0-9]*");
    xArrows_ = new CUpDownControl(x_, MinPosition, MaxPosition, this, CUpDownControl::Arrows::Horizontal);
    // Up moves the caption up the image: a smaller Y.
    yArrows_ = new CUpDownControl(y_, MaxPosition, MinPosition, this);
    const std::array<QString, 3> labels = {tr("Left"), tr("Centre"), tr("Right")};
    const std::array<QString, 3> tips = {tr("Justify Text Left"), tr("Justify Text Centre"),
                                         tr("Justify Text Right")};
    for (int i = 0; i < 3; ++i) {
        justify_[i] = new QRadioButton(labels[i], this);
        justify_[i]->setToolTip(tips[i]);
        connect(justify_[i], &QRadioButton::clicked, this, [this, i] { OnJustify(i); });
    }
    delete_ = new CButtonSystem(CButtonSystem::Glyph::Close, this);
    delete_->setToolTip(tr("Delete Caption"));
    expand_ = new CButtonSystem(CButtonSystem::Glyph::Maximise, this);
    expand_->setToolTip(tr("Taller Sample"));
    text_ = new QLineEdit(this);
    sample_ = new CCaptionSampleView(clock, engine, MonotonicMs, this);
    sample_->SetHoldCheck([this] { return SpinHeld(); });

    auto* appearance = new QGroupBox(tr("Appearance"), this);
    auto* appearanceGrid = new QGridLayout(appearance);
    appearanceGrid->addWidget(fontButton_, 0, 0, 2, 1);
    appearanceGrid->addWidget(new QLabel(tr("Foregnd:"), appearance), 0, 1);
    appearanceGrid->addWidget(textColour_, 0, 2);
    appearanceGrid->addWidget(new QLabel(tr("Alpha:"), appearance), 0, 3);
    appearanceGrid->addWidget(textAlpha_, 0, 4);
    appearanceGrid->addWidget(textAlphaArrows_, 0, 5);
    appearanceGrid->addWidget(new QLabel(tr("Backgnd:"), appearance), 1, 1);
    appearanceGrid->addWidget(backgroundColour_, 1, 2);
    appearanceGrid->addWidget(new QLabel(tr("Alpha:"), appearance), 1, 3);
    appearanceGrid->addWidget(backgroundAlpha_, 1, 4);
    appearanceGrid->addWidget(backgroundAlphaArrows_, 1, 5);
    auto* position = new QGroupBox(tr("Position"), this);
    auto* positionGrid = new QGridLayout(position);
    positionGrid->addWidget(new QLabel(tr("X:"), position), 0, 0);
    positionGrid->addWidget(x_, 0, 1);
    positionGrid->addWidget(xArrows_, 0, 2);
    positionGrid->addWidget(new QLabel(tr("Y:"), position), 1, 0);
    positionGrid->addWidget(y_, 1, 1);
    positionGrid->addWidget(yArrows_, 1, 2);
    auto* justifyColumn = new QVBoxLayout;
    for (QRadioButton* button : justify_)
        justifyColumn->addWidget(button);
    positionGrid->addLayout(justifyColumn, 0, 3, 2, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(appearance);
    top->addWidget(position);
    top->addWidget(delete_, 0, Qt::AlignTop);
    auto* textBox = new QGroupBox(tr("Text"), this);
    auto* textLayout = new QVBoxLayout(textBox);
    textLayout->addWidget(text_);
    auto* sampleBox = new QGroupBox(tr("Sample"), this);
    auto* sampleLayout = new QGridLayout(sampleBox);
    sampleLayout->addWidget(expand_, 0, 1, Qt::AlignRight);
    sampleLayout->addWidget(sample_, 1, 0, 1, 2);
    sampleLayout->setRowStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(textBox);
    layout->addWidget(sampleBox, 1);

    connect(fontButton_, &QPushButton::clicked, this, &CCaptionDlg::ChooseFont);
    connect(textColour_, &QPushButton::clicked, this, [this] { ChooseColour(true); });
    connect(backgroundColour_, &QPushButton::clicked, this, [this] { ChooseColour(false); });
    connect(textAlpha_, &QLineEdit::textChanged, this,
            [this] { OnAlphaEdited(textAlpha_, &CCaptionData::textAlpha); });
    connect(backgroundAlpha_, &QLineEdit::textChanged, this,
            [this] { OnAlphaEdited(backgroundAlpha_, &CCaptionData::backgroundAlpha); });
    connect(x_, &QLineEdit::textChanged, this,
            [this] { OnNumberEdited(x_, MinPosition, MaxPosition, &CCaptionData::positionX); });
    connect(y_, &QLineEdit::textChanged, this,
            [this] { OnNumberEdited(y_, MinPosition, MaxPosition, &CCaptionData::positionY); });
    connect(text_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (loadingControls_ || !Caption())
            return;
        Caption()->text = text;
        emit TextChanged(selected_);
        Refresh(false);
    });
    connect(delete_, &QAbstractButton::clicked, this, [this] {
        selected_ = -1;
        emit DeleteRequested();
        emit Changed();
    });
    connect(expand_, &QAbstractButton::clicked, this, &CCaptionDlg::ToggleExpanded);
    setEnabled(false);
}

CCaptionDlg::~CCaptionDlg() = default;

CCaptionData* CCaptionDlg::Caption()
{
    return selected_ >= 0 && selected_ < static_cast<int>(edited_.size()) ? &edited_[selected_] : nullptr;
}

void CCaptionDlg::ShowCaption(int index)
{
    selected_ = index >= 0 && index < static_cast<int>(edited_.size()) ? index : -1;
    setEnabled(selected_ >= 0);
    sample_->ResetDragOffset();
    FillControls();
    // Selecting draws nothing anew; the sample's own check catches a changed number of captions.
    sample_->RefreshSample(edited_, selected_, false);
}

void CCaptionDlg::FillControls()
{
    const CCaptionData* caption = Caption();
    if (!caption)
        return;
    loadingControls_ = true;
    // Number fields are set only when their text differs, so that a caret stays put.
    const auto set = [](QLineEdit* edit, int value) {
        if (edit->text() != QString::number(value))
            edit->setText(QString::number(value));
    };
    set(x_, caption->positionX);
    set(y_, caption->positionY);
    set(textAlpha_, caption->textAlpha);
    set(backgroundAlpha_, caption->backgroundAlpha);
    if (text_->text() != caption->text)
        text_->setText(caption->text);
    for (int i = 0; i < 3; ++i)
        justify_[i]->setChecked(caption->justify == i);
    textColour_->SetColour(ToQColor(caption->textColour));
    backgroundColour_->SetColour(ToQColor(caption->backgroundColour));
    FitFontButton();
    loadingControls_ = false;
}

int CCaptionDlg::FittedButtonSize(const CCaptionData& caption, QSize button)
{
    const QSize area(button.width() - 2 * (button.width() / 8), button.height() - 2 * (button.height() / 8));
    const auto fits = [&](int size) {
        const QRect box =
            CaptionRenderer::MeasureCaptionText(QStringLiteral("A"), caption.fontName, size,
                                                caption.fontWeight > 400, caption.fontItalic, 0, 0, 0);
        return box.width() <= area.width() && box.height() <= area.height();
    };
    // A face that cannot be measured keeps the caption's size.
    if (CaptionRenderer::MeasureCaptionText(QStringLiteral("A"), caption.fontName, 1, false, false, 0, 0, 0)
            .isNull())
        return caption.fontSize;
    if (fits(100))
        return caption.fontSize;
    // The box grows with the size: halving finds the largest that fits in seven measurements
    // instead of up to a hundred, each time the controls are filled or the button resized.
    int low = 0, high = 100; // low fits (or is 0), high does not
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        (fits(middle) ? low : high) = middle;
    }
    return low;
}

void CCaptionDlg::FitFontButton()
{
    const CCaptionData* caption = Caption();
    if (!caption)
        return;
    QFont font(caption->fontName);
    font.setPointSize(std::max(1, FittedButtonSize(*caption, fontButton_->size())));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(caption->fontWeight, 1, 1000)));
    font.setItalic(caption->fontItalic);
    fontButton_->setFont(font);
}

void CCaptionDlg::Refresh(bool reload)
{
    emit Changed();
    if (loadingControls_)
        return;
    if (reload)
        FillControls();
    sample_->RefreshSample(edited_, selected_, true);
}

void CCaptionDlg::OnNumberEdited(QLineEdit* edit, int minimum, int maximum, std::int32_t CCaptionData::*field)
{
    if (loadingControls_ || !Caption())
        return;
    // An empty field or a lone "-" is 0 and stays as typed, so that a sign can be typed.
    Utils::Controls::ClampEditInteger(edit, minimum, maximum);
    Caption()->*field = Utils::Controls::EditedInteger(edit->text()).value_or(0);
    sample_->ResetDragOffset();
    Refresh(false);
}

void CCaptionDlg::OnAlphaEdited(QLineEdit* edit, std::uint8_t CCaptionData::*field)
{
    if (loadingControls_ || !Caption())
        return;
    Utils::Controls::ClampEditInteger(edit, 0, 255);
    Caption()->*field = static_cast<std::uint8_t>(Utils::Controls::EditedInteger(edit->text()).value_or(0));
    Refresh(false);
}

void CCaptionDlg::OnJustify(int justify)
{
    if (!Caption())
        return;
    Caption()->justify = justify;
    sample_->ResetDragOffset();
    Refresh(true);
}

void CCaptionDlg::ApplyFontChoice(const QFont& font)
{
    CCaptionData* caption = Caption();
    if (!caption)
        return;
    caption->fontName = font.family();
    caption->fontSize = std::max(1, font.pointSize());
    // Qt's weights run from 1 to 1000 like the stored ones (400 normal, 700 bold).
    caption->fontWeight = static_cast<std::int32_t>(font.weight());
    caption->fontItalic = font.italic();
    Refresh(true);
}

void CCaptionDlg::ApplyColourChoice(bool textColour, const QColor& colour)
{
    CCaptionData* caption = Caption();
    if (!caption || !colour.isValid())
        return;
    (textColour ? caption->textColour : caption->backgroundColour) = FromQColor(colour);
    Refresh(true);
}

void CCaptionDlg::ChooseFont()
{
    const CCaptionData* caption = Caption();
    if (!caption)
        return;
    QFont initial(caption->fontName);
    initial.setPointSize(std::max(1, caption->fontSize));
    initial.setWeight(static_cast<QFont::Weight>(std::clamp(caption->fontWeight, 1, 1000)));
    initial.setItalic(caption->fontItalic);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, this, tr("Font"), QFontDialog::ScalableFonts);
    if (ok)
        ApplyFontChoice(chosen);
}

void CCaptionDlg::ChooseColour(bool textColour)
{
    const CCaptionData* caption = Caption();
    if (!caption)
        return;
    std::array<ColourValue, 16> custom = engine_.CustomColours();
    for (int i = 0; i < 16; ++i)
        QColorDialog::setCustomColor(i, QColor(RedOf(custom[i]), GreenOf(custom[i]), BlueOf(custom[i])));
    const QColor chosen =
        QColorDialog::getColor(ToQColor(textColour ? caption->textColour : caption->backgroundColour), this,
                               textColour ? tr("Foreground Colour") : tr("Background Colour"));
    // The custom colours the user changed stay changed, whether or not a colour was chosen.
    for (int i = 0; i < 16; ++i) {
        const QColor colour = QColorDialog::customColor(i);
        custom[i] = MakeColour(colour.red(), colour.green(), colour.blue());
    }
    engine_.SetCustomColours(custom);
    if (chosen.isValid())
        ApplyColourChoice(textColour, chosen);
}

void CCaptionDlg::ToggleExpanded()
{
    expanded_ = !expanded_;
    expand_->SetGlyph(expanded_ ? CButtonSystem::Glyph::Restore : CButtonSystem::Glyph::Maximise);
    // The sample doubles its height; the window grows by as much and shrinks back.
    const int grow = sample_->height();
    sample_->setMinimumHeight(expanded_ ? 2 * grow : 60);
    if (QWidget* top = window(); top && top != this)
        top->resize(top->width(), top->height() + (expanded_ ? grow : -grow / 2));
    sample_->ResetDragOffset();
    sample_->RefreshSample(edited_, selected_, false);
}

bool CCaptionDlg::SpinHeld() const
{
    for (const CUpDownControl* arrows : {xArrows_, yArrows_}) {
        if (arrows->UpButton()->isDown() || arrows->DownButton()->isDown())
            return true;
    }
    return false;
}

void CCaptionDlg::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitFontButton();
}
