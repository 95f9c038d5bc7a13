#include "CollectScanner.h"

#include "Clock.h"
#include "LogText.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
struct DirectoryFd
{
    int fd;
    ~DirectoryFd() { ::close(fd); }
};
} // namespace

namespace {
QByteArray MaskPattern(const QString& mask)
{
    // "*.*" takes every name, with or without a dot, as users of wildcards expect.
    return QFile::encodeName(mask == QLatin1String("*.*") ? QStringLiteral("*") : mask);
}
} // namespace

CollectScanner::CollectScanner(const Clock& clock) : clock_(clock) {}

bool CollectScanner::MaskTakes(const QString& mask, const QByteArray& name)
{
    return ::fnmatch(MaskPattern(mask).constData(), name.constData(), FNM_CASEFOLD) == 0;
}

void CollectScanner::NoteCompleted(const QList<QByteArray>& names)
{
    MarkStale(names);
    for (const QByteArray& name : names) {
        Seen& seen = files_[name];
        seen.closed = true;
        seen.writing = false;
        seen.finished = ++finishCount_;
        Reindex(name);
    }
}

void CollectScanner::NoteWritten(const QList<QByteArray>& names)
{
    MarkStale(names);
    for (const QByteArray& name : names) {
        Seen& seen = files_[name];
        seen.closed = false;
        seen.writing = true;
        seen.size = -1;
    }
}

void CollectScanner::NoteTouched(const QList<QByteArray>& names)
{
    MarkStale(names);
    for (const QByteArray& name : names) {
        Seen& seen = files_[name];
        seen.closed = false;
        seen.size = -1;
    }
}

bool CollectScanner::Complete(const QByteArray& name, std::int64_t size, std::int64_t modifiedMs,
                              bool& writerGaveUp)
{
    const std::uint64_t now = clock_.MonotonicMs();
    Seen& seen = files_[name];
    if (seen.closed)
        return true;
    if (seen.size != size || seen.modifiedMs != modifiedMs) {
        seen.size = size;
        seen.modifiedMs = modifiedMs;
        seen.stableSinceMs = now;
    }
    const std::uint64_t stillFor = now - seen.stableSinceMs;
    if (seen.writing) {
        // Its writer still holds it: only one that has left it untouched for very long is
        // given up on.
        writerGaveUp = stillFor >= static_cast<std::uint64_t>(WriterGiveUpMs);
        return writerGaveUp;
    }
    // A file last changed that long ago has stood still long enough, even if no close was seen
    // (it was there before the watch began). A time ahead of the clock proves nothing.
    if (clock_.UtcNow().toMSecsSinceEpoch() - modifiedMs >= CompleteAfterMs)
        return true;
    return stillFor >= static_cast<std::uint64_t>(CompleteAfterMs);
}

void CollectScanner::MarkStale(const QList<QByteArray>& names)
{
    for (const QByteArray& name : names)
        stale_.insert(name);
}

void CollectScanner::NoteChanged(const QList<QByteArray>& names)
{
    MarkStale(names);
}

CollectScanner::Stamp CollectScanner::StampOf(const QByteArray& name) const
{
    const auto seen = files_.constFind(name);
    return Stamp(entries_.value(name).modifiedMs, seen == files_.cend() ? 0 : seen->finished);
}

void CollectScanner::Reindex(const QByteArray& name)
{
    const auto it = entries_.find(name);
    if (it == entries_.end())
        return;
    const Stamp stamp = StampOf(name);
    if (!(stamp < it->indexed) && !(it->indexed < stamp))
        return;
    byAge_.erase(AgeKey{it->indexed, it->order});
    it->indexed = stamp;
    byAge_.emplace(AgeKey{stamp, it->order}, name);
}

void CollectScanner::Forget(QHash<QByteArray, Entry>::iterator entry)
{
    byAge_.erase(AgeKey{entry->indexed, entry->order});
    directories_.remove(entry.key());
    entries_.erase(entry);
}

bool CollectScanner::Restat(int directoryFd, const QByteArray& name)
{
    auto it = entries_.find(name);
    if (::fnmatch(pattern_.constData(), name.constData(), FNM_CASEFOLD) != 0) {
        if (it != entries_.end())
            Forget(it);
        files_.remove(name);
        return false;
    }
    struct stat status
    {
    };
    // Pipes and devices are never pictures: opening one could block the scan.
    if (::fstatat(directoryFd, name.constData(), &status, 0) != 0 ||
        (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))) {
        if (it != entries_.end())
            Forget(it);
        // A drop directory may see hundreds of thousands of names in a long run: what was
        // seen of one that is gone is dropped with it.
        files_.remove(name);
        return false;
    }
    if (it == entries_.end()) {
        Entry entry;
        entry.order = nextOrder_++;
        it = entries_.insert(name, entry);
        byAge_.emplace(AgeKey{it->indexed, it->order}, name);
    }
    const std::int64_t fileMs =
        std::int64_t(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000;
    const std::int64_t nowMs = clock_.UtcNow().toMSecsSinceEpoch();
    if (fileMs <= nowMs + FutureToleranceMs)
        it->modifiedMs = fileMs;
    else if (it->fileModifiedMs != fileMs || it->modifiedMs == 0)
        it->modifiedMs = nowMs; // first seen with this time: it arrived now
    it->fileModifiedMs = fileMs;
    it->size = status.st_size;
    it->directory = S_ISDIR(status.st_mode);
    if (it->directory)
        directories_.insert(name);
    else
        directories_.remove(name);
    Reindex(name);
    return true;
}

