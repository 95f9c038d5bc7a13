#include "ExitSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};
std::atomic<int> requests{0};

extern "C" void OnSignal(int signal)
{
    if (requests.fetch_add(1) > 0)
        ::_exit(128 + signal);
    const auto byte = static_cast<unsigned char>(signal);
    const int saved = errno;
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}
} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0)
        return;
    requests = 0;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::OnReadable);
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Handled)
        ::sigaction(signal, &action, nullptr);
}

ExitSignals::~ExitSignals()
{
    for (const int signal : Handled)
        std::signal(signal, SIG_DFL);
    if (pipeFds[0] >= 0) {
        delete notifier_;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        pipeFds[0] = pipeFds[1] = -1;
    }
}

QString ExitSignals::Name(int signal)
{
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

void ExitSignals::OnReadable()
{
    unsigned char byte = 0;
    if (::read(pipeFds[0], &byte, 1) == 1)
        emit ExitRequested(byte);
}
