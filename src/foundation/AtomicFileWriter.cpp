#include "AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

    QByteArray temporary = QFile::encodeName(target.path() + QLatin1String("/.") + target.fileName()) +
                           TemporarySuffix + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // Held while the bytes are written and synced: a sweep of leftovers (this run's, or another
    // Pixlet's on the same tree) passes over a file whose writer is stalled, however long.
    // Never waited for; a file system without locks is written all the same.
    ::flock(fd, LOCK_EX | LOCK_NB);

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

namespace {
bool IsOurTemporary(const char* name)
{
    // ".<name>.pixlet-" and six characters of mkstemp.
    const std::size_t length = std::strlen(name);
    const std::size_t suffix = std::strlen(TemporarySuffix) + 6;
    return name[0] == '.' && length > suffix + 1 &&
           std::strncmp(name + length - suffix, TemporarySuffix, std::strlen(TemporarySuffix)) == 0;
}

// A writer holds its temporary locked until the bytes are synced; a locked file is still
// being written, whatever its age. Where the file cannot be opened or locks are not
// supported, its age alone decides, as it did before locks.
bool RemoveUnlessBeingWritten(int directoryFd, const char* name, const struct stat& seen)
{
    const int fd = ::openat(directoryFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        struct stat opened
        {
        };
        const bool same =
            ::fstat(fd, &opened) == 0 && opened.st_dev == seen.st_dev && opened.st_ino == seen.st_ino;
        const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (!same || busy) {
            ::close(fd);
            return false;
        }
        // Removed while the lock is held, so no writer can take the file up in between.
        const bool removed = ::unlinkat(directoryFd, name, 0) == 0;
        ::close(fd);
        return removed;
    }
    return ::unlinkat(directoryFd, name, 0) == 0;
}

int Sweep(int directoryFd, const StaleTemporarySweep& sweep, int depth, int& entries)
{
    const int listingFd = ::dup(directoryFd);
    if (listingFd < 0)
        return 0;
    DIR* dir = ::fdopendir(listingFd);
    if (!dir) {
        ::close(listingFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (++entries > sweep.maxEntries || (sweep.cancel && sweep.cancel->load()))
            break;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat status
        {
        };
        if (::fstatat(directoryFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(status.st_mode) && IsOurTemporary(entry->d_name) &&
            status.st_mtim.tv_sec < sweep.before) {
            if (RemoveUnlessBeingWritten(directoryFd, entry->d_name, status))
                ++removed;
        } else if (S_ISDIR(status.st_mode) && sweep.recursive && depth < sweep.maxDepth) {
            const int child =
                ::openat(directoryFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                removed += Sweep(child, sweep, depth + 1, entries);
                ::close(child);
            }
        }
    }
    ::closedir(dir);
    return removed;
}
} // namespace

int RemoveStaleTemporaries(const QString& directory, const StaleTemporarySweep& sweep)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int entries = 0;
    const int removed = Sweep(fd, sweep, 0, entries);
    ::close(fd);
    return removed;
}
