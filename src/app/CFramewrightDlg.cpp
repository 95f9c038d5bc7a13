#include "CFramewrightDlg.h"

#include "AppIcons.h"
#include "AtomicFileWriter.h"
#include "CAbout.h"
#include "CConfiguration.h"
#include "CLog.h"
#include "CPlaceholderPage.h"
#include "Clock.h"
#include "EventLog.h"
#include "ImageFormat.h"
#include "SettingsFile.h"
#include "SystemErrorText.h"
#include "Utils/Classes/CTrayIcon.h"
#include "captions/CCaptionMain.h"
#include "control/CAdvanced.h"
#include "control/CControl.h"
#include "control/CControlPage.h"
#include "control/TraySequences.h"
#include "outputs/CFTP.h"
#include "outputs/CImageArchive.h"
#include "outputs/CSMTP.h"
#include "pages/CSourceMain.h"
#include "sources/SourceEngine.h"
#include "sources/VideoSourceEngine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDeadlineTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <limits>
#include <utility>

using Utils::Classes::CPage;
using Utils::Classes::CTrayIcon;
using Utils::Classes::TrayPresenter;

namespace {
constexpr auto LoadOrder = {CFramewrightDlg::Ftp,    CFramewrightDlg::Email,   CFramewrightDlg::Captions,
                            CFramewrightDlg::Source, CFramewrightDlg::Archive, CFramewrightDlg::Log};
constexpr auto SaveOrder = {CFramewrightDlg::Ftp,      CFramewrightDlg::Email,   CFramewrightDlg::Captions,
                            CFramewrightDlg::Source,   CFramewrightDlg::Archive, CFramewrightDlg::Log,
                            CFramewrightDlg::Advanced, CFramewrightDlg::Control};
constexpr auto ApplyOrder = {CFramewrightDlg::Archive,  CFramewrightDlg::Ftp,     CFramewrightDlg::Source,
                             CFramewrightDlg::Captions, CFramewrightDlg::Control, CFramewrightDlg::Email,
                             CFramewrightDlg::Log,      CFramewrightDlg::Advanced};
} // namespace

CFramewrightDlg::CFramewrightDlg(const Clock& clock, const QString& dataDirectory, QWidget* parent)
    : QDialog(parent), clock_(clock), dataDirectory_(dataDirectory)
{
    setWindowTitle(QStringLiteral("Pixlet"));
    setWindowIcon(PixletIcon(500));
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);

    okButton_ = new QPushButton(tr("OK"), this);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    applyButton_ = new QPushButton(tr("Apply"), this);
    okButton_->setAutoDefault(false);
    cancelButton_->setAutoDefault(false);
    applyButton_->setAutoDefault(false);
    connect(okButton_, &QPushButton::clicked, this, &CFramewrightDlg::OnOk);
    connect(cancelButton_, &QPushButton::clicked, this, &CFramewrightDlg::HideToTray);
    connect(applyButton_, &QPushButton::clicked, this, &CFramewrightDlg::OnApply);

    configuration_ = new CConfiguration(this);
    CreatePages();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(applyButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(configuration_, 1);
    layout->addLayout(buttons);
    resize(720, 560);

    // Enter and Escape act on the window wherever the focus is, before any control sees them.
    qApp->installEventFilter(this);
}

CFramewrightDlg::~CFramewrightDlg()
{
    qApp->removeEventFilter(this);
}

