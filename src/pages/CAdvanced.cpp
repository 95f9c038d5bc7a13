#include "CAdvanced.h"

#include "control/AdvancedSettings.h"

#include "ImageFormat.h"
#include "TextFit.h"
#include "Utils/Controls/CUpDownControl.h"
#include "Utils/Controls/ClampEditInteger.h"
#include "control/Statistics.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <algorithm>

#include <limits>

namespace {
constexpr int RefreshMs = 1000;
}

CAdvanced::CAdvanced(const Clock& clock, const Statistics& statistics, AdvancedSettings& settings,
                     QWidget* parent)
    : CPage(parent), statistics_(statistics), settings_(settings), stopwatch_(clock)
{
    setObjectName(QStringLiteral("Advanced"));
    stopwatch_.StartStopwatch(UptimeName);

    auto* stats = new QGroupBox(tr("Statistics"), this);
    auto* grid = new QGridLayout(stats);
    uptime_ = new QLabel(stats);
    grid->addWidget(new QLabel(tr("Uptime:"), stats), 0, 0);
    grid->addWidget(uptime_, 0, 1, 1, 3);
    const std::array<QString, CounterCount> labels = {
        tr("Cycles:"),       tr("Email Cycles:"), tr("FTP Cycles:"),    tr("Total Errors:"),
        tr("Email Errors:"), tr("FTP Errors:"),   tr("Source Errors:"), tr("Images Skipped:")};
    for (int i = 0; i < CounterCount; ++i) {
        counters_[i] = new QLabel(stats);
        // Cycles in the left column, errors in the right; source errors and skipped images
        // below them.
        const int row = 1 + (i < 3 ? i : (i < 6 ? i - 3 : 3));
        const int column = (i < 3 || i == 6) ? 0 : 2;
        grid->addWidget(new QLabel(labels[i], stats), row, column);
        grid->addWidget(counters_[i], row, column + 1);
    }
    lastError_ = new QLabel(stats);
    lastError_->setMinimumWidth(100);
    lastError_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    grid->addWidget(new QLabel(tr("Last Error:"), stats), 5, 0);
    grid->addWidget(lastError_, 5, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto* saved = new QGroupBox(tr("Saved Images"), this);
    auto* savedLayout = new QFormLayout(saved);
    qualityEdit_ = new QLineEdit(saved);
    qualityEdit_->setMaximumWidth(60);
    qualityEdit_->setToolTip(tr("0 to 100; the arrows step it"));
    // Digits only: a letter is refused as it is typed, never turned into a number.
    qualityEdit_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), qualityEdit_));
    qualityArrows_ = new Utils::Controls::CUpDownControl(qualityEdit_, 0, 100, saved);
    auto* qualityRow = new QHBoxLayout;
    qualityRow->setSpacing(0);
    qualityRow->addWidget(qualityEdit_);
    qualityRow->addWidget(qualityArrows_);
    qualityRow->addStretch(1);
    savedLayout->addRow(tr("JPEG Quality"), qualityRow);

    auto* outbox = new QGroupBox(tr("Outbox"), this);
    outbox->setToolTip(tr("Images FTP and e-mail could not deliver yet; they go out oldest first once the "
                          "server is back. When full, the oldest is dropped."));
    auto* outboxLayout = new QFormLayout(outbox);
    backlog_ = new QLabel(outbox);
    outboxImagesEdit_ = new QLineEdit(outbox);
    outboxMegabytesEdit_ = new QLineEdit(outbox);
    for (QLineEdit* edit : {outboxImagesEdit_, outboxMegabytesEdit_}) {
        edit->setMaximumWidth(80);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        connect(edit, &QLineEdit::textEdited, this, &CAdvanced::Changed);
    }
    outboxLayout->addRow(tr("Waiting:"), backlog_);
    outboxLayout->addRow(tr("At most (images):"), outboxImagesEdit_);
    outboxLayout->addRow(tr("At most (MB):"), outboxMegabytesEdit_);

    auto* video = new QGroupBox(tr("Video"), this);
    auto* videoLayout = new QVBoxLayout(video);
    enableMixerCheck_ = new QCheckBox(tr("Enable VMR Mixer"), video);
    lowCpuCheck_ = new QCheckBox(tr("Low CPU"), video);
    videoLayout->addWidget(enableMixerCheck_);
    videoLayout->addWidget(lowCpuCheck_);

    auto* lower = new QHBoxLayout;
    lower->addWidget(saved);
    lower->addWidget(outbox);
    lower->addWidget(video);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(stats);
    layout->addLayout(lower);
    layout->addStretch(1);

    connect(qualityEdit_, &QLineEdit::textChanged, this,
            [this] { Utils::Controls::ClampEditInteger(qualityEdit_, 0, 100); });
    connect(qualityEdit_, &QLineEdit::textEdited, this, &CAdvanced::Changed);
    connect(qualityArrows_, &Utils::Controls::CUpDownControl::Stepped, this, &CAdvanced::Changed);
    connect(enableMixerCheck_, &QCheckBox::clicked, this, &CAdvanced::Changed);
    connect(lowCpuCheck_, &QCheckBox::clicked, this, &CAdvanced::Changed);
    ShowAdvancedSettings();
}

