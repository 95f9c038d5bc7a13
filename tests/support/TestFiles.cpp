#include "TestFiles.h"

#include <QDirIterator>
#include <QFile>

QStringList FilesUnder(const QString& root, const QString& pattern)
{
    QStringList files;
    QDirIterator it(root, {pattern}, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    return files;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
