#pragma once

#include "MessageEvent.h"

#include <QEvent>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

class QObject;

// What one batch of changes in a watched directory was about. Names are the file system's
// bytes, which need not be valid UTF-8.
struct DirectoryChanges final : MessagePayload
{
    // Names whose writer has finished with them: closed after writing, or moved in whole, in
    // the order they finished.
    QList<QByteArray> completed;
    // Names written to after their last close in the batch: a writer holds them open.
    QList<QByteArray> written;
    // Names created and not yet written to or closed (a new empty file, a hard link).
    // A name is in at most one of the three lists.
    QList<QByteArray> touched;
    // Names whose times changed, or which were removed or renamed away.
    QList<QByteArray> changed;
    // The kernel's queue overflowed: some changes were lost, the directory must be listed again.
    bool overflowed = false;
};

// Watches one directory (not its subdirectories) on its own thread with inotify and posts one
// message per batch of changes to the receiver: wParam 0 with a DirectoryChanges record, or
// wParam = the errno when the directory cannot be watched or goes away (the watcher then ends).
// Stop() ends the thread at once through an eventfd and joins it.
class DirectoryWatcher final
{
public:
    DirectoryWatcher(QObject* receiver, QEvent::Type type);
    ~DirectoryWatcher();
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

    // Stops any previous watch, then watches the directory. The watch is in place when this
    // returns; a directory that cannot be watched is reported as a posted error.
    void Start(const QString& directory);
    void Stop();
    bool Running() const { return thread_.joinable(); }

private:
    void Run(int inotifyFd, int stopFd);
    void Post(std::int64_t code, std::unique_ptr<DirectoryChanges> changes = nullptr,
              std::shared_ptr<std::atomic_bool> pending = nullptr);

    QObject* const receiver_;
    const QEvent::Type type_;
    std::thread thread_;
    int stopFd_ = -1;
};
