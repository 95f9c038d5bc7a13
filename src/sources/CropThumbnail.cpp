#include "CropThumbnail.h"

#include "HatchStyles.h"
#include "ImageOperations.h"

#include <QMutex>
#include <QPainter>
#include <QRegion>

#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace CropThumbnail {
namespace {
using BlendTable = std::array<std::uint8_t, 256 * 256>;

// trunc((1 - f) * base + f * overlay) for every pair, made once per opacity and kept.
const BlendTable& TableFor(float opacity)
{
    static QMutex mutex;
    static std::map<float, std::unique_ptr<BlendTable>> tables;
    QMutexLocker lock(&mutex);
    auto& table = tables[opacity];
    if (!table) {
        table = std::make_unique<BlendTable>();
        for (int base = 0; base < 256; ++base)
            for (int over = 0; over < 256; ++over)
                (*table)[base * 256 + over] = static_cast<std::uint8_t>(
                    std::clamp((1.0f - opacity) * base + opacity * over, 0.0f, 255.0f));
    }
    return *table;
}

QRect PixelRectToQRect(const PixelRect& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

QColor Scaled(const QColor& colour, float factor)
{
    return QColor(static_cast<int>(colour.red() * factor), static_cast<int>(colour.green() * factor),
                  static_cast<int>(colour.blue() * factor));
}
} // namespace

QPoint MapPointToImage(const QPoint& point, const QRect& from, const QRect& to)
{
    if (from.width() <= 0 || from.height() <= 0)
        return to.topLeft();
    const float x =
        static_cast<float>(point.x()) * static_cast<float>(to.width()) / static_cast<float>(from.width());
    const float y =
        static_cast<float>(point.y()) * static_cast<float>(to.height()) / static_cast<float>(from.height());
    return QPoint(static_cast<int>(std::lrint(x)) + to.left(), static_cast<int>(std::lrint(y)) + to.top());
}

QRect MapCropToDisplay(const CropSettings& crop, const QSize& imageSize, const QSize& displaySize)
{
    const QRect image(QPoint(0, 0), imageSize);
    const QRect display(QPoint(0, 0), displaySize);
    const QPoint topLeft = MapPointToImage(crop.crop.topLeft(), image, display);
    const QPoint bottomRight = MapPointToImage(
        QPoint(crop.crop.x() + crop.crop.width(), crop.crop.y() + crop.crop.height()), image, display);
    return QRect(topLeft, bottomRight - QPoint(1, 1));
}

bool DrawCropOverlay(ImageFrame& overlay, const QSize& imageSize, const QSize& displaySize,
                     const CropSettings& crop, const QRect& clip)
{
    if (!crop.enabled || imageSize.isEmpty() || displaySize.isEmpty()) {
        overlay.Empty();
        return false;
    }
    if (overlay.Width() != displaySize.width() || overlay.Height() != displaySize.height() ||
        !overlay.HasAlpha()) {
        if (!overlay.Create(displaySize.width(), displaySize.height(), 32, true))
            return false;
    }
    const QRect display(QPoint(0, 0), displaySize);
    const QRect area = clip.isNull() || clip == QRect(QPoint(-1, -1), QPoint(-2, -2)) ? display : clip;
    const QRect mapped = MapCropToDisplay(crop, imageSize, displaySize);

    QPainter* painter = overlay.AcquireDrawingSurface();
    if (!painter)
        return false;
    painter->save();
    // Exact pixel values, alpha included: nothing here is blended while it is drawn.
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    painter->setClipRect(area);
    painter->setClipRegion(QRegion(display).subtracted(QRegion(mapped)), Qt::IntersectClip);
    painter->fillRect(display, MakeHatchBrush(crop.hatchStyle, Qt::white, Qt::black));
    // The outline's pixels, edges included: the columns left to right - 1 and the rows top to
    // bottom - 1 of the mapped rectangle, and at least one of each, so that a crop of no width
    // or height is still a line where it lies.
    const int left = mapped.left(), top = mapped.top();
    const int right = left + std::max(mapped.width(), 1) - 1;
    const int bottom = top + std::max(mapped.height(), 1) - 1;
    painter->setClipRect(area);
    for (const QRect& edge :
         {QRect(QPoint(left, top), QPoint(right, top)), QRect(QPoint(left, bottom), QPoint(right, bottom)),
          QRect(QPoint(left, top), QPoint(left, bottom)), QRect(QPoint(right, top), QPoint(right, bottom))})
        painter->fillRect(edge, Qt::black);
    painter->restore();
    overlay.ReleaseDrawingSurface();
    // The inside, moved in by one pixel at the left and the top, is the see-through key. It is
    // written as raw pixels: a painter would keep no colour under an alpha of 0. A rectangle of
    // no width or height has no inside (QRect would turn it round onto the outline).
    const QRect inside = QRect(left + 1, top + 1, mapped.width() - 1, mapped.height() - 1);
    if (inside.width() <= 0 || inside.height() <= 0)
        return true;
    const QRect keyed = inside.intersected(area).intersected(display);
    for (int row = keyed.top(); row <= keyed.bottom(); ++row) {
        auto* pixels = reinterpret_cast<QRgb*>(overlay.Row(row));
        std::fill(pixels + keyed.left(), pixels + keyed.right() + 1, ColourKey);
    }
    return true;
}

void BlendOverlay(ImageFrame& target, const ImageFrame& base, const ImageFrame& overlay, float opacity, int x,
                  int y, const QRect& clip)
{
    if (base.IsEmpty() || overlay.IsEmpty() || overlay.BitsPerPixel() != 32)
        return;
    if (&target != &base && !CopyImage(base, target))
        return;
    if (target.BitsPerPixel() != 24 && target.BitsPerPixel() != 32)
        return;
    QRect area = QRect(x, y, overlay.Width(), overlay.Height())
                     .intersected(QRect(0, 0, target.Width(), target.Height()));
    if (!clip.isNull())
        area = area.intersected(clip);
    const BlendTable& table = TableFor(opacity);
    const bool baseIs24 = target.BitsPerPixel() == 24;
    const int bytes = target.BytesPerPixel();
    for (int row = area.top(); row <= area.bottom(); ++row) {
        std::uint8_t* out = target.Row(row);
        const auto* over = reinterpret_cast<const QRgb*>(overlay.Row(row - y));
        for (int column = area.left(); column <= area.right(); ++column) {
            const QRgb o = over[column - x];
            const int alpha = overlay.HasAlpha() ? qAlpha(o) : 255;
            std::uint8_t* p = out + column * bytes;
            // 24-bit pixels are R, G, B; 32-bit ones B, G, R, X in memory.
            std::uint8_t* red = baseIs24 ? p : p + 2;
            std::uint8_t* green = p + 1;
            std::uint8_t* blue = baseIs24 ? p + 2 : p;
            if (baseIs24 || alpha == 255) {
                *red = table[*red * 256 + qRed(o)];
                *green = table[*green * 256 + qGreen(o)];
                *blue = table[*blue * 256 + qBlue(o)];
            } else if (alpha != 0) {
                const float v = opacity * static_cast<float>(alpha) / 255.0f;
                *red = static_cast<std::uint8_t>(v * qRed(o) + (1.0f - v) * *red);
                *green = static_cast<std::uint8_t>(v * qGreen(o) + (1.0f - v) * *green);
                *blue = static_cast<std::uint8_t>(v * qBlue(o) + (1.0f - v) * *blue);
            }
        }
    }
}

void PaintLetterbox(QPainter& painter, const QRect& client, const QRect& imageRect, const QRect& cropRect,
                    const QColor& colour1, const QColor& colour2, float factor, int hatchStyle)
{
    if (client == imageRect)
        return;
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const QRegion letterbox = QRegion(client).subtracted(QRegion(imageRect).united(QRegion(cropRect)));
    painter.setClipRegion(letterbox);
    painter.fillRect(client, Qt::black);
    const QRegion overhang = QRegion(cropRect).subtracted(QRegion(imageRect)).intersected(QRegion(client));
    if (!overhang.isEmpty()) {
        painter.setClipRegion(overhang);
        painter.setBrushOrigin(imageRect.topLeft());
        painter.fillRect(client,
                         MakeHatchBrush(hatchStyle, Scaled(colour1, factor), Scaled(colour2, factor)));
    }
    painter.restore();
}

void MakeCropThumbnail(const QSize& client, ImageFrame& thumbnail, const ImageFrame& frame, bool withCrop,
                       const CropSettings& crop)
{
    const PixelRect clientRect{0, 0, client.width(), client.height()};
    const PixelRect display = FitImageToWindow(frame, clientRect);
    if (!MakeBlankCanvas(thumbnail, clientRect))
        return;
    if (!display.IsEmpty())
        StretchImageRegion(frame, thumbnail, display, GetImageRect(frame));
    if (thumbnail.IsEmpty())
        return;
    const QRect displayRect = PixelRectToQRect(display);
    const QSize displaySize(display.Width(), display.Height());
    const QSize imageSize(frame.Width(), frame.Height());
    ImageFrame overlay;
    QRect cropRect;
    const bool overlaid =
        withCrop && !display.IsEmpty() && DrawCropOverlay(overlay, imageSize, displaySize, crop);
    if (overlaid) {
        BlendOverlay(thumbnail, thumbnail, overlay, OverlayOpacity, display.left, display.top);
        cropRect = MapCropToDisplay(crop, imageSize, displaySize).translated(displayRect.topLeft());
    }
    if (QPainter* painter = thumbnail.AcquireDrawingSurface()) {
        if (overlaid)
            PaintLetterbox(*painter, QRect(QPoint(0, 0), client), displayRect, cropRect, Qt::black, Qt::white,
                           OverlayOpacity, crop.hatchStyle);
        else
            PaintLetterbox(*painter, QRect(QPoint(0, 0), client), displayRect, QRect(), Qt::black, Qt::black,
                           1.0f, crop.hatchStyle);
        thumbnail.ReleaseDrawingSurface();
    }
    // Every pixel opaque.
    for (int row = 0; row < thumbnail.Height(); ++row) {
        auto* pixels = reinterpret_cast<QRgb*>(thumbnail.Row(row));
        for (int column = 0; column < thumbnail.Width(); ++column)
            pixels[column] |= 0xFF000000u;
    }
}

} // namespace CropThumbnail
