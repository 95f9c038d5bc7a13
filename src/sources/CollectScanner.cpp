#include "CollectScanner.h"

#include "Clock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    QDir dir(directory);
    dir.setNameFilters({mask});
    dir.setFilter(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Unsorted);
    const QFileInfoList entries = dir.entryInfoList();

    const QFileInfo* newest = nullptr;
    std::int64_t newestMs = 0;
    for (const QFileInfo& entry : entries) {
        const std::int64_t modified = entry.lastModified().toMSecsSinceEpoch();
        if (modified > newestMs) {
            newestMs = modified;
            newest = &entry;
        }
    }
    if (!newest || newestMs <= lastCollectedMs)
        return result;

    result.name = newest->fileName();
    result.path = dir.filePath(result.name);
    result.modifiedMs = newestMs;
    result.outcome = Outcome::Unreadable;
    // A directory never opens as a file: it waits until a newer file arrives.
    if (newest->isDir())
        return result;
    QFile file(result.path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    result.outcome = Outcome::Wait;
    if (!Complete(result.name, newest->size(), newestMs))
        return result;
    files_.remove(result.name);
    result.outcome = Outcome::Collect;
    return result;
}
