#include "InstanceLock.h"

#include "RegularFile.h"
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
    const QByteArray directory = QFile::encodeName(directory_);
    fd_ = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
        reason_ = QStringLiteral("%1 - %2").arg(directory_, SystemErrorText(errno));
        return Result::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK)
            holderPid_ = ReadHolderPid();
        else
            reason_ = QStringLiteral("%1 - %2").arg(directory_, SystemErrorText(error));
        ::close(fd_);
        fd_ = -1;
        return error == EWOULDBLOCK ? Result::HeldByAnother : Result::Failed;
    }
    WriteHolderPid();
    return Result::Acquired;
}

qint64 InstanceLock::ReadHolderPid() const
{
    // Only a small regular file is read: whatever is put in its place says nothing.
    QFile file;
    if (OpenRegularFile(file, QFile::encodeName(path_), O_RDONLY, QIODevice::ReadOnly) != 0)
        return 0;
    return file.read(32).trimmed().toLongLong();
}

void InstanceLock::WriteHolderPid() const
{
    // Written beside the lock, never through a link; should it fail the lock holds all the
    // same, and only the refused would not learn who holds it.
    const QByteArray temporary = QFile::encodeName(path_ + QStringLiteral(".new"));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    const QByteArray pid = QByteArray::number(static_cast<qint64>(::getpid())) + '\n';
    const bool written = ::write(fd, pid.constData(), static_cast<size_t>(pid.size())) == pid.size();
    ::close(fd);
    if (!written || ::rename(temporary.constData(), QFile::encodeName(path_).constData()) != 0)
        ::unlink(temporary.constData());
}

QString InstanceLock::ServerName() const
{
    // Per user and per directory, short enough for a socket path.
    const QByteArray key = QFile::encodeName(QDir(directory_).canonicalPath()) + '\0' +
                           QByteArray::number(static_cast<qulonglong>(::getuid()));
    return QStringLiteral("pixlet-") +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}
