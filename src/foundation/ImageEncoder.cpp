#include "ImageEncoder.h"

#include "AtomicFileWriter.h"
#include "GifWriter.h"
#include "ImageFrame.h"
#include "TurboJpeg.h"

#include <QBuffer>
#include <QImageWriter>

namespace {
ResultCode EncodeWithQt(const ImageFrame& frame, QByteArray& stream, const char* format)
{
    QBuffer buffer(&stream);
    if (!buffer.open(QIODevice::WriteOnly | QIODevice::Append))
        return Result::GenericFailure;
    QImageWriter writer(&buffer, format);
    return writer.write(frame.Image()) ? Result::Ok : Result::GenericFailure;
}

ResultCode WriteEncoded(const ImageFrame& frame, const QString& path, ImageFormat format, int quality)
{
    QByteArray bytes;
    const ResultCode encoded = EncodeImageToStream(frame, bytes, format, quality);
    if (Result::Failed(encoded))
        return encoded;
    const int error = WriteFileAtomically(path, bytes, 0666);
    return error ? Result::FromErrno(error) : Result::Ok;
}
} // namespace

ResultCode EncodeImageToStream(const ImageFrame& frame, QByteArray& stream, ImageFormat format, int quality)
{
    if (frame.IsEmpty())
        return Result::GenericFailure;
    // On failure the stream keeps exactly what it held before.
    const qsizetype before = stream.size();
    ResultCode result = Result::GenericFailure;
    switch (format) {
    case ImageFormat::Jpeg:
        result = TurboJpeg::Encode(frame, quality, stream);
        break;
    case ImageFormat::Png:
        result = EncodeWithQt(frame, stream, "png");
        break;
    case ImageFormat::Bmp:
        result = EncodeWithQt(frame, stream, "bmp");
        break;
    case ImageFormat::Tiff:
        result = EncodeWithQt(frame, stream, "tiff");
        break;
    case ImageFormat::Gif:
        result = EncodeGif(frame, stream);
        break;
    case ImageFormat::None:
        break;
    }
    if (Result::Failed(result))
        stream.truncate(before);
    return result;
}

ResultCode SaveJpegFile(const ImageFrame& frame, const QString& path, int quality)
{
    // The encoder is chosen by the extension, as for every other save.
    const ImageFormat format = ImageFormatForFileName(path, ImageFormat::None);
    if (format == ImageFormat::None)
        return Result::GenericFailure;
    return WriteEncoded(frame, path, format, quality);
}

ResultCode SaveImageFile(const ImageFrame& frame, const QString& path)
{
    return SaveJpegFile(frame, path, JpegQuality());
}