void CFramewrightDlg::CreatePages()
{
    // The log page comes first, so that every other page can log while it is made.
    pages_[Log] = new CLog(clock_, dataDirectory_, configuration_);
    pages_[About] = new CAbout(configuration_);
    pages_[Captions] = captions_ = new CCaptionMain(clock_, configuration_);
    pages_[Archive] = archive_ = new CImageArchive(clock_, dataDirectory_, configuration_);
    pages_[Ftp] = ftp_ = new CFTP(configuration_);
    pages_[Email] = email_ = new CSMTP(clock_, configuration_);
    // Made after the pages' container: the dialog's children go in the order they came, so the
    // pages that show the engine are gone before it is.
    sources_ = new SourceEngine(clock_, dataDirectory_, this);
    pages_[Source] = source_ = new CSourceMain(*sources_, configuration_);
    controller_ = new CControl(clock_, CControl::Parts{sources_, captions_, archive_, email_, ftp_}, this);
    pages_[Control] = new CControlPage(*controller_, *sources_, configuration_);
    auto* advanced = new CAdvanced(clock_, controller_->Stats(), configuration_);
    pages_[Advanced] = advanced;
    source_->SetAdvancedCheckBoxes(advanced->LowCpuCheck(), advanced->EnableMixerCheck());
    connect(controller_, &CControl::StatisticsChanged, advanced, &CAdvanced::RefreshStatistics);
    connect(this, &CFramewrightDlg::StartRequested, controller_, &CControl::StartProcessing);
    connect(this, &CFramewrightDlg::StopRequested, controller_, &CControl::StopProcessing);
    for (Page page : {Preview})
        pages_[page] = new CPlaceholderPage(CConfiguration::PageTitles().at(page), configuration_);
    for (int page = 0; page < PageCount; ++page) {
        configuration_->addTab(pages_[page], CConfiguration::PageTitles().at(page));
        connect(pages_[page], &CPage::Changed, applyButton_, [this] { applyButton_->setEnabled(true); });
    }
    configuration_->setCurrentIndex(Control);
}

CLog* CFramewrightDlg::LogPage() const
{
    return static_cast<CLog*>(pages_[Log]);
}

QString CFramewrightDlg::SettingsPath() const
{
    return dataDirectory_ + QStringLiteral("Pixlet.ini");
}

void CFramewrightDlg::Initialise(std::unique_ptr<TrayPresenter> tray)
{
    AddLogEntry(LogCategory::Information,
                QStringLiteral("Pixlet Initialising - version ") + CAbout::VersionText());
    AddLogEntry(LogCategory::Information, QStringLiteral("Data directory is ") + dataDirectory_);
    // A run that was killed may have left a settings or archive file half-written under a
    // temporary name; nothing of this run has been written yet.
    const qint64 startSeconds = QDateTime::currentSecsSinceEpoch();
    StaleTemporarySweep sweep;
    sweep.before = startSeconds;
    if (const int removed = RemoveStaleTemporaries(dataDirectory_, sweep); removed > 0) {
        AddLogEntry(
            LogCategory::Information,
            QStringLiteral("Removed %1 unfinished file(s) left by an earlier run in the data directory")
                .arg(removed));
    }
    const bool loaded = LoadSettings();
    archive_->SweepStaleTemporaries(startSeconds);
    if (!loaded) {
        // A first run writes a complete file of defaults at once and shows the window; a file
        // that exists but could not be read is left alone until the user saves.
        windowMayShow_ = true;
        if (!settingsFileUnreadable_)
            SaveSettings();
    }
    const bool startMinimised = controller_->Settings().startMinimised;
    if (!startMinimised)
        windowMayShow_ = true;
    applyButton_->setEnabled(false);
    CreateTray(std::move(tray));
    if (!tray_ && startMinimised) {
        // Without a tray a hidden program could not be reached again: minimise instead.
        windowMayShow_ = true;
        setWindowState(windowState() | Qt::WindowMinimized);
    }
    if (controller_->Settings().startOnLoad)
        emit StartRequested();
}

