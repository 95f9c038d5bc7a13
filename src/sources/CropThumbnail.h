#pragma once

#include "ImageFrame.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

class QPainter;

// The crop as the Source page holds it: on or off, the rectangle in image pixels, the hatch.
struct CropSettings
{
    bool enabled = false;
    QRect crop; // image pixels; right and bottom as left + width and top + height
    int hatchStyle = 3;
};

// Drawing the crop over thumbnails and display windows.
namespace CropThumbnail {

// The colour key of the overlay's see-through inside: RGB(2, 1, 1) with alpha 0.
constexpr QRgb ColourKey = 0x00020101u;
constexpr float OverlayOpacity = 0.4f;

// x' = round(x * to.width / from.width) + to.left, likewise y, in single precision.
QPoint MapPointToImage(const QPoint& point, const QRect& from, const QRect& to);

// The crop rectangle mapped from image to display pixels (right/bottom exclusive).
QRect MapCropToDisplay(const CropSettings& crop, const QSize& imageSize, const QSize& displaySize);

// A 32-bit canvas of the display size: hatch (white on black, opaque) outside the crop, a
// black 1-pixel outline, the colour key inside. False (and an empty overlay) when the crop is
// off or a size is empty. A clip of all -1 (or a null rectangle) means the whole display.
bool DrawCropOverlay(ImageFrame& overlay, const QSize& imageSize, const QSize& displaySize,
                     const CropSettings& crop, const QRect& clip = QRect());

// Target = base with the overlay placed at (x, y) blended in at the opacity, within the clip
// (null: everywhere). Target and base may be the same frame.
void BlendOverlay(ImageFrame& target, const ImageFrame& base, const ImageFrame& overlay, float opacity, int x,
                  int y, const QRect& clip = QRect());

// What the fitted image leaves of the client: black, except the part of the crop rectangle
// beyond the image, which gets the hatch in the two colours times the factor.
void PaintLetterbox(QPainter& painter, const QRect& client, const QRect& imageRect, const QRect& cropRect,
                    const QColor& colour1, const QColor& colour2, float factor, int hatchStyle);

// A thumbnail of the client size: the frame fitted in, with the crop drawn over it when asked.
void MakeCropThumbnail(const QSize& client, ImageFrame& thumbnail, const ImageFrame& frame, bool withCrop,
                       const CropSettings& crop);

} // namespace CropThumbnail
