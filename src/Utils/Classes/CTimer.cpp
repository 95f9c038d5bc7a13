#include "CTimer.h"

#include "Clock.h"
#include "MessageEvent.h"

#include <QCoreApplication>
#include <QTimeZone>
#include <QTimerEvent>

#include <algorithm>

namespace Utils::Classes {

CTimer::CTimer(const Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

CTimer::~CTimer() = default;

qint64 CTimer::AlignedStart(std::int64_t p) const
{
    // Aligned on the local clock, so that "every hour on the hour" strikes on the local hour
    // in zones whose offset is not a whole number of hours.
    const QDateTime local = clock_.LocalNow();
    const QTime time = local.time();
    QDateTime aligned;
    if (p <= 60) {
        const int second = time.second() - static_cast<int>(time.second() % p);
        aligned = QDateTime(local.date(), QTime(time.hour(), time.minute(), second), local.timeZone());
        return aligned.toMSecsSinceEpoch();
    }
    if (p <= 3600) {
        const int step = static_cast<int>(p / 60);
        aligned = QDateTime(local.date(), QTime(time.hour(), time.minute() - time.minute() % step, 0),
                            local.timeZone());
    } else if (p <= 86400) {
        const int step = static_cast<int>(p / 3600);
        aligned = QDateTime(local.date(), QTime(time.hour() - time.hour() % step, 0, 0), local.timeZone());
    } else {
        aligned = QDateTime(local.date(), QTime(0, 0, 0), local.timeZone());
    }
    return aligned.toMSecsSinceEpoch() - p * 1000;
}

void CTimer::Advance(Entry& entry, qint64 nowMs)
{
    const qint64 step = entry.periodSeconds * 1000;
    if (step <= 0) {
        entry.dueMs = nowMs;
        return;
    }
    // Straight to the first multiple after now, however far behind the entry is.
    if (nowMs >= entry.dueMs)
        entry.dueMs += ((nowMs - entry.dueMs) / step + 1) * step;
}

void CTimer::AddTimer(const QString& name, std::int64_t periodSeconds, bool exactStroke, QObject* target,
                      QEvent::Type message, std::int64_t wParam, std::int64_t lParam)
{
    Entry entry;
    entry.target = target;
    entry.hasTarget = target != nullptr;
    entry.message = message;
    entry.wParam = wParam;
    entry.lParam = lParam;
    entry.periodSeconds = std::clamp(periodSeconds, MinPeriodSeconds, MaxPeriodSeconds);
    entry.exactStroke = exactStroke;
    const qint64 now = clock_.UtcNow().toMSecsSinceEpoch();
    entry.createdMs = now;
    entry.dueMs = exactStroke ? AlignedStart(entry.periodSeconds) : now;
    Advance(entry, now);
    entries_.insert_or_assign(name, std::move(entry));
    if (!tick_.isActive())
        tick_.start(TickIntervalMs, Qt::CoarseTimer, this);
}

void CTimer::RemoveTimer(const QString& name)
{
    entries_.erase(name);
}

std::optional<QDateTime> CTimer::GetNextDueTime(const QString& name) const
{
    const auto found = entries_.find(name);
    if (found == entries_.end())
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(found->second.dueMs, Qt::UTC)
        .toTimeZone(clock_.LocalNow().timeZone());
}

void CTimer::StartStopwatch(const QString& name)
{
    Entry entry;
    entry.createdMs = clock_.UtcNow().toMSecsSinceEpoch();
    entry.dueMs = entry.createdMs;
    entries_.insert_or_assign(name, std::move(entry));
}

QString CTimer::FormatElapsedSeconds(std::int64_t s)
{
    s = std::max<std::int64_t>(s, 0);
    const std::int64_t days = s / 86400;
    return QString::asprintf("%lld Day%s %.2d:%.2d:%.2d", static_cast<long long>(days), days == 1 ? "" : "s",
                             static_cast<int>((s % 86400) / 3600), static_cast<int>((s % 3600) / 60),
                             static_cast<int>(s % 60));
}

std::optional<QString> CTimer::FormatElapsed(const QString& name) const
{
    const auto found = entries_.find(name);
    if (found == entries_.end())
        return std::nullopt;
    const qint64 elapsedMs = clock_.UtcNow().toMSecsSinceEpoch() - found->second.createdMs;
    return FormatElapsedSeconds(elapsedMs / 1000);
}

void CTimer::Tick()
{
    const qint64 now = clock_.UtcNow().toMSecsSinceEpoch();
    for (auto& [name, entry] : entries_) {
        if (!entry.hasTarget || now < entry.dueMs)
            continue;
        entry.previousDueMs = entry.dueMs;
        Advance(entry, now);
        if (!entry.target || entry.queued->load())
            continue;
        auto* event = new MessageEvent(entry.message, entry.wParam, entry.lParam);
        event->SetPendingFlag(entry.queued);
        QCoreApplication::postEvent(entry.target, event);
    }
}

void CTimer::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == tick_.timerId())
        Tick();
    else
        QObject::timerEvent(event);
}

} // namespace Utils::Classes
