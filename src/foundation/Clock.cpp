#include "Clock.h"

#include <chrono>

namespace {
class RealClock final : public Clock
{
public:
    QDateTime UtcNow() const override { return QDateTime::currentDateTimeUtc(); }
    QDateTime LocalNow() const override { return QDateTime::currentDateTime(); }
    std::uint64_t MonotonicMs() const override { return MillisecondClock(); }
};
} // namespace

const Clock& SystemClock()
{
    static const RealClock clock;
    return clock;
}

std::uint64_t FixedClock::MonotonicMs() const
{
    return MillisecondClock();
}

std::uint64_t MillisecondClock()
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
