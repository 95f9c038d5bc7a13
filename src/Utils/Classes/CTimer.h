#pragma once

#include <QBasicTimer>
#include <QDateTime>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

class Clock;

namespace Utils::Classes {

// Named timer entries that post a message to a receiver on schedule, optionally aligned to the
// exact stroke of the local clock, and named stopwatches. Used on the GUI thread only. All
// times come from the injected clock; a 100 ms tick checks the entries.
class CTimer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTimer)

public:
    static constexpr std::int64_t MinPeriodSeconds = 1;
    static constexpr std::int64_t MaxPeriodSeconds = 2147483;
    static constexpr int TickIntervalMs = 100;

    explicit CTimer(const Clock& clock, QObject* parent = nullptr);
    ~CTimer() override;

    // Makes (or replaces) the entry; the period is clamped to 1 to 2147483 seconds. The first
    // due time is the first aligned instant strictly after now (exact stroke), else now + period.
    void AddTimer(const QString& name, std::int64_t periodSeconds, bool exactStroke, QObject* target,
                  QEvent::Type message, std::int64_t wParam = 0, std::int64_t lParam = 0);
    void RemoveTimer(const QString& name);
    // The entry's next due time in local time; nothing when there is no such entry.
    std::optional<QDateTime> GetNextDueTime(const QString& name) const;

    void StartStopwatch(const QString& name);
    // "%d Day%s %.2d:%.2d:%.2d" of the whole seconds since the entry was made.
    std::optional<QString> FormatElapsed(const QString& name) const;
    static QString FormatElapsedSeconds(std::int64_t seconds);

    // Checks every entry once, as the 100 ms tick does. Public so that tests drive it with
    // their own clock instead of waiting.
    void Tick();

    bool TickRunning() const { return tick_.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Entry
    {
        QPointer<QObject> target;
        bool hasTarget = false;
        QEvent::Type message = QEvent::None;
        std::int64_t wParam = 0;
        std::int64_t lParam = 0;
        qint64 createdMs = 0; // UTC milliseconds since the epoch
        qint64 dueMs = 0;
        qint64 previousDueMs = 0;
        std::int64_t periodSeconds = 0;
        bool exactStroke = false;
        // Set while the entry's last message waits in the receiver's queue.
        std::shared_ptr<std::atomic_bool> queued = std::make_shared<std::atomic_bool>(false);
    };

    qint64 AlignedStart(std::int64_t periodSeconds) const;
    static void Advance(Entry& entry, qint64 nowMs);

    const Clock& clock_;
    std::map<QString, Entry> entries_;
    QBasicTimer tick_;
};

} // namespace Utils::Classes