void CollectScanner::ListAll(int directoryFd)
{
    entries_.clear();
    byAge_.clear();
    directories_.clear();
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
    // Names no longer there (or no longer matching) are forgotten, except the ones the watcher
    // has just reported, whose entries may not be listed yet.
    for (auto it = files_.begin(); it != files_.end();) {
        if (!entries_.contains(it.key()) && !stale_.contains(it.key()))
            it = files_.erase(it);
        else
            ++it;
    }
    listed_ = true;
}

const QByteArray* CollectScanner::Newest() const
{
    return byAge_.empty() ? nullptr : &byAge_.crbegin()->second;
}

CollectScanner::Result CollectScanner::Scan(const QString& directory, const QString& mask,
                                            const Stamp& lastCollected)
{
    Result result;
    const QByteArray encodedDirectory = QFile::encodeName(directory);
    const int fd = ::open(encodedDirectory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        listed_ = false;
        return result;
    }
    const DirectoryFd closer{fd};
    const QByteArray pattern = MaskPattern(mask);
    if (!listed_ || encodedDirectory != listedDirectory_ || pattern != pattern_) {
        listedDirectory_ = encodedDirectory;
        pattern_ = pattern;
        ListAll(fd);
    } else {
        for (const QByteArray& name : std::as_const(stale_))
            Restat(fd, name);
        // Nothing reports a subdirectory whose own contents changed: they are few, so each
        // is looked at every time.
        const QList<QByteArray> directories = directories_.values();
        for (const QByteArray& name : directories)
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
    if (newest.isEmpty() || !(lastCollected < StampOf(newest)))
        return result;
    const Entry entry = entries_.value(newest);
    result.name = FileNameForDisplay(newest);
    result.path = QDir(directory).filePath(QFile::decodeName(newest));
    result.encodedPath = encodedDirectory + (encodedDirectory.endsWith('/') ? "" : "/") + newest;
    result.modifiedMs = entry.modifiedMs;
    result.stamp = StampOf(newest);
    if (entry.fileModifiedMs != entry.modifiedMs)
        result.futureModifiedMs = entry.fileModifiedMs;
    result.outcome = Outcome::Unreadable;
    // A directory never opens as a file: it waits until a newer file arrives.
    if (entry.directory)
        return result;
    // Readable by us? (Without blocking: it was a regular file a moment ago, but need not be now.)
    const int probe = ::openat(fd, newest.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0)
        return result;
    ::close(probe);
    result.outcome = Outcome::Wait;
    if (!Complete(newest, entry.size, entry.modifiedMs, result.writerGaveUp))
        return result;
    files_.remove(newest);
    Reindex(newest);
    result.outcome = Outcome::Collect;
    NotePassedOver(newest, lastCollected, result);
    return result;
}

void CollectScanner::NotePassedOver(const QByteArray& taken, const Stamp& lastCollected, Result& result) const
{
    // Those newer than the last collected and not newer than the one taken, found by age:
    // the entries of the last collected's own stamp all rank below the one listed first.
    std::vector<std::pair<Stamp, const QByteArray*>> older;
    for (auto it = byAge_.upper_bound(AgeKey{lastCollected, 0});
         it != byAge_.cend() && !(result.stamp < it->first.stamp); ++it) {
        // A file its writer is still at work on is not passed over: it will be newer once done.
        if (it->second != taken && !directories_.contains(it->second) && !files_.value(it->second).writing)
            older.emplace_back(it->first.stamp, &it->second);
    }
    result.passedOverCount = static_cast<int>(older.size());
    const auto shown = older.begin() + std::min<std::ptrdiff_t>(older.size(), MaxPassedOverNames);
    std::partial_sort(older.begin(), shown, older.end(), [](const auto& a, const auto& b) {
        return a.first < b.first || (!(b.first < a.first) && *a.second < *b.second);
    });
    for (auto it = older.begin(); it != shown; ++it)
        result.passedOver.append(FileNameForDisplay(*it->second));
}
