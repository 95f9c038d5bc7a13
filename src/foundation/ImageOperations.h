#pragma once

#include "ImageFrame.h"

// Frame operations. Each recreates its target from scratch unless stated otherwise, so the
// target's previous contents, size and depth never matter; degenerate sizes empty the target.
// Stretches use the area-averaging resampler. Frames with a palette are stretched as 32-bit.
// They return false when the target could not be made (it is then empty).

PixelRect GetImageRect(const ImageFrame& frame);

// Exact copy at the given depth (0 = the source's; 24 or 32 convert colours, 8 only from 8).
bool CopyImage(const ImageFrame& source, ImageFrame& target, int bitsPerPixel = 0);
// The rectangle at (x, y); parts outside the source stay black.
bool CropImage(const ImageFrame& source, ImageFrame& target, int x, int y, int width, int height);
bool ResizeImage(const ImageFrame& source, ImageFrame& target, int width, int height, int bitsPerPixel = 0);
// One stretch of the source rectangle; parts of it outside the source count as black.
bool CropAndResizeImage(const ImageFrame& source, ImageFrame& target, int width, int height, int x, int y,
                        int cropWidth, int cropHeight);
bool ResizeImageInPlace(ImageFrame& frame, int width, int height);
// Stretches the source rectangle into the target rectangle of an existing target of the same
// depth; the rest of the target is untouched. Rectangles reaching past either frame are
// clipped with their mapping kept.
bool StretchImageRegion(const ImageFrame& source, ImageFrame& target, const PixelRect& targetRect,
                        const PixelRect& sourceRect);

// The display rectangle of an image fitted into a frame rectangle, aspect kept, centred,
// relative to the frame's own origin.
PixelRect FitRect(const PixelRect& frameRect, const PixelRect& imageRect);
PixelRect FitImageToWindow(const ImageFrame& frame, const PixelRect& clientRect);

// A 32-bit canvas of the rectangle's size, filled black.
bool MakeBlankCanvas(ImageFrame& frame, const PixelRect& rect);
