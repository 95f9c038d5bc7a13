#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

void EnsureFuzzApplication()
{
    static int argc = 1;
    static char name[] = "pixlet-fuzz";
    static char* argv[] = {name, nullptr};
    // Never destroyed: libFuzzer ends the process through exit(), and a Qt application torn
    // down among the static destructors crashes.
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

QByteArray Bytes(const std::uint8_t* data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QString Text(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

QString WriteInputFile(const QByteArray& bytes)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}