CAdvanced::~CAdvanced() = default;

std::int32_t CAdvanced::Quality() const
{
    return settings_.jpegQuality;
}

void CAdvanced::ApplyPage()
{
    settings_.jpegQuality = Utils::Controls::ApplyEditInteger(qualityEdit_, settings_.jpegQuality);
    // An empty or zero bound keeps the one in force: an outbox of nothing would drop every image.
    if (const int images = outboxImagesEdit_->text().toInt(); images > 0)
        settings_.outboxMaxImages = std::min(images, 100000);
    if (const int megabytes = outboxMegabytesEdit_->text().toInt(); megabytes > 0)
        settings_.outboxMaxMegabytes = std::min(megabytes, 100000);
    outboxImagesEdit_->setText(QString::number(settings_.outboxMaxImages));
    outboxMegabytesEdit_->setText(QString::number(settings_.outboxMaxMegabytes));
    settings_.Apply();
    RefreshStatistics();
}

void CAdvanced::ShowAdvancedSettings()
{
    // Shown as stored, even out of range: the user sees what the file says until he edits it.
    const QSignalBlocker blocker(qualityEdit_);
    qualityEdit_->setText(QString::number(settings_.jpegQuality));
    outboxImagesEdit_->setText(QString::number(settings_.outboxMaxImages));
    outboxMegabytesEdit_->setText(QString::number(settings_.outboxMaxMegabytes));
    RefreshStatistics();
}

QString CAdvanced::FitText(const QString& text, const QFontMetrics& metrics, int width)
{
    return ShortenWithDots(text, metrics, width, width);
}

void CAdvanced::RefreshStatistics()
{
    uptime_->setText(stopwatch_.FormatElapsed(UptimeName).value_or(QString()));
    const std::array<std::int32_t, CounterCount> values = {
        statistics_.cycles,      statistics_.emailCycles, statistics_.ftpCycles,    statistics_.totalErrors,
        statistics_.emailErrors, statistics_.ftpErrors,   statistics_.sourceErrors, statistics_.skipped};
    for (int i = 0; i < CounterCount; ++i)
        counters_[i]->setText(QString::number(values[i]));
    lastError_->setText(
        FitText(statistics_.lastError, lastError_->fontMetrics(), lastError_->contentsRect().width()));
    lastError_->setToolTip(statistics_.lastError);
    backlog_->setText(tr("%1 image(s), %2 MB")
                          .arg(statistics_.outboxImages)
                          .arg(static_cast<double>(statistics_.outboxBytes) / (1024.0 * 1024.0), 0, 'f', 1));
}

void CAdvanced::showEvent(QShowEvent* event)
{
    CPage::showEvent(event);
    RefreshStatistics();
    refreshTimer_.start(RefreshMs, this);
}

void CAdvanced::hideEvent(QHideEvent* event)
{
    CPage::hideEvent(event);
    refreshTimer_.stop();
}

void CAdvanced::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == refreshTimer_.timerId())
        RefreshStatistics();
    else
        CPage::timerEvent(event);
}
