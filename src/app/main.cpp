#include "CAbout.h"
#include "CFramewrightDlg.h"
#include "Clock.h"
#include "DataDirectory.h"
#include "EventLog.h"
#include "MemoryTuning.h"
#include "NamedMessages.h"
#include "RunningInstance.h"
#include "Utils/Classes/QtTrayPresenter.h"
#include "Utils/Classes/TestCameraPlugFile.h"
#include "Utils/Classes/TestCameraProvider.h"
#include "service/CommandLine.h"
#include "service/ExitSignals.h"
#include "service/HeadlessService.h"
#include "service/InstanceLock.h"
#include "service/LogEngine.h"

#include <QApplication>
#include <QGuiApplication>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {
void SetApplicationNames()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quellmoor Software"));
    QCoreApplication::setApplicationName(QStringLiteral("Pixlet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PIXLET_VERSION));
}

[[nodiscard]] std::unique_ptr<TestCameraPlugFile> CommonSetUp()
{
    // Every notification type exists before any engine does.
    RegisterAllNamedMessages();
    // PIXLET_TEST_CAMERA=1 (or 2) lists moving test pictures as cameras, for demonstrations
    // and machines without a webcam.
    if (const int cameras = qEnvironmentVariableIntValue("PIXLET_TEST_CAMERA"); cameras > 0)
        TestCameraProvider::Enable(cameras);
    // PIXLET_TEST_CAMERA_PLUG=<file>: the test cameras are unplugged while that file is missing.
    const QString plugFile = qEnvironmentVariable("PIXLET_TEST_CAMERA_PLUG");
    if (plugFile.isEmpty())
        return nullptr;
    return std::make_unique<TestCameraPlugFile>(plugFile);
}

// False (and said on standard error) when another Pixlet has the directory.
bool LockDataDirectory(InstanceLock& lock, bool desktop)
{
    switch (lock.Acquire()) {
    case InstanceLock::Result::Acquired:
        return true;
    case InstanceLock::Result::HeldByAnother: {
        QString text = QStringLiteral("pixlet: another Pixlet is already running on %1").arg(lock.LockPath());
        if (lock.HolderPid() > 0)
            text += QStringLiteral(" (process %1)").arg(lock.HolderPid());
        if (desktop && RunningInstance::AskToShow(lock.ServerName()))
            text += QStringLiteral(" - its window was brought forward");
        std::fputs(qPrintable(text + u'\n'), stderr);
        return false;
    }
    case InstanceLock::Result::Failed:
        std::fputs(
            qPrintable(QStringLiteral("pixlet: could not lock the data directory: %1\n").arg(lock.Reason())),
            stderr);
        return false;
    }
    return false;
}

// Whatever the tear-down may still wait for, the program is gone within seconds; a worker
// stuck in a system call still uses objects the destructors would free, so then it ends at
// once, after Exit has written everything that must not be lost.
int EndProgram(int code, bool workersLeftBehind)
{
    std::thread([code] {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::fputs("Pixlet: the shutdown did not finish within 10 s - ending now\n", stderr);
        std::_Exit(code);
    }).detach();
    if (workersLeftBehind) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}

int RunHeadless(int argc, char* argv[], const QString& dataDirectory)
{
    // No display at all: the captions still need fonts and painting, which the offscreen
    // platform gives without a server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // What Qt itself says goes to the journal in the log's form, the category first.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        const int category =
            type == QtCriticalMsg || type == QtFatalMsg ? LogCategory::Error : LogCategory::Information;
        const QByteArray line =
            LogEngine::StandardErrorLine(category, QStringLiteral("Qt - ") + message, false);
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    });
    QGuiApplication app(argc, argv);
    SetApplicationNames();
    InstanceLock lock(dataDirectory);
    if (!LockDataDirectory(lock, false))
        return 1;
    const auto plugFile = CommonSetUp();
    HeadlessService service(SystemClock(), dataDirectory, CAbout::VersionText());
    QObject::connect(&service, &HeadlessService::Finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    ExitSignals exitSignals(ExitSignals::HangUp::Reloads);
    QObject::connect(&exitSignals, &ExitSignals::ExitRequested, &service,
                     [&service](int signal) { service.Exit(ExitSignals::Name(signal)); });
    QObject::connect(&exitSignals, &ExitSignals::ReloadRequested, &service, &HeadlessService::Reload);
    service.Start();
    const int code = app.exec();
    return EndProgram(code, service.WorkersLeftBehind());
}

int RunDesktop(int argc, char* argv[], const CommandLine& options, const QString& dataDirectory)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("pixlet: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set) - "
                   "use --headless to run without one\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    SetApplicationNames();
    // The menu entry's name: a Wayland desktop shows the window with that entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.pixlet.Pixlet"));
    // The window hides to the tray; only Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    InstanceLock lock(dataDirectory);
    if (!LockDataDirectory(lock, true))
        return 1;
    const auto plugFile = CommonSetUp();

    CFramewrightDlg dialog(SystemClock(), dataDirectory);
    QObject::connect(&dialog, &CFramewrightDlg::ExitFinished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    RunningInstance instance(lock.ServerName());
    QObject::connect(&instance, &RunningInstance::ShowRequested, &dialog, &CFramewrightDlg::ShowWindow);
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
    dialog.SetStartOptions(options.start, options.hidden);
    dialog.Initialise(std::move(tray));
    // Shows the window only where start-up allowed it.
    dialog.show();
    const int code = app.exec();
    return EndProgram(code, dialog.WorkersLeftBehind());
}
} // namespace

int main(int argc, char* argv[])
{
    KeepImageBuffersInHeap();
    // A log reader that went away (a closed pipe on standard error) is a failed write, not the
    // end of the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Standard input, output and error closed by whoever started us would otherwise be the next
    // files opened (the log going into the settings, say).
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return 1;
    }
    QString undecodable;
    const QStringList arguments = CommandLine::DecodeArguments(argc, argv, &undecodable);
    if (!undecodable.isEmpty()) {
        std::fputs(qPrintable(undecodable), stderr);
        return 2;
    }
    const CommandLine options = CommandLine::Parse(arguments, CAbout::VersionText());
    if (options.finished) {
        std::fputs(qPrintable(options.output), options.exitCode == 0 ? stdout : stderr);
        return options.exitCode;
    }
    SetApplicationNames();
    const QString dataDirectory = options.dataDirectory.isEmpty() ? DataDirectory() : options.dataDirectory;
    return options.headless ? RunHeadless(argc, argv, dataDirectory)
                            : RunDesktop(argc, argv, options, dataDirectory);
}
