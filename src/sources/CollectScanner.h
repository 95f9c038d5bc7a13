#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

class Clock;

// Picks the file to collect from a watched directory: the newest entry matching the mask
// (latest modification time; the first listed wins a tie; directories take part), if it is
// newer than the last file collected and complete. A file is complete when its writer has
// closed it (a close-after-write or move-in seen since its last change), when its time is
// CompleteAfterMs old, or when its size and time have stood still that long while watched;
// a half-written file is left for a later scan.
//
// The directory is listed once; after that a scan looks again only at the names the watcher
// reported and at subdirectories, so a drop directory that is never emptied costs a few stats
// per arrival instead of one per file. Relist() starts over when the watcher may have missed
// something (it was restarted, or its queue overflowed).
class CollectScanner final
{
public:
    static constexpr std::int64_t CompleteAfterMs = 500;

    enum class Outcome
    {
        NothingNew, // no match, or the newest is not newer than the last collected
        Wait,       // the newest is still being written: scan again shortly
        Unreadable, // the newest cannot be opened (or is a directory): wait for the next change
        Collect,    // take `path`
    };
    struct Result
    {
        Outcome outcome = Outcome::NothingNew;
        QString name;
        QString path;
        std::int64_t modifiedMs = 0; // since the epoch
    };

    explicit CollectScanner(const Clock& clock);

    // Masks match as wildcards without regard to case ("*.jpg" takes IMG_0001.JPG).
    Result Scan(const QString& directory, const QString& mask, std::int64_t lastCollectedMs);

    // What the directory watcher saw in a batch.
    void NoteCompleted(const QStringList& names);
    void NoteTouched(const QStringList& names);
    // Names whose entry may have changed otherwise: a new time, removed, renamed away.
    void NoteChanged(const QStringList& names);
    // The next scan lists the whole directory again.
    void Relist() { listed_ = false; }
    // Forgets everything (a new directory or mask).
    void Reset()
    {
        files_.clear();
        Relist();
    }

private:
    struct Seen
    {
        std::int64_t size = -1;
        std::int64_t modifiedMs = -1;
        std::uint64_t stableSinceMs = 0; // monotonic
        bool closed = false;
    };

    // One listed name the mask takes: a regular file or a directory.
    struct Entry
    {
        std::int64_t modifiedMs = 0;
        std::int64_t size = 0;
        bool directory = false;
        std::uint64_t order = 0; // listing order, which breaks ties
    };

    bool Complete(const QString& name, std::int64_t size, std::int64_t modifiedMs);
    void ListAll(int directoryFd);
    // Stats one name again: updates, adds or drops its entry. False when it is gone.
    bool Restat(int directoryFd, const QByteArray& name);
    void MarkStale(const QStringList& names);
    const QByteArray* Newest() const;

    const Clock& clock_;
    QHash<QString, Seen> files_;
    // The listing and what it is of.
    bool listed_ = false;
    QByteArray listedDirectory_;
    QByteArray pattern_;
    QHash<QByteArray, Entry> entries_;
    QSet<QByteArray> stale_;
    std::uint64_t nextOrder_ = 0;
};
