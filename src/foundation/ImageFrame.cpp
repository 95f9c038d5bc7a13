#include "ImageFrame.h"

#include <QPainter>

ImageFrame::ImageFrame() = default;

ImageFrame::~ImageFrame()
{
    EndSurface();
}

ImageFrame::ImageFrame(ImageFrame&& other) noexcept
{
    *this = std::move(other);
}

ImageFrame ImageFrame::SharedCopy() const
{
    ImageFrame copy;
    copy.image_ = image_;
    copy.bitsPerPixel_ = bitsPerPixel_;
    copy.hasAlpha_ = hasAlpha_;
    return copy;
}

ImageFrame& ImageFrame::operator=(ImageFrame&& other) noexcept
{
    if (this != &other) {
        EndSurface();
        other.EndSurface();
        image_ = std::move(other.image_);
        bitsPerPixel_ = other.bitsPerPixel_;
        hasAlpha_ = other.hasAlpha_;
        other.image_ = QImage();
        other.bitsPerPixel_ = 0;
        other.hasAlpha_ = false;
    }
    return *this;
}

bool ImageFrame::Create(int width, int height, int bitsPerPixel, bool withAlpha, Fill fill)
{
    // A frame that is remade at its own size and depth keeps its buffer: a source that decodes
    // every cycle into the same frame allocates once.
    const bool sameShape = !image_.isNull() && image_.width() == width && image_.height() == height &&
                           bitsPerPixel_ == bitsPerPixel && hasAlpha_ == (bitsPerPixel == 32 && withAlpha) &&
                           bitsPerPixel != 8 && image_.isDetached();
    EndSurface();
    if (!sameShape)
        Empty();
    if (width <= 0 || height <= 0)
        return false;
    if (sameShape) {
        if (fill == Fill::Black)
            image_.fill(image_.format() == QImage::Format_RGB32 ? 0xFF000000u : 0u);
        return true;
    }
    QImage::Format format;
    switch (bitsPerPixel) {
    case 8:
        format = QImage::Format_Indexed8;
        break;
    case 24:
        format = QImage::Format_RGB888;
        withAlpha = false;
        break;
    case 32:
        format = withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        break;
    default:
        return false;
    }
    QImage image(width, height, format);
    if (image.isNull())
        return false;
    if (format == QImage::Format_Indexed8)
        image.setColorTable({qRgb(0, 0, 0)});
    // Black, and for 32-bit frames without alpha an opaque black, so that the unused byte is
    // the same whichever path filled a pixel.
    if (fill == Fill::Black)
        image.fill(format == QImage::Format_RGB32 ? 0xFF000000u : 0u);
    image_ = std::move(image);
    bitsPerPixel_ = bitsPerPixel;
    hasAlpha_ = withAlpha;
    return true;
}

bool ImageFrame::Adopt(QImage image)
{
    Empty();
    if (image.isNull())
        return false;
    int depth = 32;
    bool alpha = false;
    if (image.hasAlphaChannel()) {
        if (image.format() != QImage::Format_ARGB32)
            image = image.convertToFormat(QImage::Format_ARGB32);
        alpha = true;
    } else {
        switch (image.format()) {
        case QImage::Format_RGB888:
            depth = 24;
            break;
        case QImage::Format_RGB32:
            break;
        case QImage::Format_Indexed8:
            depth = 8;
            break;
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
            // Kept indexed with its palette; one byte per pixel is the only indexed layout we draw.
            image = image.convertToFormat(QImage::Format_Indexed8);
            depth = 8;
            break;
        default:
            image = image.convertToFormat(QImage::Format_RGB32);
            break;
        }
    }
    if (image.isNull())
        return false;
    image_ = std::move(image);
    bitsPerPixel_ = depth;
    hasAlpha_ = alpha;
    return true;
}

bool ImageFrame::SetPalette(const QVector<QRgb>& palette)
{
    if (bitsPerPixel_ != 8 || IsEmpty() || palette.isEmpty() || palette.size() > 256)
        return false;
    image_.setColorTable(palette);
    return true;
}

void ImageFrame::Empty()
{
    EndSurface();
    image_ = QImage();
    bitsPerPixel_ = 0;
    hasAlpha_ = false;
}

QPainter* ImageFrame::AcquireDrawingSurface()
{
    if (IsEmpty() || image_.format() == QImage::Format_Indexed8)
        return nullptr;
    if (surfaceDepth_++ == 0)
        surface_ = std::make_unique<QPainter>(&image_);
    return surface_.get();
}

void ImageFrame::ReleaseDrawingSurface()
{
    if (surfaceDepth_ > 0 && --surfaceDepth_ == 0)
        surface_.reset();
}

void ImageFrame::EndSurface()
{
    surface_.reset();
    surfaceDepth_ = 0;
}
