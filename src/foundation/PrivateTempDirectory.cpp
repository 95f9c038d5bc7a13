#include "PrivateTempDirectory.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool IsOursAlone(const QByteArray& path)
{
    struct stat status
    {
    };
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
           (status.st_mode & 077) == 0;
}
} // namespace

QString PrivateTempDirectory(const QString& base)
{
    const QString root = base.isEmpty() ? QDir::tempPath() : base;
    const QString name = root + QStringLiteral("/pixlet-%1").arg(::geteuid());
    const QByteArray encoded = QFile::encodeName(name);
    if (::mkdir(encoded.constData(), 0700) == 0 || errno == EEXIST) {
        if (IsOursAlone(encoded))
            return name + QLatin1Char('/');
    }
    QByteArray pattern = encoded + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return QString();
    return QFile::decodeName(pattern) + QLatin1Char('/');
}
