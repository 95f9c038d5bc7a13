#include "ImageDecoder.h"

#include "ImageFrame.h"
#include "TurboJpeg.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cerrno>

namespace {
// The largest file we read whole: far above any 120-megapixel image we accept.
constexpr qint64 MaxFileBytes = 1024LL * 1024 * 1024;

ResultCode DecodeWithQt(ImageFrame& frame, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    // Only the formats we promise; Qt's other plugins (SVG, XPM, ...) are not image sources here.
    if (format != "bmp" && format != "png" && format != "tiff" && format != "gif" && format != "jpeg")
        return Result::GenericFailure;
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || std::int64_t(size.width()) * size.height() > TurboJpeg::MaxPixels)
        return Result::GenericFailure;
    // Room for the largest accepted image at four bytes a pixel, and for a conversion of it.
    reader.setAllocationLimit(1024);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return Result::GenericFailure;
    return frame.Adopt(std::move(image)) ? Result::Ok : Result::OutOfMemory;
}
} // namespace

ResultCode LoadImageFromMemory(ImageFrame& frame, const QByteArray& bytes)
{
    frame.Empty();
    if (bytes.isEmpty())
        return Result::GenericFailure;
    ResultCode result;
    if (TurboJpeg::LooksLikeJpeg(bytes)) {
        result = TurboJpeg::Decode(bytes, frame);
        // CMYK JPEGs, which TurboJPEG cannot turn into RGB, go through Qt's decoder.
        if (result == Result::InvalidArgument)
            result = DecodeWithQt(frame, bytes);
    } else {
        result = DecodeWithQt(frame, bytes);
    }
    if (Result::Failed(result))
        frame.Empty();
    return result;
}

ResultCode LoadImageFile(ImageFrame& frame, const QString& path)
{
    frame.Empty();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result::FromErrno(errno ? errno : ENOENT);
    if (file.size() > MaxFileBytes)
        return Result::GenericFailure;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Result::GenericFailure;
    return LoadImageFromMemory(frame, bytes);
}
