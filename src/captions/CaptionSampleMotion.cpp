#include "CaptionSampleMotion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace CaptionSampleMotion {

QPoint ViewTarget(QPoint anchor, std::int32_t justify, QSize view, int lineHeight)
{
    int x = anchor.x() - view.width() / 2;
    if (justify == 0)
        x += static_cast<int>(view.width() * 0.4);
    else if (justify == 2)
        x -= static_cast<int>(view.width() * 0.4);
    const int y = static_cast<int>(anchor.y() - view.height() / 2 + lineHeight * 0.5);
    return QPoint(x, y);
}

std::int64_t DurationMs(int distance)
{
    return static_cast<std::int64_t>(300.0f * std::pow(static_cast<float>(std::abs(distance)), 0.25f));
}

QPoint PositionAt(QPoint start, QPoint target, std::int64_t remainingMs, std::int64_t durationMs)
{
    const double r =
        durationMs <= 0
            ? 0.0
            : std::clamp(static_cast<double>(remainingMs) / static_cast<double>(durationMs), 0.0, 1.0);
    const double f = r * r * r * r;
    const auto axis = [f](int from, int to) {
        if (from == to)
            return to;
        const double back = std::abs(to - from) * f;
        return static_cast<int>(std::lround(to > from ? to - back : to + back));
    };
    return QPoint(axis(start.x(), target.x()), axis(start.y(), target.y()));
}

} // namespace CaptionSampleMotion
