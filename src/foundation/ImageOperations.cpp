#include "ImageOperations.h"

#include "AreaResampler.h"

#include <cmath>
#include <cstring>

namespace {
QImage::Format FormatForDepth(int bitsPerPixel, bool alpha)
{
    switch (bitsPerPixel) {
    case 8:
        return QImage::Format_Indexed8;
    case 24:
        return QImage::Format_RGB888;
    case 32:
        return alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    default:
        return QImage::Format_Invalid;
    }
}

// Indexed frames have no channels to average; they are stretched from a 32-bit copy.
const ImageFrame& StretchableSource(const ImageFrame& source, ImageFrame& scratch)
{
    if (source.BitsPerPixel() != 8)
        return source;
    scratch.Adopt(source.Image().convertToFormat(QImage::Format_RGB32));
    return scratch;
}

ConstPixelBuffer RegionOf(const ImageFrame& frame, int x, int y, int width, int height)
{
    return {frame.Row(y) + static_cast<std::ptrdiff_t>(x) * frame.BytesPerPixel(), frame.Pitch(), width,
            height};
}

PixelBuffer WholeOf(ImageFrame& frame)
{
    return {frame.Row(0), frame.Pitch(), frame.Width(), frame.Height()};
}

bool Inside(const ImageFrame& frame, int x, int y, int width, int height)
{
    return x >= 0 && y >= 0 && std::int64_t(x) + width <= frame.Width() &&
           std::int64_t(y) + height <= frame.Height();
}

// Copies pixel rows of equal depth; the caller has clipped the rectangle to both frames.
void CopyRows(const ImageFrame& source, int sx, int sy, ImageFrame& target, int tx, int ty, int width,
              int height)
{
    const int bytes = source.BytesPerPixel();
    for (int row = 0; row < height; ++row)
        std::memcpy(target.Row(ty + row) + static_cast<std::ptrdiff_t>(tx) * bytes,
                    source.Row(sy + row) + static_cast<std::ptrdiff_t>(sx) * bytes,
                    static_cast<std::size_t>(width) * bytes);
}
} // namespace

PixelRect GetImageRect(const ImageFrame& frame)
{
    if (frame.IsEmpty())
        return {};
    return {0, 0, frame.Width(), frame.Height()};
}

bool CopyImage(const ImageFrame& source, ImageFrame& target, int bitsPerPixel)
{
    if (&source == &target)
        return true;
    if (source.IsEmpty()) {
        target.Empty();
        return true;
    }
    const int depth = bitsPerPixel == 0 ? source.BitsPerPixel() : bitsPerPixel;
    const QImage::Format format = FormatForDepth(depth, source.HasAlpha());
    if (format == QImage::Format_Invalid || (depth == 8 && source.BitsPerPixel() != 8)) {
        target.Empty();
        return false;
    }
    // convertToFormat returns a shallow copy for the same format; copy() is the deep one.
    QImage copy =
        source.Image().format() == format ? source.Image().copy() : source.Image().convertToFormat(format);
    return target.Adopt(std::move(copy));
}

bool CropImage(const ImageFrame& source, ImageFrame& target, int x, int y, int width, int height)
{
    if (source.IsEmpty() || width <= 0 || height <= 0) {
        target.Empty();
        return true;
    }
    ImageFrame result;
    if (!result.Create(width, height, source.BitsPerPixel(), source.HasAlpha())) {
        target.Empty();
        return false;
    }
    if (source.BitsPerPixel() == 8)
        result.SetPalette(source.Palette());
    const int left = std::max(x, 0);
    const int top = std::max(y, 0);
    const int right = static_cast<int>(std::min<std::int64_t>(std::int64_t(x) + width, source.Width()));
    const int bottom = static_cast<int>(std::min<std::int64_t>(std::int64_t(y) + height, source.Height()));
    if (right > left && bottom > top)
        CopyRows(source, left, top, result, left - x, top - y, right - left, bottom - top);
    target = std::move(result);
    return true;
}

