#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Every file below root whose name matches the wildcard pattern, hidden ones included.
QStringList FilesUnder(const QString& root, const QString& pattern);
// The file's bytes, or none when it cannot be read.
QByteArray ReadAll(const QString& path);
