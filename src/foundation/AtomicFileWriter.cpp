#include "AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The umask cannot be read without changing it, which would race with other threads; the
// kernel reports it in /proc instead.
mode_t ProcessUmask()
{
    static const mode_t mask = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("Umask:"))
                    return static_cast<mode_t>(std::strtoul(line.mid(6).trimmed().constData(), nullptr, 8));
            }
        }
        return static_cast<mode_t>(022);
    }();
    return mask;
}

int WriteAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
    }
    return 0;
}
} // namespace

int CreateDirectoryPath(const QString& path)
{
    if (path.isEmpty())
        return 0;
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    const QString parent = QFileInfo(QDir::cleanPath(path)).path();
    if (parent != QDir::cleanPath(path)) {
        if (const int error = CreateDirectoryPath(parent))
            return error;
    }
    if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int WriteFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode)
{
    const QFileInfo target(path);
    if (target.fileName().isEmpty())
        return EINVAL;
    if (const int error = CreateDirectoryPath(target.path()))
        return error;

    QByteArray temporary =
        QFile::encodeName(target.path() + QLatin1String("/.") + target.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return errno;

    int error = WriteAll(fd, bytes);
    const mode_t wanted = (mode & 0077) == 0 ? mode : (mode & ~ProcessUmask());
    if (!error && ::fchmod(fd, wanted) != 0)
        error = errno;
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error)
        ::unlink(temporary.constData());
    return error;
}
