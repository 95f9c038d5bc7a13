#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Writes the bytes to a temporary file in the target's directory, flushes it to disk and
// renames it over the target, so that no reader (a web server, a sync tool, the next start)
// ever sees a half-written file and a failed write leaves the previous file intact.
// Missing parent directories are created. The mode is applied as given when ownerOnly is
// meant (0600), otherwise after the process umask. Returns 0 or the errno of the failure.
int WriteFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode);

// Creates a directory and every missing parent; an existing directory is no error.
// Returns 0 or the errno of the failure.
int CreateDirectoryPath(const QString& path);
