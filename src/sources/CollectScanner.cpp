#include "CollectScanner.h"

#include "Clock.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>

CollectScanner::CollectScanner(const Clock& clock) : clock_(clock) {}

void CollectScanner::NoteCompleted(const QStringList& names)
{
    for (const QString& name : names) {
        files_[name].closed = true;
    }
}

void CollectScanner::NoteTouched(const QStringList& names)
{
    for (const QString& name : names) {
        Seen& seen = files_[name];
        seen.closed = false;
        seen.size = -1;
    }
}

bool CollectScanner::Complete(const QString& name, std::int64_t size, std::int64_t modifiedMs)
{
    const std::uint64_t now = clock_.MonotonicMs();
    Seen& seen = files_[name];
    if (seen.closed)
        return true;
    // A file last changed that long ago has stood still long enough, even if no close was seen
    // (it was there before the watch began). A time ahead of the clock proves nothing.
    if (clock_.UtcNow().toMSecsSinceEpoch() - modifiedMs >= CompleteAfterMs)
        return true;
    if (seen.size != size || seen.modifiedMs != modifiedMs) {
        seen.size = size;
        seen.modifiedMs = modifiedMs;
        seen.stableSinceMs = now;
        return false;
    }
    return now - seen.stableSinceMs >= static_cast<std::uint64_t>(CompleteAfterMs);
}

CollectScanner::Result CollectScanner::Scan(const QString& directory, const QString& mask,
                                            std::int64_t lastCollectedMs)
{
    Result result;
    // One pass over the directory, one stat for each name the mask takes: a drop directory
    // that is never emptied must not make every scan slower by more than that.
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(directory).constData()), ::closedir);
    if (!dir)
        return result;
    // "*.*" takes every name, with or without a dot, as users of wildcards expect.
    const QByteArray pattern = QFile::encodeName(mask == QLatin1String("*.*") ? QStringLiteral("*") : mask);
    QByteArray newest;
    std::int64_t newestMs = 0;
    std::int64_t newestSize = 0;
    bool newestIsDirectory = false;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (::fnmatch(pattern.constData(), name, FNM_CASEFOLD) != 0)
            continue;
        struct stat status
        {
        };
        if (::fstatat(::dirfd(dir.get()), name, &status, 0) != 0)
            continue; // gone since it was listed
        if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
            continue; // pipes and devices are never pictures
        const std::int64_t modified =
            std::int64_t(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000;
        // Strictly later only, so that among equal times the first listed wins.
        if (modified > newestMs) {
            newestMs = modified;
            newest = name;
            newestSize = status.st_size;
            newestIsDirectory = S_ISDIR(status.st_mode);
        }
    }
    dir.reset();

    if (newest.isEmpty() || newestMs <= lastCollectedMs)
        return result;
    result.name = QFile::decodeName(newest);
    result.path = QDir(directory).filePath(result.name);
    result.modifiedMs = newestMs;
    result.outcome = Outcome::Unreadable;
    // A directory never opens as a file: it waits until a newer file arrives.
    if (newestIsDirectory)
        return result;
    QFile file(result.path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    result.outcome = Outcome::Wait;
    if (!Complete(result.name, newestSize, newestMs))
        return result;
    files_.remove(result.name);
    result.outcome = Outcome::Collect;
    return result;
}
