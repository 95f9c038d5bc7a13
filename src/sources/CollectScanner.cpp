#include "CollectScanner.h"

#include "Clock.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {
struct DirectoryFd
{
    int fd;
    ~DirectoryFd() { ::close(fd); }
};
} // namespace

CollectScanner::CollectScanner(const Clock& clock) : clock_(clock) {}

void CollectScanner::NoteCompleted(const QStringList& names)
{
    MarkStale(names);
    for (const QString& name : names) {
        files_[name].closed = true;
    }
}

void CollectScanner::NoteTouched(const QStringList& names)
{
    MarkStale(names);
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

void CollectScanner::MarkStale(const QStringList& names)
{
    for (const QString& name : names)
        stale_.insert(QFile::encodeName(name));
}

void CollectScanner::NoteChanged(const QStringList& names)
{
    MarkStale(names);
}

bool CollectScanner::Restat(int directoryFd, const QByteArray& name)
{
    if (::fnmatch(pattern_.constData(), name.constData(), FNM_CASEFOLD) != 0)
        return false;
    struct stat status
    {
    };
    // Pipes and devices are never pictures: opening one could block the scan.
    if (::fstatat(directoryFd, name.constData(), &status, 0) != 0 ||
        (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))) {
        entries_.remove(name);
        return false;
    }
    auto it = entries_.find(name);
    if (it == entries_.end())
        it = entries_.insert(name, Entry{0, 0, false, nextOrder_++});
    it->modifiedMs = std::int64_t(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000;
    it->size = status.st_size;
    it->directory = S_ISDIR(status.st_mode);
    return true;
}

void CollectScanner::ListAll(int directoryFd)
{
    entries_.clear();
    nextOrder_ = 0;
    const int listingFd = ::dup(directoryFd);
    if (listingFd < 0)
        return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listingFd), ::closedir);
    if (!dir) {
        ::close(listingFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            Restat(directoryFd, QByteArray(entry->d_name));
    }
    listed_ = true;
}

const QByteArray* CollectScanner::Newest() const
{
    const QByteArray* newest = nullptr;
    const Entry* best = nullptr;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        const Entry& entry = it.value();
        // Among equal times the first listed wins.
        if (!best || entry.modifiedMs > best->modifiedMs ||
            (entry.modifiedMs == best->modifiedMs && entry.order < best->order)) {
            best = &entry;
            newest = &it.key();
        }
    }
    return newest;
}

CollectScanner::Result CollectScanner::Scan(const QString& directory, const QString& mask,
                                            std::int64_t lastCollectedMs)
{
    Result result;
    const QByteArray encodedDirectory = QFile::encodeName(directory);
    const int fd = ::open(encodedDirectory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        listed_ = false;
        return result;
    }
    const DirectoryFd closer{fd};
    // "*.*" takes every name, with or without a dot, as users of wildcards expect.
    const QByteArray pattern = QFile::encodeName(mask == QLatin1String("*.*") ? QStringLiteral("*") : mask);
    if (!listed_ || encodedDirectory != listedDirectory_ || pattern != pattern_) {
        listedDirectory_ = encodedDirectory;
        pattern_ = pattern;
        ListAll(fd);
    } else {
        for (const QByteArray& name : std::as_const(stale_))
            Restat(fd, name);
        // Nothing reports a subdirectory whose own contents changed: they are few, so each
        // is looked at every time.
        QList<QByteArray> directories;
        for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
            if (it->directory)
                directories.append(it.key());
        }
        for (const QByteArray& name : std::as_const(directories))
            Restat(fd, name);
    }
    stale_.clear();

    // The winner is looked at once more, so a file changed or removed without a word from the
    // watcher is never taken on old facts.
    QByteArray newest;
    while (const QByteArray* best = Newest()) {
        const QByteArray name = *best;
        const std::int64_t listedMs = entries_.value(name).modifiedMs;
        if (Restat(fd, name) && entries_.value(name).modifiedMs >= listedMs) {
            newest = name;
            break;
        }
    }
    if (newest.isEmpty() || entries_.value(newest).modifiedMs <= lastCollectedMs)
        return result;
    const Entry entry = entries_.value(newest);
    result.name = QFile::decodeName(newest);
    result.path = QDir(directory).filePath(result.name);
    result.modifiedMs = entry.modifiedMs;
    result.outcome = Outcome::Unreadable;
    // A directory never opens as a file: it waits until a newer file arrives.
    if (entry.directory)
        return result;
    QFile file(result.path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    result.outcome = Outcome::Wait;
    if (!Complete(result.name, entry.size, entry.modifiedMs))
        return result;
    files_.remove(result.name);
    result.outcome = Outcome::Collect;
    return result;
}
