#pragma once

#include <QByteArray>
#include <QIODevice>

class QFile;

// Opens a path (in the file system's bytes) into `file` without ever blocking, and only when it
// is a regular file: a pipe or a device put where a settings, log, caption or image file is
// expected would otherwise hold up whoever opens it. `flags` are open(2)'s access flags
// (O_RDONLY, or O_WRONLY | O_APPEND | O_CREAT for a log); `mode` is the QFile open mode.
// Returns 0, the errno of the failed open, or ENOTREGULAR for anything but a regular file.
inline constexpr int ENOTREGULAR = -1;
int OpenRegularFile(QFile& file, const QByteArray& encodedPath, int flags, QIODevice::OpenMode mode);
