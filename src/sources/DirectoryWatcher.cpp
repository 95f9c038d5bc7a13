#include "DirectoryWatcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QSet>

#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
// The events that can make a file newer, bring one in or take one away.
constexpr std::uint32_t WatchMask = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB |
                                    IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr int QuietMs = 10;

struct FileDescriptor
{
    int fd = -1;
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};
} // namespace

DirectoryWatcher::DirectoryWatcher(QObject* receiver, QEvent::Type type) : receiver_(receiver), type_(type) {}

DirectoryWatcher::~DirectoryWatcher()
{
    Stop();
}

void DirectoryWatcher::Start(const QString& directory)
{
    Stop();
    // The watch is in place before Start returns, so a scan made right after it misses
    // nothing: what came before is listed, what comes after is reported.
    const int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
        Post(errno);
        return;
    }
    FileDescriptor inotify{inotifyFd};
    if (::inotify_add_watch(inotify.fd, QFile::encodeName(directory).constData(), WatchMask) < 0) {
        Post(errno);
        return;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) {
        Post(errno);
        return;
    }
    inotify.fd = -1; // the thread owns it now
    thread_ = std::thread([this, inotifyFd, stopFd = stopFd_] { Run(inotifyFd, stopFd); });
}

void DirectoryWatcher::Stop()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (stopFd_ >= 0) {
        ::close(stopFd_);
        stopFd_ = -1;
    }
}

void DirectoryWatcher::Post(std::int64_t code, std::unique_ptr<DirectoryChanges> changes,
                            std::shared_ptr<std::atomic_bool> pending)
{
    auto* event = new MessageEvent(type_, code);
    event->record = std::move(changes);
    event->SetPendingFlag(std::move(pending));
    QCoreApplication::postEvent(receiver_, event);
}

void DirectoryWatcher::Run(int inotifyFd, int stopFd)
{
    FileDescriptor inotify{inotifyFd};
    alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
    // Set while the last batch waits in the receiver's queue.
    const auto unread = std::make_shared<std::atomic_bool>(false);
    for (;;) {
        pollfd fds[2] = {{inotify.fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            Post(errno);
            return;
        }
        if (fds[1].revents)
            return; // asked to stop: nothing is posted
        // One batch: everything that arrives until the directory has been quiet for a moment
        // (at most a fifth of a second), so a burst of files is one message, not hundreds.
        // A finished file ends the batch as soon as nothing more is waiting to be read, if the
        // receiver has taken the last batch: waiting for quiet would keep the file from being
        // collected while another is still being written, and under a steady stream of
        // arrivals would hold every file back for the whole fifth of a second. A receiver
        // still busy with the last batch gets the next one whole, as before.
        // Completions keep their order: it tells files with the same time apart.
        QList<QByteArray> completed;
        QSet<QByteArray> inCompleted; // so that a burst of thousands is not searched name by name
        const auto dropCompleted = [&](const QByteArray& name) {
            if (inCompleted.remove(name))
                completed.removeOne(name);
        };
        QSet<QByteArray> written, touched, changed;
        bool gone = false;
        bool overflowed = false;
        bool stopping = false;
        for (int rounds = 0; rounds < 20; ++rounds) {
            const ssize_t length = ::read(inotify.fd, buffer, sizeof buffer);
            if (length <= 0) {
                if (!completed.isEmpty() && !unread->load())
                    break;
                pollfd settle[2] = {{inotify.fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
                if (::poll(settle, 2, QuietMs) <= 0 || !(settle[0].revents & POLLIN)) {
                    stopping = settle[1].revents != 0;
                    break;
                }
                continue;
            }
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                const QByteArray name = event->len ? QByteArray(event->name) : QByteArray();
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                    gone = true;
                } else if (event->mask & IN_Q_OVERFLOW) {
                    overflowed = true;
                } else if (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) {
                    // The last word on a name wins: closed after writing, or written again.
                    dropCompleted(name);
                    completed.append(name);
                    inCompleted.insert(name);
                    written.remove(name);
                    touched.remove(name);
                } else if (!name.isEmpty() && (event->mask & IN_MODIFY)) {
                    written.insert(name);
                    touched.remove(name);
                    dropCompleted(name);
                } else if (!name.isEmpty() && (event->mask & IN_CREATE)) {
                    if (!written.contains(name)) {
                        touched.insert(name);
                        dropCompleted(name);
                    }
                } else if (!name.isEmpty()) {
                    // An attribute change (a touch, a chmod) or a removal says nothing about
                    // whether a writer is still at work, only that the entry is worth a look.
                    changed.insert(name);
                }
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (stopping)
            return;
        if (gone) {
            Post(ENOENT);
            return;
        }
        auto changes = std::make_unique<DirectoryChanges>();
        changes->completed = completed;
        changes->written = QList<QByteArray>(written.cbegin(), written.cend());
        changes->touched = QList<QByteArray>(touched.cbegin(), touched.cend());
        changes->changed = QList<QByteArray>(changed.cbegin(), changed.cend());
        changes->overflowed = overflowed;
        Post(0, std::move(changes), unread);
    }
}