void CFramewrightDlg::CreateTray(std::unique_ptr<TrayPresenter> presenter)
{
    CreateTrayMenu();
    if (!presenter) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Tray Icon not created"));
        return;
    }
    tray_ = std::make_unique<CTrayIcon>(std::move(presenter));
    tray_->AddIcon(TraySequence::Stopped, PixletIcon(516));
    tray_->AddIcon(TraySequence::Waiting, PixletIcon(500));
    tray_->AddIcon(TraySequence::Cycle, PixletIcon(500));
    tray_->AddIcon(TraySequence::Failed, PixletIcon(501));
    for (int frame = 516; frame >= 505; --frame)
        tray_->AddIcon(TraySequence::Starting, PixletIcon(frame));
    tray_->AddIcon(TraySequence::Starting, PixletIcon(500));
    tray_->AddIcon(TraySequence::Stopping, PixletIcon(500));
    for (int frame = 505; frame <= 516; ++frame)
        tray_->AddIcon(TraySequence::Stopping, PixletIcon(frame));
    tray_->SetTip(QStringLiteral("Pixlet"));
    // The stopped state until the processing controller says otherwise.
    tray_->SelectSequence(TraySequence::Stopped);
    tray_->SetAnimate(controller_->Settings().animateTrayIcon);
    controller_->SetTray(tray_.get());
}

void CFramewrightDlg::CreateTrayMenu()
{
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName(QStringLiteral("Tray Popup"));
    connect(trayMenu_->addAction(tr("Start")), &QAction::triggered, this, &CFramewrightDlg::StartRequested);
    connect(trayMenu_->addAction(tr("Stop")), &QAction::triggered, this, &CFramewrightDlg::StopRequested);
    trayMenu_->addSeparator();
    connect(trayMenu_->addAction(tr("Show")), &QAction::triggered, this, &CFramewrightDlg::ShowWindow);
    connect(trayMenu_->addAction(tr("Hide")), &QAction::triggered, this, &CFramewrightDlg::HideWindow);
    trayMenu_->addSeparator();
    connect(trayMenu_->addAction(tr("Exit")), &QAction::triggered, this, &CFramewrightDlg::ExitProgram);
}

bool CFramewrightDlg::LoadSettings()
{
    SettingsList list;
    const SettingsFileRead read = ReadSettingsFile(list, SettingsPath());
    settingsFileUnreadable_ = read.status == SettingsFileRead::Status::Unreadable;
    if (read.status == SettingsFileRead::Status::Missing) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Could not open settings file - Using defaults"));
        // A first start shows two example captions; the loaded ones (none) follow them.
        captions_->AddExampleCaptions();
    } else if (settingsFileUnreadable_) {
        // Somebody's settings may be in there: it stays untouched until a save moves it aside.
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Could not read settings file %1 - %2 - Using defaults; "
                                   "the file is kept and set aside at the next save")
                        .arg(SettingsPath(), read.reason));
    }
    for (Page page : LoadOrder)
        pages_[page]->LoadSettings(list);
    pages_[Advanced]->LoadSettings(list);
    pages_[Control]->LoadSettings(list);
    return static_cast<bool>(read);
}

bool CFramewrightDlg::SetAsideUnreadableSettings()
{
    if (!settingsFileUnreadable_)
        return true;
    int error = 0;
    const QString kept = SetFileAside(SettingsPath(), clock_.LocalNow(), &error);
    if (kept.isEmpty() && error != ENOENT) {
        AddLogEntry(
            LogCategory::Error,
            QStringLiteral("Could not save settings file - the unreadable file could not be set aside - ") +
                SystemErrorText(error));
        return false;
    }
    if (!kept.isEmpty())
        AddLogEntry(LogCategory::Information, QStringLiteral("Unreadable settings file kept as ") + kept);
    settingsFileUnreadable_ = false;
    return true;
}

bool CFramewrightDlg::SaveSettings()
{
    if (!SetAsideUnreadableSettings())
        return false;
    SettingsList list;
    for (Page page : SaveOrder)
        pages_[page]->SaveSettings(list);
    int error = 0;
    if (!WriteSettingsFile(list, SettingsPath(), &error)) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Could not save settings file - ") + SystemErrorText(error));
        return false;
    }
    return true;
}

void CFramewrightDlg::ApplyPages()
{
    for (Page page : ApplyOrder)
        pages_[page]->ApplyPage();
}

void CFramewrightDlg::RefreshPages()
{
    for (Page page : ApplyOrder)
        pages_[page]->RefreshPage();
}

