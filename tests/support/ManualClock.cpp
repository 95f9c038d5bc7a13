#include "ManualClock.h"

ManualClock::ManualClock(QDateTime utc, int utcOffsetSeconds)
    : utcMs_(utc.toMSecsSinceEpoch()), zone_(utcOffsetSeconds)
{
}

QDateTime ManualClock::UtcNow() const
{
    return QDateTime::fromMSecsSinceEpoch(utcMs_, Qt::UTC);
}

QDateTime ManualClock::LocalNow() const
{
    return QDateTime::fromMSecsSinceEpoch(utcMs_, zone_);
}

void ManualClock::SetUtc(const QDateTime& utc)
{
    utcMs_ = utc.toMSecsSinceEpoch();
}

void ManualClock::SetLocal(const QDateTime& localFields)
{
    utcMs_ = QDateTime(localFields.date(), localFields.time(), zone_).toMSecsSinceEpoch();
}

void ManualClock::Advance(qint64 milliseconds)
{
    utcMs_ += milliseconds;
    monotonicMs_ += static_cast<std::uint64_t>(milliseconds);
}
