#include "CImageArchive.h"

#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "outputs/ArchiveEngine.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

const QList<std::pair<QString, QString>>& CImageArchive::QuickSets()
{
    static const QList<std::pair<QString, QString>> sets = {
        {QStringLiteral("YearMonthDate/Time"), QStringLiteral("<YYYY><MO><DD>/<HH><MM><SS>.jpg")},
        {QStringLiteral("Year/Month/Date/Time"), QStringLiteral("<YYYY>/<MO>/<DD>/<HH><MM><SS>.jpg")},
        {QStringLiteral("Date/Time - Alpha"), QStringLiteral("<D>-<MONTH>-<YYYY>/<HH><MM><SS>.jpg")},
        {QStringLiteral("Time Only"), QStringLiteral("<HH><MM><SS>.jpg")},
    };
    return sets;
}

CImageArchive::CImageArchive(ArchiveEngine& engine, QWidget* parent) : CPage(parent), engine_(engine)
{
    setObjectName(QStringLiteral("Archive"));

    rootEdit_ = new Utils::Controls::CEditBrowseCtrlEx(this);
    rootEdit_->SetFolderBrowse();
    templateEdit_ = new QLineEdit(this);
    exampleEdit_ = new QLineEdit(this);
    exampleEdit_->setReadOnly(true);

    auto* files = new QGroupBox(tr("Archived File Specifications"), this);
    auto* form = new QFormLayout(files);
    form->addRow(tr("Root Directory:"), rootEdit_);
    form->addRow(tr("Subdirectory && Filename:"), templateEdit_);
    form->addRow(tr("Example Result:"), exampleEdit_);

    auto* quick = new QGroupBox(tr("Quick Set"), this);
    auto* quickLayout = new QVBoxLayout(quick);
    for (const auto& [label, pattern] : QuickSets()) {
        auto* button = new QPushButton(label, quick);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this,
                [this, pattern = pattern] { templateEdit_->setText(pattern); });
        quickLayout->addWidget(button);
    }

    auto* reference = new QGroupBox(tr("Reference"), this);
    auto* referenceLayout = new QFormLayout(reference);
    referenceLayout->addRow(tr("Year:"),
                            new QLabel(QStringLiteral("<YYYY>, <YY>").toHtmlEscaped(), reference));
    referenceLayout->addRow(tr("Month"),
                            new QLabel(QStringLiteral("<MONTH>, <MON>, <MO>").toHtmlEscaped(), reference));
    referenceLayout->addRow(tr("Day:"),
                            new QLabel(QStringLiteral("<DAY>, <DDD>, <DD>, <D>").toHtmlEscaped(), reference));
    referenceLayout->addRow(tr("Hour:"), new QLabel(QStringLiteral("<HH>").toHtmlEscaped(), reference));
    referenceLayout->addRow(tr("Minute:"), new QLabel(QStringLiteral("<MM>").toHtmlEscaped(), reference));
    referenceLayout->addRow(tr("Second:"), new QLabel(QStringLiteral("<SS>").toHtmlEscaped(), reference));

    auto* lower = new QHBoxLayout;
    lower->addWidget(quick);
    lower->addWidget(reference, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(files);
    layout->addLayout(lower);
    layout->addStretch(1);

    for (QLineEdit* edit : {static_cast<QLineEdit*>(rootEdit_), templateEdit_}) {
        connect(edit, &QLineEdit::textChanged, this, [this] {
            RefreshExample();
            emit Changed();
        });
    }
    ShowSettings();
}

CImageArchive::~CImageArchive() = default;

void CImageArchive::ApplyPage()
{
    ArchiveEngine::Settings settings = engine_.CurrentSettings();
    settings.rootDirectory = rootEdit_->text();
    settings.subdirectoryAndFilename = templateEdit_->text();
    engine_.SetSettings(settings);
}

void CImageArchive::RefreshPage()
{
    ShowSettings();
}

void CImageArchive::ShowSettings()
{
    const QSignalBlocker rootBlocker(rootEdit_);
    const QSignalBlocker templateBlocker(templateEdit_);
    rootEdit_->setText(engine_.CurrentSettings().rootDirectory);
    templateEdit_->setText(engine_.CurrentSettings().subdirectoryAndFilename);
    RefreshExample();
}

void CImageArchive::RefreshExample()
{
    exampleEdit_->setText(u' ' + engine_.ExpandNow(templateEdit_->text()));
}

void CImageArchive::showEvent(QShowEvent* event)
{
    RefreshExample();
    exampleTimer_.start(1000, this);
    CPage::showEvent(event);
}

void CImageArchive::hideEvent(QHideEvent* event)
{
    exampleTimer_.stop();
    CPage::hideEvent(event);
}

void CImageArchive::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == exampleTimer_.timerId())
        RefreshExample();
    else
        CPage::timerEvent(event);
}
