#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <sys/types.h>

// Writes the bytes to a temporary file in the target's directory, flushes it to disk and
// renames it over the target, so that no reader (a web server, a sync tool, the next start)
// ever sees a half-written file and a failed write leaves the previous file intact.
// Missing parent directories are created. The mode is applied as given when ownerOnly is
// meant (0600), otherwise after the process umask. Returns 0 or the errno of the failure.
// The temporary is ".<name>.pixlet-XXXXXX": hidden, and plainly ours, so that one a killed
// run left behind can be recognised and removed (RemoveStaleTemporaries).
int WriteFileAtomically(const QString& path, const QByteArray& bytes, mode_t mode);
inline constexpr char TemporarySuffix[] = ".pixlet-";

// Removes the temporaries of WriteFileAtomically that an earlier run left in the directory
// (and, when recursive, below it, at most maxDepth levels down and maxEntries entries in all):
// regular files named ".<name>.pixlet-XXXXXX" last changed before `before` (seconds since the
// epoch) and not locked by a writer still at work. Stops early when `cancel` is set. Returns how
// many were removed.
struct StaleTemporarySweep
{
    bool recursive = false;
    int maxDepth = 8;
    int maxEntries = 1000000;
    qint64 before = 0;
    const std::atomic<bool>* cancel = nullptr;
};
int RemoveStaleTemporaries(const QString& directory, const StaleTemporarySweep& sweep);

// Creates a directory and every missing parent; an existing directory is no error.
// Returns 0 or the errno of the failure.
int CreateDirectoryPath(const QString& path);
