#include "CFramewrightDlg.h"

#include "AppIcons.h"
#include "CAbout.h"
#include "CConfiguration.h"
#include "CImagePreview.h"
#include "CLog.h"
#include "Clock.h"
#include "EventLog.h"
#include "Utils/Classes/CTrayIcon.h"
#include "control/CControl.h"
#include "control/TraySequences.h"
#include "pages/CAdvanced.h"
#include "pages/CCaptionMain.h"
#include "pages/CControlPage.h"
#include "pages/CFTP.h"
#include "pages/CImageArchive.h"
#include "pages/CSMTP.h"
#include "pages/CSourceMain.h"
#include "service/EngineSet.h"
#include "sources/SourceEngine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

using Utils::Classes::CPage;
using Utils::Classes::CTrayIcon;
using Utils::Classes::TrayPresenter;

namespace {
constexpr auto ApplyOrder = {CFramewrightDlg::Archive,  CFramewrightDlg::Ftp,     CFramewrightDlg::Source,
                             CFramewrightDlg::Captions, CFramewrightDlg::Control, CFramewrightDlg::Email,
                             CFramewrightDlg::Log,      CFramewrightDlg::Advanced};
} // namespace

CFramewrightDlg::CFramewrightDlg(const Clock& clock, const QString& dataDirectory, QWidget* parent)
    : QDialog(parent), clock_(clock), dataDirectory_(dataDirectory),
      engines_(std::make_unique<EngineSet>(clock, dataDirectory))
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
    // The pages show the engines until they are gone: they go first.
    delete configuration_;
    delete trayMenu_;
    tray_.reset();
}

void CFramewrightDlg::CreatePages()
{
    EngineSet& engines = *engines_;
    pages_[Log] = new CLog(engines.Log(), configuration_);
    pages_[About] = new CAbout(configuration_);
    pages_[Captions] = captions_ = new CCaptionMain(engines.Captions(), configuration_);
    pages_[Archive] = archive_ = new CImageArchive(engines.Archive(), configuration_);
    pages_[Ftp] = ftp_ = new CFTP(engines.Ftp(), configuration_);
    pages_[Email] = email_ = new CSMTP(engines.Email(), configuration_);
    pages_[Source] = source_ = new CSourceMain(engines.Source(), configuration_);
    source_->SetWindowIcons(PixletIcon(503), PixletIcon(504));
    controller_ = &engines.Controller();
    pages_[Control] = new CControlPage(*controller_, engines.Source(), configuration_);
    auto* advanced = new CAdvanced(clock_, controller_->Stats(), engines.Advanced(), configuration_);
    pages_[Advanced] = advanced;
    source_->SetAdvancedCheckBoxes(advanced->LowCpuCheck(), advanced->EnableMixerCheck());
    connect(controller_, &CControl::StatisticsChanged, advanced, &CAdvanced::RefreshStatistics);
    connect(this, &CFramewrightDlg::StartRequested, controller_, &CControl::StartProcessing);
    connect(this, &CFramewrightDlg::StopRequested, controller_, &CControl::StopProcessing);
    auto* preview = new CImagePreview(configuration_);
    preview->SetFloatingIcon(PixletIcon(502));
    pages_[Preview] = preview;
    connect(controller_, &CControl::PreviewImage, preview, &CImagePreview::ShowPreviewImage);
    for (int page = 0; page < PageCount; ++page) {
        configuration_->addTab(pages_[page], CConfiguration::PageTitles().at(page));
        connect(pages_[page], &CPage::Changed, applyButton_, [this] { applyButton_->setEnabled(true); });
    }
    configuration_->setCurrentIndex(Control);
}

SourceEngine* CFramewrightDlg::Sources() const
{
    return &engines_->Source();
}

CImagePreview* CFramewrightDlg::PreviewPage() const
{
    return static_cast<CImagePreview*>(pages_[Preview]);
}

CLog* CFramewrightDlg::LogPage() const
{
    return static_cast<CLog*>(pages_[Log]);
}

QString CFramewrightDlg::SettingsPath() const
{
    return engines_->SettingsPath();
}

void CFramewrightDlg::Initialise(std::unique_ptr<TrayPresenter> tray)
{
    AddLogEntry(LogCategory::Information,
                QStringLiteral("Pixlet Initialising - version ") + CAbout::VersionText());
    AddLogEntry(LogCategory::Information, QStringLiteral("Data directory is ") + dataDirectory_);
    const bool loaded = engines_->StartUp();
    RefreshPages();
    if (!loaded) {
        // A first run writes a complete file of defaults at once and shows the window; a file
        // that exists but could not be read is left alone until the user saves.
        windowMayShow_ = true;
        if (!engines_->SettingsFileUnreadable())
            SaveSettings();
    }
    const bool startMinimised = controller_->Settings().startMinimised || hiddenRequested_;
    if (!startMinimised)
        windowMayShow_ = true;
    applyButton_->setEnabled(false);
    CreateTray(std::move(tray));
    if (!tray_ && startMinimised) {
        // Without a tray a hidden program could not be reached again: minimise instead.
        windowMayShow_ = true;
        setWindowState(windowState() | Qt::WindowMinimized);
    }
    if (controller_->Settings().startOnLoad || startRequested_)
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
    const bool loaded = engines_->LoadSettings();
    RefreshPages();
    return loaded;
}

bool CFramewrightDlg::SaveSettings()
{
    return engines_->SaveSettings();
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
    workersLeftBehind_ = !engines_->FinishForExit(exitBudgetMs_).isEmpty();
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
