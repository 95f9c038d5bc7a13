#pragma once

#include "Utils/Classes/CPage.h"

#include <QDialog>
#include <QSystemTrayIcon>

#include <array>
#include <memory>

class CCaptionMain;
class CControl;
class CFTP;
class CSMTP;
class CImageArchive;
class CSourceMain;
class SourceEngine;
class CConfiguration;
class CImagePreview;
class CLog;
class Clock;
class EngineSet;
class QMenu;
class QPushButton;

namespace Utils::Classes {
class CTrayIcon;
class TrayPresenter;
} // namespace Utils::Classes

// The main window: the ten pages on tabs (views onto the engines it owns), OK / Cancel /
// Apply, the tray icon and its menu.
// It is shown only while windowMayShow is set, so a program started minimised never flashes
// its window; Cancel, Escape and the close box hide it to the tray. It lives for the whole run.
class CFramewrightDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFramewrightDlg)

public:
    // The pages in tab order.
    enum Page
    {
        Control,
        Source,
        Captions,
        Ftp,
        Email,
        Archive,
        Preview,
        Log,
        Advanced,
        About,
        PageCount
    };

    CFramewrightDlg(const Clock& clock, const QString& dataDirectory, QWidget* parent = nullptr);
    ~CFramewrightDlg() override;

    // Start-up after construction: version and data-directory lines, settings, window
    // visibility, tray icon (nullptr: the desktop has none), the stopped state, start on load.
    void Initialise(std::unique_ptr<Utils::Classes::TrayPresenter> tray);
    // The command line's --start (processing starts whatever the settings say) and --hidden
    // (the window is not shown, as with "Start Minimised"); before Initialise.
    void SetStartOptions(bool start, bool hidden)
    {
        startRequested_ = start;
        hiddenRequested_ = hidden;
    }

    bool LoadSettings();
    bool SaveSettings();
    void ApplyPages();
    void RefreshPages();

    // The window's commands.
    void OnOk();
    void OnApply();
    void HideToTray();
    void ShowWindow();
    void HideWindow();
    void ExitProgram();

    bool WindowMayShow() const { return windowMayShow_; }
    // After Exit: a worker did not finish in time, so the objects it uses must not be torn
    // down under it; the program ends without running its destructors.
    bool WorkersLeftBehind() const { return workersLeftBehind_; }
    // How long Exit waits for all workers together.
    void SetExitBudgetMs(int ms) { exitBudgetMs_ = ms; }
    static constexpr int DefaultExitBudgetMs = 5000;
    bool HasTray() const { return tray_ != nullptr; }
    QString SettingsPath() const;
    QPushButton* ApplyButton() const { return applyButton_; }
    CConfiguration* Pages() const { return configuration_; }
    Utils::Classes::CPage* PageAt(Page page) const { return pages_[page]; }
    CLog* LogPage() const;
    CCaptionMain* CaptionsPage() const { return captions_; }
    CImageArchive* ArchivePage() const { return archive_; }
    CFTP* FtpPage() const { return ftp_; }
    CSMTP* EmailPage() const { return email_; }
    CSourceMain* SourcePage() const { return source_; }
    CImagePreview* PreviewPage() const;
    SourceEngine* Sources() const;
    CControl* Controller() const { return controller_; }
    EngineSet& Engines() const { return *engines_; }
    Utils::Classes::CTrayIcon* Tray() const { return tray_.get(); }
    QMenu* TrayMenu() const { return trayMenu_; }

    // The tray icon's mouse actions: double-click shows, the context click opens the menu
    // (or only beeps while a modal dialog of the program is open).
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);

    void setVisible(bool visible) override;

signals:
    // The tray menu's Start and Stop, for the processing controller.
    void StartRequested();
    void StopRequested();
    // Exit has run its order; the program ends.
    void ExitFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreatePages();
    void CreateTray(std::unique_ptr<Utils::Classes::TrayPresenter> tray);
    void CreateTrayMenu();
    void HideOrMinimise();
    void FinishWorkersForExit();

    const Clock& clock_;
    const QString dataDirectory_;
    std::unique_ptr<EngineSet> engines_;
    std::array<Utils::Classes::CPage*, PageCount> pages_{};
    CConfiguration* configuration_ = nullptr;
    CCaptionMain* captions_ = nullptr;
    CImageArchive* archive_ = nullptr;
    CFTP* ftp_ = nullptr;
    CSMTP* email_ = nullptr;
    CSourceMain* source_ = nullptr;
    CControl* controller_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    std::unique_ptr<Utils::Classes::CTrayIcon> tray_;
    bool windowMayShow_ = false;
    bool trayBalloonPending_ = true;
    bool workersLeftBehind_ = false;
    bool exiting_ = false;
    bool startRequested_ = false;
    bool hiddenRequested_ = false;
    int exitBudgetMs_ = DefaultExitBudgetMs;
};
