#include "CControlPage.h"

#include "Utils/Controls/ClampEditInteger.h"
#include "control/CControl.h"
#include "sources/SourceEngine.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {
constexpr std::int32_t MaxCycleSeconds = std::numeric_limits<std::int32_t>::max();

// The Start and Stop artwork: a green "play" triangle and a red square, drawn at any size.
QIcon ButtonIcon(bool start)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal m = size / 8.0;
        painter.setPen(QPen(QColor(40, 40, 40), std::max<qreal>(1.0, size / 24.0)));
        if (start) {
            painter.setBrush(QColor(46, 160, 67));
            const QPointF points[3] = {{m * 1.5, m}, {size - m, size / 2.0}, {m * 1.5, size - m}};
            painter.drawPolygon(points, 3);
        } else {
            painter.setBrush(QColor(200, 45, 45));
            painter.drawRoundedRect(QRectF(m, m, size - 2 * m, size - 2 * m), m / 2, m / 2);
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}
} // namespace

CControlPage::CControlPage(CControl& control, SourceEngine& source, QWidget* parent)
    : CPage(parent), control_(control), source_(source)
{
    setObjectName(QStringLiteral("Control"));
    startButton_ = new QPushButton(this);
    startButton_->setIcon(ButtonIcon(true));
    startButton_->setIconSize(QSize(32, 32));
    startButton_->setToolTip(tr("Start processing"));
    stopButton_ = new QPushButton(this);
    stopButton_->setIcon(ButtonIcon(false));
    stopButton_->setIconSize(QSize(32, 32));
    stopButton_->setToolTip(tr("Stop processing"));
    for (QPushButton* button : {startButton_, stopButton_})
        button->setAutoDefault(false);

    auto* processing = new QGroupBox(tr("Processing"), this);
    atInterval_ = new QRadioButton(tr("At Interval"), processing);
    atInterval_->setToolTip(tr("Collect image at specified interval"));
    onArrival_ = new QRadioButton(tr("On Arrival"), processing);
    // A disabled button shows no tooltip of its own; the group repeats it.
    onArrival_->setToolTip(tr("Collect image as soon as it is available (valid only for file collect)"));
    cycleTime_ = new QLineEdit(processing);
    cycleTime_->setMaximumWidth(100);
    exactStroke_ = new QCheckBox(processing);
    strokeLabel_ = new QLabel(tr("Process on the stroke of"), processing);
    captions_ = new QCheckBox(tr("Enable Captions"), processing);
    ftp_ = new QCheckBox(tr("Enable FTP"), processing);
    email_ = new QCheckBox(tr("Enable Email"), processing);
    archive_ = new QCheckBox(tr("Enable Archive"), processing);
    startOnLoad_ = new QCheckBox(tr("Start on Load"), processing);
    startMinimised_ = new QCheckBox(tr("Start Minimised"), processing);

    auto* grid = new QGridLayout(processing);
    grid->addWidget(atInterval_, 0, 0);
    grid->addWidget(onArrival_, 0, 1);
    auto* cycleRow = new QHBoxLayout;
    cycleRow->addWidget(new QLabel(tr("Process cycle time (seconds)"), processing));
    cycleRow->addWidget(cycleTime_);
    cycleRow->addStretch(1);
    grid->addLayout(cycleRow, 1, 0, 1, 2);
    auto* strokeRow = new QHBoxLayout;
    strokeRow->addWidget(exactStroke_);
    strokeRow->addWidget(strokeLabel_, 1);
    grid->addLayout(strokeRow, 2, 0, 1, 2);
    grid->addWidget(captions_, 3, 0);
    grid->addWidget(archive_, 3, 1);
    grid->addWidget(ftp_, 4, 0);
    grid->addWidget(email_, 4, 1);
    grid->addWidget(startOnLoad_, 5, 0);
    grid->addWidget(startMinimised_, 5, 1);

    auto* status = new QGroupBox(tr("Current Status"), this);
    status1_ = new QLabel(status);
    status2_ = new QLabel(status);
    auto* statusLayout = new QVBoxLayout(status);
    statusLayout->addWidget(status1_);
    statusLayout->addWidget(status2_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(processing);
    layout->addWidget(status);
    layout->addStretch(1);

    connect(startButton_, &QPushButton::clicked, &control_, &CControl::StartProcessing);
    connect(stopButton_, &QPushButton::clicked, &control_, &CControl::StopProcessing);
    for (QAbstractButton* button :
         std::initializer_list<QAbstractButton*>{atInterval_, onArrival_, exactStroke_, captions_, ftp_,
                                                 email_, archive_, startOnLoad_, startMinimised_})
        connect(button, &QAbstractButton::clicked, this, &CControlPage::OnUserChange);
    connect(cycleTime_, &QLineEdit::textEdited, this, [this] {
        Utils::Controls::ClampEditInteger(cycleTime_, 1, MaxCycleSeconds);
        OnUserChange();
    });
    connect(&control_, &CControl::RefreshRequested, this, &CControlPage::RefreshControlPage);
    connect(&control_, &CControl::StatusMessage, status1_, &QLabel::setText);

    // The source's announcements, status and errors go to the controller.
    source_.SetOwner(&control_);
    ShowControlSettings();
}

CControlPage::~CControlPage() = default;

void CControlPage::OnUserChange()
{
    RefreshControlPage();
    emit Changed();
}

void CControlPage::ShowControlSettings()
{
    const ControlSettings& s = control_.Settings();
    const QSignalBlocker blocker(cycleTime_);
    cycleTime_->setText(QString::number(s.cycleTimeSeconds));
    exactStroke_->setChecked(s.exactStroke);
    // Radio buttons exclude each other: checking one is the way to clear the other.
    if (s.collectionType == ControlSettings::OnArrival)
        onArrival_->setChecked(true);
    else
        atInterval_->setChecked(true);
    captions_->setChecked(s.enableCaptions);
    ftp_->setChecked(s.enableFtp);
    email_->setChecked(s.enableEmail);
    archive_->setChecked(s.enableArchive);
    startOnLoad_->setChecked(s.startOnLoad);
    startMinimised_->setChecked(s.startMinimised);
    RefreshControlPage();
}

QString CControlPage::StrokeLabel(std::int32_t v, bool* strokeAllowed)
{
    bool allowed = true;
    QString label;
    if (v == 60)
        label = QStringLiteral("Process on the exact stroke of 1 minute");
    else if (v == 120 || v == 180 || v == 240 || v == 300 || v == 360 || v == 600 || v == 900 || v == 1200 ||
             v == 1800)
        label = QStringLiteral("Process on the exact stroke of %1 minutes").arg(v / 60);
    else if (v == 3600)
        label = QStringLiteral("Process on the exact stroke of 1 hour");
    else {
        label = QStringLiteral("Process on the exact stroke");
        allowed = false;
    }
    if (strokeAllowed)
        *strokeAllowed = allowed;
    return label;
}

void CControlPage::RefreshControlPage()
{
    onArrival_->setEnabled(source_.Settings().sourceType == SourceSettings::CollectFile);
    if (onArrival_->isEnabled() && onArrival_->isChecked()) {
        atInterval_->setChecked(false);
        cycleTime_->setEnabled(false);
        exactStroke_->setEnabled(false);
    } else {
        atInterval_->setChecked(true);
        cycleTime_->setEnabled(true);
        bool allowed = false;
        // A field emptied to be typed again still stands for the cycle time in force.
        const std::int32_t cycleTime =
            Utils::Controls::EditedInteger(cycleTime_->text()).value_or(control_.Settings().cycleTimeSeconds);
        strokeLabel_->setText(StrokeLabel(cycleTime, &allowed));
        if (!allowed)
            exactStroke_->setChecked(false);
        exactStroke_->setEnabled(allowed);
    }

    const ControlSettings& s = control_.Settings();
    switch (control_.ProcessingState()) {
    case CControl::State::Stopped:
        status1_->setText(QStringLiteral("Stopped"));
        break;
    case CControl::State::Waiting:
        if (s.collectionType == ControlSettings::AtInterval)
            status1_->setText(QStringLiteral("Waiting......     next cycle scheduled for ") +
                              control_.NextCycleText());
        else if (s.collectionType == ControlSettings::OnArrival)
            status1_->setText(QStringLiteral("Waiting for new image"));
        break;
    case CControl::State::Cycle:
        status1_->setText(QStringLiteral("Processing cycle %1").arg(control_.CycleStartText()));
        break;
    }
    status2_->setText(source_.GetSourceStatusText());
}

void CControlPage::ApplyControlPage()
{
    ControlSettings s = control_.Settings();
    s.cycleTimeSeconds = Utils::Controls::ApplyEditInteger(cycleTime_, s.cycleTimeSeconds);
    s.exactStroke = exactStroke_->isChecked();
    s.collectionType = onArrival_->isChecked() ? ControlSettings::OnArrival : ControlSettings::AtInterval;
    s.enableCaptions = captions_->isChecked();
    s.enableFtp = ftp_->isChecked();
    s.enableEmail = email_->isChecked();
    s.enableArchive = archive_->isChecked();
    s.startOnLoad = startOnLoad_->isChecked();
    s.startMinimised = startMinimised_->isChecked();
    control_.ApplySettings(s);
    RefreshControlPage();
}
