#include "CFramewrightDlg.h"
#include "Clock.h"
#include "DataDirectory.h"
#include "EventLog.h"
#include "ExitSignals.h"
#include "MemoryTuning.h"
#include "NamedMessages.h"
#include "Utils/Classes/QtTrayPresenter.h"
#include "Utils/Classes/TestCameraProvider.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char* argv[])
{
    KeepImageBuffersInHeap();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quellmoor Software"));
    QApplication::setApplicationName(QStringLiteral("Pixlet"));
    QApplication::setApplicationVersion(QStringLiteral(PIXLET_VERSION));
    // The window hides to the tray; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    // Every notification type exists before any window does.
    RegisterAllNamedMessages();
    // PIXLET_TEST_CAMERA=1 (or 2) lists moving test pictures as cameras, for demonstrations
    // and machines without a webcam.
    if (const int cameras = qEnvironmentVariableIntValue("PIXLET_TEST_CAMERA"); cameras > 0)
        TestCameraProvider::Enable(cameras);

    CFramewrightDlg dialog(SystemClock(), DataDirectory());
    QObject::connect(&dialog, &CFramewrightDlg::ExitFinished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    std::unique_ptr<Utils::Classes::TrayPresenter> tray;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        auto presenter = std::make_unique<Utils::Classes::QtTrayPresenter>();
        QObject::connect(presenter.get(), &Utils::Classes::QtTrayPresenter::Activated, &dialog,
                         &CFramewrightDlg::OnTrayActivated);
        tray = std::move(presenter);
    }
    // Logout, shutdown and kill end the program as Exit does, after the window is up.
    ExitSignals exitSignals;
    QObject::connect(&exitSignals, &ExitSignals::ExitRequested, &dialog, [&dialog](int signal) {
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("Exit requested by ") + ExitSignals::Name(signal));
        dialog.ExitProgram();
    });
    dialog.Initialise(std::move(tray));
    // Shows the window only where start-up allowed it.
    dialog.show();
    const int code = app.exec();
    // Whatever the tear-down below may still wait for, the program is gone within seconds.
    std::thread([code] {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::fputs("Pixlet: the shutdown did not finish within 10 s - ending now\n", stderr);
        std::_Exit(code);
    }).detach();
    if (dialog.WorkersLeftBehind()) {
        // A worker stuck in a system call still uses objects the destructors would free:
        // end here, after Exit has written everything that must not be lost.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
