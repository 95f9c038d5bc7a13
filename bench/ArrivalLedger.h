#pragma once

#include "CycleRig.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

// Works out from the log what became of each file dropped into the watched directory, in the
// order the files were dropped (each newer than the one before):
//   "Loaded file X"                       X reaches the controller (its fate comes later)
//   "K older file(s) passed over - the newer file X is taken: ..."
//                                         every file dropped before X and not yet seen
//   "Failed to load file X"               X is not published
//   "N image(s) skipped while busy"       the N oldest loaded images still open, at the next
//   "Processing cycle begun at ..."       cycle, which is the next oldest one's
//   "Archive - Archived OK" / "- Error"   the oldest cycle not yet archived
// A count the log gives that disagrees with what the ledger finds is noted as a problem. The
// counts are exact; which files a skip line stands for is inferred (the oldest still open), so
// a skipped file's lag is approximate.
class ArrivalLedger final
{
public:
    enum class Fate
    {
        Open,
        Published,
        Skipped,
        PassedOver,
        Failed,
        ArchiveError,
        NotPublished,
    };
    struct Entry
    {
        Fate fate = Fate::Open;
        double settledMs = 0; // when the line that settled it arrived
    };

    // The names in the order they are dropped.
    explicit ArrivalLedger(const QStringList& names);

    void Feed(const LoggedLine& line);

    int Settled() const { return settled_; }
    // Whether a file was named in a line of its own (loaded, failed or passed over).
    bool Seen(int index) const { return seen_[static_cast<std::size_t>(index)]; }
    int Count(Fate fate) const;
    const std::vector<Entry>& Entries() const { return entries_; }
    const QStringList& Problems() const { return problems_; }

private:
    void Settle(int index, Fate fate, double atMs);
    int IndexOf(const QString& name);

    QHash<QString, int> index_;
    std::vector<Entry> entries_;
    std::vector<bool> seen_; // loaded, passed over or failed
    std::deque<int> loaded_, cycling_;
    int pendingSkips_ = 0;
    int settled_ = 0;
    QStringList problems_;
};
