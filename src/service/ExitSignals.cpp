#include "ExitSignals.h"

#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int Handled[] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};
std::atomic<long long> firstRequestMs{0}; // 0 until the first signal
std::atomic<bool> hangUpReloads{false};
// Signals arriving together (a terminal's Ctrl+C and the session's SIGHUP, "timeout" signalling
// the process and then its group) are one request; only one that comes after the orderly exit
// has had this long ends the process at once.
constexpr long long GraceMs = 5000;

long long MonotonicMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now); // safe in a signal handler
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    if (signal == SIGHUP && hangUpReloads) {
        const auto byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
        errno = saved;
        return;
    }
    const long long now = std::max(MonotonicMs(), 1LL);
    long long first = 0;
    // Whichever handler sets the time first (two signals may be handled on two threads at once)
    // makes the request; the others only compare with it.
    if (!firstRequestMs.compare_exchange_strong(first, now)) {
        if (now - first >= GraceMs)
            ::_exit(128 + signal);
        return;
    }
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}
} // namespace

ExitSignals::ExitSignals(HangUp hangUp, QObject* parent) : QObject(parent)
{
    hangUpReloads = hangUp == HangUp::Reloads;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0)
        return;
    firstRequestMs = 0;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::OnReadable);
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : Handled)
        sigaddset(&action.sa_mask, signal); // one handler at a time on a thread
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
    // Every byte waiting: a burst of reload requests is one reload, read after the others.
    bool reload = false;
    while (::read(pipeFds[0], &byte, 1) == 1) {
        if (byte == SIGHUP && hangUpReloads)
            reload = true;
        else
            emit ExitRequested(byte);
    }
    if (reload)
        emit ReloadRequested();
}
