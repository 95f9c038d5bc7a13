#include "RegularFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenRegularFile(QFile& file, const QByteArray& encodedPath, int flags, QIODevice::OpenMode mode)
{
    const int fd = ::open(encodedPath.constData(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno ? errno : ENOENT;
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return ENOTREGULAR;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return EIO;
    }
    return 0;
}
