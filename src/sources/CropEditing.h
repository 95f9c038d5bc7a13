#pragma once

#include "CropThumbnail.h"

#include <QPoint>
#include <QRect>
#include <QSize>

// Editing the crop rectangle with the mouse on a picture that shows it: what the pointer is over
// and where a drag puts the rectangle. Display rectangles are where the image lies in the
// widget; crop rectangles are in image pixels.
namespace CropEditing {

// What the pointer is over: edges (combined at corners), the inside (a move), or nothing.
enum Edge : int
{
    None = 0,
    Top = 1,
    Bottom = 2,
    Left = 4,
    Right = 8,
    Inside = 16
};

// How far from an edge, in display pixels, the pointer still takes it.
constexpr int Tolerance = 3;
// The least width and height a drag leaves the rectangle, in image pixels.
constexpr int MinimumSide = 1;

// The edge flags for a point in widget coordinates; None when the crop is off or nothing is shown.
int HitTestCrop(const QPoint& point, const QRect& display, const QSize& imageSize, const CropSettings& crop,
                int tolerance = Tolerance);

// A point in widget coordinates in image pixels.
QPoint DisplayToImage(const QPoint& point, const QRect& display, const QSize& imageSize);

struct Drag
{
    QRect crop;
    int flags = None;
};

// The rectangle after dragging the flagged edges (or, for Inside, the top-left corner) to a
// point in image pixels. An edge dragged past its opposite one flips the rectangle (the flags
// change with it) instead of making it negative; edges stay within the image, a moved rectangle
// stays whole within it where it fits (one typed to reach out of it only moves back in), and no
// side becomes shorter than the minimum.
Drag DragCrop(int flags, const QPoint& imagePoint, const QRect& crop, const QSize& imageSize);

// The pointer's shape over a zone.
Qt::CursorShape CursorFor(int flags);

} // namespace CropEditing
