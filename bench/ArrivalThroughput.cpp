#include "ArrivalThroughput.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {
double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size()))) - 1;
    return values[std::min(at, values.size() - 1)];
}

bool WriteWhole(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}
} // namespace

ArrivalThroughput::ArrivalThroughput(CycleRig& rig, const QByteArray& jpeg) : rig_(rig), jpeg_(jpeg) {}

RateOutcome ArrivalThroughput::RunRate(double perSecond, int seconds)
{
    const int count = std::max(1, static_cast<int>(std::lround(perSecond * seconds)));
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("arrival%1.jpg").arg(next_ + i, 6, 10, QLatin1Char('0'));
    next_ += count;
    const QByteArray staging = QFile::encodeName(staging_.path()) + '/';
    const QByteArray watched = QFile::encodeName(rig_.WatchedDirectory()) + '/';

    ArrivalLedger ledger(names);
    rig_.ClearLines();
    std::size_t fed = 0;
    std::vector<double> droppedAt(static_cast<std::size_t>(count), 0);
    std::atomic<bool> dropping{true};
    std::atomic<int> dropFailures{0};
    std::thread dropper([&] {
        using namespace std::chrono;
        const auto period = duration_cast<steady_clock::duration>(duration<double>(1.0 / perSecond));
        const auto start = steady_clock::now() + milliseconds(20);
        for (int i = 0; i < count; ++i) {
            std::this_thread::sleep_until(start + i * period);
            const QByteArray name = QFile::encodeName(names[i]);
            if (!WriteWhole(staging + name, jpeg_) ||
                ::rename((staging + name).constData(), (watched + name).constData()) != 0)
                ++dropFailures;
            droppedAt[static_cast<std::size_t>(i)] = rig_.NowMs();
        }
        dropping = false;
    });
    const auto feed = [&] {
        for (; fed < rig_.Lines().size(); ++fed)
            ledger.Feed(rig_.Lines()[fed]);
    };
    rig_.RunUntil(
        [&] {
            feed();
            return !dropping && ledger.Settled() == count;
        },
        seconds * 1000 + DrainMs, 20);
    dropper.join();
    feed();

    RateOutcome outcome;
    outcome.perSecond = perSecond;
    outcome.dropped = count;
    outcome.published = ledger.Count(ArrivalLedger::Fate::Published);
    outcome.skipped = ledger.Count(ArrivalLedger::Fate::Skipped);
    outcome.passedOver = ledger.Count(ArrivalLedger::Fate::PassedOver);
    outcome.failed = count - outcome.published - outcome.skipped - outcome.passedOver -
                     ledger.Count(ArrivalLedger::Fate::Open);
    outcome.unsettled = ledger.Count(ArrivalLedger::Fate::Open);
    outcome.problems = ledger.Problems();
    for (int i = 0, named = 0; i < count && named < 5; ++i) {
        if (ledger.Entries()[static_cast<std::size_t>(i)].fate == ArrivalLedger::Fate::Open) {
            outcome.problems << names[i] + (ledger.Seen(i)
                                                ? QStringLiteral(": loaded, then no cycle and no skip")
                                                : QStringLiteral(": never named in the log"));
            ++named;
        }
    }
    if (dropFailures > 0)
        outcome.problems << QStringLiteral("%1 file(s) could not be dropped").arg(dropFailures.load());
    std::vector<double> all, first, second;
    for (int i = 0; i < count; ++i) {
        const ArrivalLedger::Entry& entry = ledger.Entries()[static_cast<std::size_t>(i)];
        // A file never settled counts as waiting until now.
        const double settledMs = entry.fate == ArrivalLedger::Fate::Open ? rig_.NowMs() : entry.settledMs;
        const double lag = settledMs - droppedAt[static_cast<std::size_t>(i)];
        all.push_back(lag);
        (i < count / 2 ? first : second).push_back(lag);
    }
    outcome.lagMedianMs = Percentile(all, 0.5);
    outcome.lagMaxMs = Percentile(all, 1.0);
    outcome.lagFirstHalfMs = Percentile(first.empty() ? second : first, 0.9);
    outcome.lagSecondHalfMs = Percentile(second, 0.9);

    // The next rate starts on an empty directory, so that listing it costs the same.
    for (const QString& name : std::as_const(names))
        ::unlink((watched + QFile::encodeName(name)).constData());
    CycleRig::Spin(200);
    return outcome;
}
