#include "InstanceLock.h"

#include "SystemErrorText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString& dataDirectory)
    : directory_(dataDirectory), path_(QDir(dataDirectory).filePath(QStringLiteral("pixlet.lock")))
{
}

InstanceLock::~InstanceLock()
{
    if (fd_ >= 0)
        ::close(fd_); // lets the lock go
}

InstanceLock::Result InstanceLock::Acquire()
{
    const bool existed = QDir(directory_).exists();
    if (!QDir().mkpath(directory_)) {
        reason_ = QStringLiteral("the data directory %1 could not be made").arg(directory_);
        return Result::Failed;
    }
    // It will hold the settings, passwords included: a directory made here is the owner's.
    if (!existed)
        ::chmod(QFile::encodeName(directory_).constData(), 0700);
    const QByteArray path = QFile::encodeName(path_);
    // Not truncated on open: the holder's id stays readable for whoever is refused.
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd_ < 0) {
        reason_ = QStringLiteral("%1 - %2").arg(path_, SystemErrorText(errno));
        return Result::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            char text[32] = {};
            const ssize_t got = ::pread(fd_, text, sizeof text - 1, 0);
            holderPid_ = got > 0 ? QByteArray(text, static_cast<int>(got)).trimmed().toLongLong() : 0;
        } else {
            reason_ = QStringLiteral("%1 - %2").arg(path_, SystemErrorText(error));
        }
        ::close(fd_);
        fd_ = -1;
        return error == EWOULDBLOCK ? Result::HeldByAnother : Result::Failed;
    }
    // Should this fail the lock holds all the same; only the refused would not learn who holds it.
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    if (::ftruncate(fd_, 0) == 0) [[maybe_unused]]
        const ssize_t written = ::pwrite(fd_, pid.constData(), static_cast<size_t>(pid.size()), 0);
    return Result::Acquired;
}

QString InstanceLock::ServerName() const
{
    // Per user and per directory, short enough for a socket path.
    const QByteArray key = QFile::encodeName(QDir(directory_).canonicalPath()) + '\0' +
                           QByteArray::number(static_cast<qulonglong>(::getuid()));
    return QStringLiteral("pixlet-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}