void CFramewrightDlg::OnOk()
{
    windowMayShow_ = false;
    HideOrMinimise();
    ApplyPages();
    if (SaveSettings())
        applyButton_->setEnabled(false);
}

void CFramewrightDlg::OnApply()
{
    ApplyPages();
    if (SaveSettings())
        applyButton_->setEnabled(false);
}

void CFramewrightDlg::HideToTray()
{
    if (trayBalloonPending_ && tray_) {
        tray_->ShowBalloon(QStringLiteral("The application is now running in the System Tray."),
                           QStringLiteral("Pixlet"), TrayPresenter::BalloonIcon::Information, 5000);
        trayBalloonPending_ = false;
    }
    windowMayShow_ = false;
    HideOrMinimise();
    RefreshPages();
    applyButton_->setEnabled(false);
}

void CFramewrightDlg::HideOrMinimise()
{
    if (tray_) {
        hide();
        return;
    }
    // No tray to come back from: the window goes to the task bar instead.
    windowMayShow_ = true;
    showMinimized();
}

void CFramewrightDlg::ShowWindow()
{
    windowMayShow_ = true;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void CFramewrightDlg::HideWindow()
{
    // Edits that were not applied stay in the controls.
    windowMayShow_ = false;
    HideOrMinimise();
}

void CFramewrightDlg::ExitProgram()
{
    // No "Processing stopped" line and no save: settings are saved only by OK, Apply and a
    // first run. Threads of later components are stopped here, each with a bounded wait.
    if (std::exchange(exiting_, true))
        return; // a signal during the tray's Exit, or the other way round
    if (tray_)
        tray_->Shutdown();
    windowMayShow_ = false;
    QDialog::setVisible(false);
    FinishWorkersForExit();
    emit ExitFinished();
}

void CFramewrightDlg::FinishWorkersForExit()
{
    // One budget for all: whatever a worker is stuck in, Exit ends within seconds. Images
    // waiting to be archived are written whatever the budget.
    controller_->Halt();
    QDeadlineTimer deadline(exitBudgetMs_);
    const auto remaining = [&deadline] {
        return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
    };
    QStringList leftBehind;
    if (!sources_->VideoSource()->FinishForExit(remaining()))
        leftBehind << QStringLiteral("Source - the capture thread");
    if (!captions_->FinishCaptionJobs(remaining()))
        leftBehind << QStringLiteral("Captions - the caption worker");
    archive_->FinishForExit(remaining());
    if (!ftp_->FinishForExit(remaining()))
        leftBehind << QStringLiteral("FTP - the upload");
    if (!email_->FinishForExit(remaining()))
        leftBehind << QStringLiteral("SMTP - the mailing");
    for (const QString& what : leftBehind) {
        AddLogEntry(LogCategory::Error, QStringLiteral("%1 did not finish within %2 s - left behind at exit")
                                            .arg(what)
                                            .arg(exitBudgetMs_ / 1000.0, 0, 'g', 3));
    }
    workersLeftBehind_ = !leftBehind.isEmpty();
    // The outputs' last reports ("Archived OK" of the images just written) and then every
    // log line reach the list and the log file now: the event loop may not turn again.
    for (QObject* receiver : std::initializer_list<QObject*>{archive_, ftp_, email_, controller_})
        QCoreApplication::sendPostedEvents(receiver);
    LogPage()->Flush();
}

void CFramewrightDlg::OnTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        ShowWindow();
        break;
    case QSystemTrayIcon::Context:
        if (QApplication::activeModalWidget()) {
            QApplication::beep();
            break;
        }
        trayMenu_->popup(QCursor::pos());
        break;
    default:
        break;
    }
}

void CFramewrightDlg::setVisible(bool visible)
{
    if (visible && !windowMayShow_)
        return;
    QDialog::setVisible(visible);
}

void CFramewrightDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    HideToTray();
}

void CFramewrightDlg::reject()
{
    HideToTray();
}

bool CFramewrightDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this && !QApplication::activeModalWidget()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnOk();
            return true;
        }
        if (key == Qt::Key_Escape) {
            HideToTray();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
