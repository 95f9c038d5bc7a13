#include "CFramewrightDlg.h"
#include "Clock.h"
#include "DataDirectory.h"
#include "MemoryTuning.h"
#include "NamedMessages.h"
#include "Utils/Classes/QtTrayPresenter.h"
#include "Utils/Classes/TestCameraProvider.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

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
    dialog.Initialise(std::move(tray));
    // Shows the window only where start-up allowed it.
    dialog.show();
    const int code = app.exec();
    if (dialog.WorkersLeftBehind()) {
        // A worker stuck in a system call still uses objects the destructors would free:
        // end here, after Exit has written everything that must not be lost.
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
