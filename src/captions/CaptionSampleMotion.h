#pragma once

#include <QPoint>
#include <QSize>

#include <cstdint>

// How the caption sample glides: where the view heads for a caption, how long the glide
// takes, and where the view stands at a moment of it. Plain arithmetic, so the window only
// asks and paints.
namespace CaptionSampleMotion {

// The image point for the view's top-left corner that puts the caption's anchor at a tenth of
// the view's width from the left (left-justified), in the middle (centred) or at nine tenths
// (right-justified), and the middle of its text line (lineHeight high) in the middle.
QPoint ViewTarget(QPoint anchor, std::int32_t justify, QSize view, int lineHeight);

// Milliseconds for a glide over `distance` pixels (the longer axis): 300 x distance^(1/4),
// 300 ms for one pixel, 3000 ms for 10000.
std::int64_t DurationMs(int distance);

// Where the view stands `remainingMs` before the end of a glide of `durationMs` from `start`
// to `target`: it slows down towards the end (the remaining way shrinks as r^4).
QPoint PositionAt(QPoint start, QPoint target, std::int64_t remainingMs, std::int64_t durationMs);

} // namespace CaptionSampleMotion
