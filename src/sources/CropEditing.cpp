#include "CropEditing.h"

#include <algorithm>
#include <cstdlib>

namespace CropEditing {

int HitTestCrop(const QPoint& point, const QRect& display, const QSize& imageSize, const CropSettings& crop,
                int tolerance)
{
    if (!crop.enabled || imageSize.isEmpty() || display.isEmpty())
        return None;
    const QRect mapped = CropThumbnail::MapCropToDisplay(crop, imageSize, display.size());
    const int l = display.left() + mapped.left();
    const int tp = display.top() + mapped.top();
    const int r = l + mapped.width();
    const int b = tp + mapped.height();
    const int x = point.x();
    const int y = point.y();
    int flags = None;
    const bool withinHeight = y >= tp - 1 && y <= b + 1;
    const bool withinWidth = x >= l - 1 && x <= r + 1;
    if (std::abs(x - l) <= tolerance && withinHeight)
        flags |= Left;
    if (std::abs(x - r) <= tolerance && withinHeight)
        flags |= Right;
    if (std::abs(y - tp) <= tolerance && withinWidth)
        flags |= Top;
    if (std::abs(y - b) <= tolerance && withinWidth)
        flags |= Bottom;
    // A rectangle narrower than the tolerance takes both edges at once: the nearer one wins.
    if ((flags & (Left | Right)) == (Left | Right))
        flags &= std::abs(x - l) <= std::abs(x - r) ? ~Right : ~Left;
    if ((flags & (Top | Bottom)) == (Top | Bottom))
        flags &= std::abs(y - tp) <= std::abs(y - b) ? ~Bottom : ~Top;
    if (flags == None && x >= l && x <= r && y >= tp && y <= b)
        flags = Inside;
    return flags;
}

QPoint DisplayToImage(const QPoint& point, const QRect& display, const QSize& imageSize)
{
    if (display.isEmpty())
        return QPoint();
    return CropThumbnail::MapPointToImage(point - display.topLeft(), QRect(QPoint(0, 0), display.size()),
                                          QRect(QPoint(0, 0), imageSize));
}

Drag DragCrop(int flags, const QPoint& imagePoint, const QRect& crop, const QSize& imageSize)
{
    int left = crop.left();
    int top = crop.top();
    int right = left + crop.width();
    int bottom = top + crop.height();
    if (flags == Inside) {
        // The size stays; the corner goes to the point, as far as the image lets it. A rectangle
        // already reaching out of the image (typed so) keeps what it has, but goes no further.
        const auto limit = [](int to, int at, int side, int room) {
            return std::clamp(to, std::min(0, at), std::max(room - side, at));
        };
        left = limit(imagePoint.x(), crop.left(), crop.width(), imageSize.width());
        top = limit(imagePoint.y(), crop.top(), crop.height(), imageSize.height());
        return {QRect(left, top, crop.width(), crop.height()), flags};
    }
    const int x = std::clamp(imagePoint.x(), 0, imageSize.width());
    const int y = std::clamp(imagePoint.y(), 0, imageSize.height());
    // Past the opposite edge the rectangle flips: the old opposite edge stays where it was
    // and the dragged one carries on from there.
    if ((flags & Right) && x < left) {
        flags = (flags & ~Right) | Left;
        right = left;
    } else if ((flags & Left) && x > right) {
        flags = (flags & ~Left) | Right;
        left = right;
    }
    if ((flags & Bottom) && y < top) {
        flags = (flags & ~Bottom) | Top;
        bottom = top;
    } else if ((flags & Top) && y > bottom) {
        flags = (flags & ~Top) | Bottom;
        top = bottom;
    }
    if (flags & Left)
        left = std::min(x, right - MinimumSide);
    if (flags & Right)
        right = std::max(x, left + MinimumSide);
    if (flags & Top)
        top = std::min(y, bottom - MinimumSide);
    if (flags & Bottom)
        bottom = std::max(y, top + MinimumSide);
    return {QRect(left, top, right - left, bottom - top), flags};
}

Qt::CursorShape CursorFor(int flags)
{
    switch (flags) {
    case Top | Left:
    case Bottom | Right:
        return Qt::SizeFDiagCursor;
    case Top | Right:
    case Bottom | Left:
        return Qt::SizeBDiagCursor;
    case Left:
    case Right:
        return Qt::SizeHorCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case Inside:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

} // namespace CropEditing
