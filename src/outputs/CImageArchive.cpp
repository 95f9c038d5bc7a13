#include "CImageArchive.h"

#include "ArchivePath.h"
#include "AtomicFileWriter.h"
#include "EventLog.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "ResultCodes.h"
#include "TimeTemplate.h"
#include "Utils/Controls/CEditBrowseCtrlEx.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <limits>

namespace {
QEvent::Type NotifyType()
{
    return RegisterNamedMessage(QString::fromLatin1(MessageName::ImageArchiveNewImageNotify));
}
} // namespace

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

CImageArchive::CImageArchive(const Clock& clock, const QString& dataDirectory, QWidget* parent)
    : CPage(parent), clock_(clock), saver_(NotifyType())
{
    setObjectName(QStringLiteral("Archive"));
    settings_.rootDirectory = dataDirectory;

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

CImageArchive::~CImageArchive()
{
    stopSweep_ = true;
}

bool CImageArchive::FinishForExit(int timeoutMs)
{
    stopSweep_ = true;
    // Images still waiting out their delay are written at once, whatever the limit: they
    // would be lost otherwise.
    saver_.Shutdown();
    return sweeper_.WaitIdleFor(timeoutMs);
}

void CImageArchive::SweepStaleTemporaries(qint64 beforeSeconds)
{
    const QString root = settings_.rootDirectory;
    sweeper_.Post([this, root, beforeSeconds] {
        StaleTemporarySweep sweep;
        sweep.recursive = true;
        sweep.before = beforeSeconds;
        sweep.cancel = &stopSweep_;
        if (const int removed = RemoveStaleTemporaries(root, sweep); removed > 0) {
            AddLogEntry(
                LogCategory::Information,
                QStringLiteral("Archive - Removed %1 unfinished file(s) left by an earlier run under %2")
                    .arg(removed)
                    .arg(root));
        }
    });
}

void CImageArchive::LoadSettings(const SettingsList& list)
{
    settings_.rootDirectory = GetSettingString(list, KeyRoot, settings_.rootDirectory);
    settings_.subdirectoryAndFilename =
        GetSettingString(list, KeyTemplate, QStringLiteral("<HH><MM><SS>.jpg"));
    settings_.saveDelayMs = GetSettingInt(list, KeyDelay, 1000, 0, MaxSaveDelayMs);
    ShowSettings();
}

void CImageArchive::SaveSettings(SettingsList& list) const
{
    AppendSetting(list, KeyRoot, settings_.rootDirectory);
    AppendSetting(list, KeyTemplate, settings_.subdirectoryAndFilename);
    AppendSetting(list, KeyDelay, settings_.saveDelayMs);
    EndSettingsBlock(list);
}

void CImageArchive::ResetFailed()
{
    int failed = static_cast<int>(OutputState::Failed);
    state_.compare_exchange_strong(failed, static_cast<int>(OutputState::Idle));
}

QString CImageArchive::PathForNow() const
{
    return ArchivePathFor(settings_.rootDirectory,
                          ExpandTimeTemplate(settings_.subdirectoryAndFilename, clock_));
}

void CImageArchive::ApplyPage()
{
    settings_.rootDirectory = rootEdit_->text();
    settings_.subdirectoryAndFilename = templateEdit_->text();
}

void CImageArchive::RefreshPage()
{
    ShowSettings();
}

void CImageArchive::ShowSettings()
{
    const QSignalBlocker rootBlocker(rootEdit_);
    const QSignalBlocker templateBlocker(templateEdit_);
    rootEdit_->setText(settings_.rootDirectory);
    templateEdit_->setText(settings_.subdirectoryAndFilename);
    RefreshExample();
}

void CImageArchive::RefreshExample()
{
    exampleEdit_->setText(u' ' + ExpandTimeTemplate(templateEdit_->text(), clock_));
}

void CImageArchive::Save(const ImageFrame& image, QObject* notify)
{
    state_ = static_cast<int>(OutputState::Busy);
    notify_ = notify;
    // Paths use what was applied, never what is only typed on the page.
    lastPath_ = ArchivePathFor(settings_.rootDirectory,
                               ExpandTimeTemplate(settings_.subdirectoryAndFilename, clock_));
    // A directory that cannot be made shows up as the save's own failure.
    CreateDirectoryPath(QFileInfo(lastPath_).path());
    if (!saver_.SaveImageFileLater(image, lastPath_, std::max(0, settings_.saveDelayMs), this)) {
        // No copy or no thread: report it as the save's result, so the cycle goes on.
        QCoreApplication::postEvent(this, new MessageEvent(NotifyType(), Result::OutOfMemory, 0));
    }
}

bool CImageArchive::event(QEvent* event)
{
    if (event->type() != NotifyType())
        return CPage::event(event);
    const auto result = static_cast<MessageEvent*>(event)->wParam;
    state_ = static_cast<int>(result >= 0 ? OutputState::Idle : OutputState::Failed);
    if (notify_) {
        auto* forward = new MessageEvent(NotifyType(), result, 0);
        forward->text = lastPath_;
        QCoreApplication::postEvent(notify_, forward);
    }
    return true;
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
