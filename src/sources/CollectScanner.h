#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>

class Clock;

// Picks the file to collect from a watched directory: the newest entry matching the mask
// (latest modification time; among equal times the one the watcher saw finish last, then the
// first listed; directories take part), if it is newer than the last file collected and
// complete. A file the watcher saw written to is complete only when its writer has closed it
// (a close-after-write or move-in seen since), however long ago it last changed: a writer
// pausing with the file open must not have half a picture taken (and, with Delete on Collect,
// deleted). Only a writer that keeps a file open for WriterGiveUpMs without a change is given
// up on, and the result says so. A file found by a listing alone, or merely created, is
// complete when its time is CompleteAfterMs old or its size and time have stood still that
// long while watched.
//
// The directory is listed once; after that a scan looks again only at the names the watcher
// reported and at subdirectories, so a drop directory that is never emptied costs a few stats
// per arrival instead of one per file; the entries are kept ordered by age as well, so that
// finding the newest (and the files it overtook) is no pass over every name either.
// Relist() starts over when the watcher may have missed something (it was restarted, or its
// queue overflowed).
class CollectScanner final
{
public:
    static constexpr std::int64_t CompleteAfterMs = 500;
    static constexpr std::int64_t WriterGiveUpMs = 10 * 60 * 1000;
    // A modification time further ahead of the clock than this is a wrong clock, not a file.
    static constexpr std::int64_t FutureToleranceMs = 2000;

    // Orders files by age: the modification time, then the order the watcher saw them finish
    // (0 for a file it never saw finish), so two files with the same time are both collected.
    struct Stamp
    {
        std::int64_t modifiedMs = 0; // since the epoch
        std::uint64_t finished = 0;
        Stamp() = default;
        Stamp(std::int64_t ms, std::uint64_t finishOrder = 0) : modifiedMs(ms), finished(finishOrder) {}
        friend bool operator<(const Stamp& a, const Stamp& b)
        {
            return a.modifiedMs != b.modifiedMs ? a.modifiedMs < b.modifiedMs : a.finished < b.finished;
        }
    };

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
        QString name; // for showing: bytes that are not UTF-8 escaped
        QString path;
        QByteArray encodedPath;      // the file system's bytes, to open the file by
        std::int64_t modifiedMs = 0; // since the epoch
        Stamp stamp;                 // what the caller passes as the last collected once taken
        // Taken although its writer never closed it: it stood still for WriterGiveUpMs.
        bool writerGaveUp = false;
        // Its time lies ahead of the clock (a camera with a wrong clock): it counts as having
        // arrived when it was first seen, so it cannot stand in front of every later file.
        std::int64_t futureModifiedMs = 0;
        // Complete or not, files newer than the last collected but older than the one taken:
        // they will never be collected, and the log says so. The oldest names (at most
        // MaxPassedOverNames), and how many there were in all.
        QStringList passedOver;
        int passedOverCount = 0;
    };
    static constexpr int MaxPassedOverNames = 20;

    explicit CollectScanner(const Clock& clock);

    // Whether the mask takes a name: a wildcard without regard to case ("*.jpg" takes
    // IMG_0001.JPG), "*.*" taking every name, with or without a dot.
    static bool MaskTakes(const QString& mask, const QByteArray& name);

    // Masks match as MaskTakes says.
    Result Scan(const QString& directory, const QString& mask, const Stamp& lastCollected);

    // What the directory watcher saw in a batch. Completed names come in the order they
    // finished; written names have a writer at work; touched names were merely created.
    void NoteCompleted(const QList<QByteArray>& names);
    void NoteWritten(const QList<QByteArray>& names);
    void NoteTouched(const QList<QByteArray>& names);
    // Names whose entry may have changed otherwise: a new time, removed, renamed away.
    void NoteChanged(const QList<QByteArray>& names);
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
        std::uint64_t finished = 0;      // the order it was last seen finished, 0 if never
        bool closed = false;
        bool writing = false; // written to since its last close
    };

    // One listed name the mask takes: a regular file or a directory.
    struct Entry
    {
        std::int64_t modifiedMs = 0; // what it is ordered by: never later than when it was seen
        std::int64_t size = 0;
        bool directory = false;
        std::uint64_t order = 0;         // listing order, which breaks ties
        std::int64_t fileModifiedMs = 0; // as the file system has it
        Stamp indexed;                   // its place in byAge_
    };
    // The entries from oldest to newest: by stamp, and among equal stamps the first listed
    // last, as it wins the tie.
    struct AgeKey
    {
        Stamp stamp;
        std::uint64_t order = 0;
        friend bool operator<(const AgeKey& a, const AgeKey& b)
        {
            return a.stamp < b.stamp || (!(b.stamp < a.stamp) && a.order > b.order);
        }
    };

    // Complete, not yet, or (writerGaveUp) taken from a writer that never closed it.
    bool Complete(const QByteArray& name, std::int64_t size, std::int64_t modifiedMs, bool& writerGaveUp);
    Stamp StampOf(const QByteArray& name) const;
    void ListAll(int directoryFd);
    // Stats one name again: updates, adds or drops its entry. False when it is gone.
    bool Restat(int directoryFd, const QByteArray& name);
    // Each name marked for a fresh look.
    void MarkStale(const QList<QByteArray>& names);
    const QByteArray* Newest() const;
    // Puts the entry in its place by age once more: its time or finish order changed.
    void Reindex(const QByteArray& name);
    // Drops the entry and its place by age.
    void Forget(QHash<QByteArray, Entry>::iterator entry);
    // Fills the result's passed-over names for the file it takes.
    void NotePassedOver(const QByteArray& taken, const Stamp& lastCollected, Result& result) const;

    const Clock& clock_;
    QHash<QByteArray, Seen> files_;
    std::uint64_t finishCount_ = 0;
    // The listing and what it is of.
    bool listed_ = false;
    QByteArray listedDirectory_;
    QByteArray pattern_;
    QHash<QByteArray, Entry> entries_;
    std::map<AgeKey, QByteArray> byAge_;
    QSet<QByteArray> directories_;
    QSet<QByteArray> stale_;
    std::uint64_t nextOrder_ = 0;
};
