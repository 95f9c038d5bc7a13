#pragma once

#include <QString>

// One Pixlet per data directory: two processes writing one settings file and one log would
// corrupt both. The lock is an flock on the data directory itself, so the kernel lets it go
// when its process ends however it ends, and no file that somebody could delete or replace
// stands for it. "pixlet.lock" beside the settings only names the holder's process id, for
// the message of the refused.
class InstanceLock final
{
public:
    enum class Result
    {
        Acquired,
        HeldByAnother,
        Failed // the directory or the file could not be made or opened
    };

    explicit InstanceLock(const QString& dataDirectory);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Makes the data directory (owner only) when it is missing. On HeldByAnother the holder's
    // process id is in HolderPid() (0 when unknown); on Failed the reason is in Reason().
    Result Acquire();
    qint64 HolderPid() const { return holderPid_; }
    QString Reason() const { return reason_; }
    QString LockPath() const { return path_; }
    // The name of the local socket the running instance of this directory listens on.
    QString ServerName() const;

private:
    qint64 ReadHolderPid() const;
    void WriteHolderPid() const;

    const QString directory_;
    const QString path_;
    int fd_ = -1;
    qint64 holderPid_ = 0;
    QString reason_;
};
