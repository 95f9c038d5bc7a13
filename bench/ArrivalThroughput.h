#pragma once

#include "ArrivalLedger.h"
#include "CycleRig.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

// What became of the files dropped at one rate.
struct RateOutcome
{
    double perSecond = 0;
    int dropped = 0;
    int published = 0, skipped = 0, passedOver = 0, failed = 0, unsettled = 0;
    double lagMedianMs = 0, lagMaxMs = 0;
    // The 90th percentile of the lag, over the first and the second half of the drops.
    double lagFirstHalfMs = 0, lagSecondHalfMs = 0;
    QStringList problems;

    // Every file has its line in the log and the ledger agrees with the log's counts.
    bool Accounted() const { return unsettled == 0 && problems.isEmpty(); }
    // The lag from a drop to its line did not grow over the run.
    bool Bounded() const { return lagSecondHalfMs <= 2 * lagFirstHalfMs + 50; }
    bool KeepsUp() const { return Accounted() && Bounded(); }
    // Each file became a cycle of its own: none was skipped or passed over.
    bool AllPublished() const { return KeepsUp() && published == dropped; }
};

// Drops 1920 x 1080 JPEGs into the rig's watched directory at a steady rate from a thread of
// its own (each written in a staging directory on the same file system, then renamed in, as a
// camera's uploader does), runs the program's event loop meanwhile, and reads the log.
class ArrivalThroughput final
{
public:
    // After the last drop, how long the program has to settle every file.
    static constexpr int DrainMs = 3000;

    ArrivalThroughput(CycleRig& rig, const QByteArray& jpeg);

    RateOutcome RunRate(double perSecond, int seconds);

private:
    CycleRig& rig_;
    const QByteArray& jpeg_;
    QTemporaryDir staging_;
    int next_ = 0;
};
