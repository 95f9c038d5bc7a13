#include "ImageFormat.h"

#include <atomic>

namespace {
std::atomic<int> jpegQuality{75};

QString ExtensionOf(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return QString();
    return path.mid(dot + 1).toLower();
}
} // namespace

ImageFormat ImageFormatForFileName(const QString& fileName, ImageFormat fallback)
{
    const QString extension = ExtensionOf(fileName);
    if (extension == u"jpg" || extension == u"jpeg" || extension == u"jpe" || extension == u"jfif")
        return ImageFormat::Jpeg;
    if (extension == u"bmp" || extension == u"dib" || extension == u"rle")
        return ImageFormat::Bmp;
    if (extension == u"png")
        return ImageFormat::Png;
    if (extension == u"tif" || extension == u"tiff")
        return ImageFormat::Tiff;
    if (extension == u"gif")
        return ImageFormat::Gif;
    return fallback;
}

bool IsJpegFileName(const QString& path)
{
    return ImageFormatForFileName(path, ImageFormat::None) == ImageFormat::Jpeg;
}

bool IsImageFileName(const QString& path)
{
    return ImageFormatForFileName(path, ImageFormat::None) != ImageFormat::None;
}

int JpegQuality()
{
    return jpegQuality.load(std::memory_order_relaxed);
}

void SetJpegQuality(int quality)
{
    if (quality >= 0 && quality <= 100)
        jpegQuality.store(quality, std::memory_order_relaxed);
}