bool CropAndResizeImage(const ImageFrame& source, ImageFrame& target, int width, int height, int x, int y,
                        int cropWidth, int cropHeight)
{
    if (source.IsEmpty() || width <= 0 || height <= 0 || cropWidth <= 0 || cropHeight <= 0) {
        target.Empty();
        return true;
    }
    ImageFrame scratch;
    const ImageFrame* from = &StretchableSource(source, scratch);
    ImageFrame padded;
    if (!Inside(*from, x, y, cropWidth, cropHeight)) {
        // Rare: the rectangle reaches past the edges; those parts count as black.
        if (!CropImage(*from, padded, x, y, cropWidth, cropHeight) || padded.IsEmpty()) {
            target.Empty();
            return false;
        }
        from = &padded;
        x = 0;
        y = 0;
    }
    ImageFrame result;
    if (!result.Create(width, height, from->BitsPerPixel(), from->HasAlpha(),
                       ImageFrame::Fill::Uninitialised) ||
        !AreaResample(RegionOf(*from, x, y, cropWidth, cropHeight), WholeOf(result), from->BytesPerPixel())) {
        target.Empty();
        return false;
    }
    target = std::move(result);
    return true;
}

bool ResizeImage(const ImageFrame& source, ImageFrame& target, int width, int height, int bitsPerPixel)
{
    if (!CropAndResizeImage(source, target, width, height, 0, 0, source.Width(), source.Height()))
        return false;
    if (bitsPerPixel != 0 && !target.IsEmpty() && bitsPerPixel != target.BitsPerPixel()) {
        ImageFrame converted;
        if (!CopyImage(target, converted, bitsPerPixel)) {
            target.Empty();
            return false;
        }
        target = std::move(converted);
    }
    return true;
}

bool ResizeImageInPlace(ImageFrame& frame, int width, int height)
{
    if (frame.IsEmpty())
        return true;
    ImageFrame resized;
    if (!ResizeImage(frame, resized, width, height))
        return false;
    frame = std::move(resized);
    return true;
}

bool StretchImageRegion(const ImageFrame& source, ImageFrame& target, const PixelRect& targetRect,
                        const PixelRect& sourceRect)
{
    if (source.IsEmpty() || target.IsEmpty() || targetRect.IsEmpty() || sourceRect.IsEmpty()) {
        target.Empty();
        return true;
    }
    // The whole target rectangle is resampled, then only the part inside the target is kept,
    // so clipping never changes where a source pixel lands.
    ImageFrame stretched;
    if (!CropAndResizeImage(source, stretched, targetRect.Width(), targetRect.Height(), sourceRect.left,
                            sourceRect.top, sourceRect.Width(), sourceRect.Height()))
        return false;
    if (stretched.BitsPerPixel() != target.BitsPerPixel() || stretched.HasAlpha() != target.HasAlpha()) {
        const QImage::Format format = target.Image().format();
        if (format == QImage::Format_Indexed8)
            return false;
        if (!stretched.Adopt(stretched.Image().convertToFormat(format)))
            return false;
    }
    const int left = std::max(targetRect.left, 0);
    const int top = std::max(targetRect.top, 0);
    const int right = std::min(targetRect.right, target.Width());
    const int bottom = std::min(targetRect.bottom, target.Height());
    if (right > left && bottom > top)
        CopyRows(stretched, left - targetRect.left, top - targetRect.top, target, left, top, right - left,
                 bottom - top);
    return true;
}

PixelRect FitRect(const PixelRect& frameRect, const PixelRect& imageRect)
{
    PixelRect result;
    if (frameRect.IsEmpty() || imageRect.IsEmpty())
        return result;
    const int frameWidth = frameRect.Width();
    const int frameHeight = frameRect.Height();
    const float ratioWidths = static_cast<float>(imageRect.Width()) / static_cast<float>(frameWidth);
    const float ratioHeights = static_cast<float>(imageRect.Height()) / static_cast<float>(frameHeight);
    // rint rounds halves to even in the default rounding mode.
    if (ratioHeights < ratioWidths) {
        const int scaledHeight =
            static_cast<int>(std::rint(static_cast<float>(imageRect.Height()) / ratioWidths));
        result.left = 0;
        result.right = frameWidth;
        result.top = (frameHeight - scaledHeight) / 2;
        result.bottom = result.top + scaledHeight;
    } else {
        const int scaledWidth =
            static_cast<int>(std::rint(static_cast<float>(imageRect.Width()) / ratioHeights));
        result.top = 0;
        result.bottom = frameHeight;
        result.left = (frameWidth - scaledWidth) / 2;
        result.right = result.left + scaledWidth;
    }
    return result;
}

PixelRect FitImageToWindow(const ImageFrame& frame, const PixelRect& clientRect)
{
    return FitRect(clientRect, GetImageRect(frame));
}

bool MakeBlankCanvas(ImageFrame& frame, const PixelRect& rect)
{
    frame.Empty();
    return frame.Create(rect.Width(), rect.Height(), 32);
}
