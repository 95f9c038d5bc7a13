#pragma once

#include "Clock.h"

#include <QTimeZone>

// A clock that stands still until a test moves it, in a fixed time zone of the test's choice.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime utc = QDateTime(QDate(2009, 3, 3), QTime(7, 5, 9, 45), Qt::UTC),
                         int utcOffsetSeconds = 0);

    QDateTime UtcNow() const override;
    QDateTime LocalNow() const override;
    std::uint64_t MonotonicMs() const override { return monotonicMs_; }

    void SetUtc(const QDateTime& utc);
    // Sets the local wall-clock time in the clock's zone.
    void SetLocal(const QDateTime& localFields);
    void Advance(qint64 milliseconds);
    void SetUtcOffset(int seconds) { zone_ = QTimeZone(seconds); }

private:
    qint64 utcMs_ = 0;
    std::uint64_t monotonicMs_ = 1000;
    QTimeZone zone_;
};
