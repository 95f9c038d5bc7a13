#include "ImageDecoder.h"

#include "GifReader.h"
#include "ImageFrame.h"
#include "RegularFile.h"
#include "TurboJpeg.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <fcntl.h>

namespace {
// The largest file we read whole: far above any 120-megapixel image we accept.
constexpr qint64 MaxFileBytes = 1024LL * 1024 * 1024;

std::uint32_t LittleEndian32(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Qt's BMP reader fills a short pixel array with black and reports success; a file still being
// written must fail instead, so uncompressed bitmaps are checked for their full pixel data.
bool BmpIsComplete(const QByteArray& bytes)
{
    if (bytes.size() < 34)
        return false;
    const std::uint32_t headerSize = LittleEndian32(bytes, 14);
    if (headerSize < 40)
        return true; // the old OS/2 header: left to the decoder
    const std::int64_t width = static_cast<std::int32_t>(LittleEndian32(bytes, 18));
    const std::int64_t height = static_cast<std::int32_t>(LittleEndian32(bytes, 22));
    const int bitCount = static_cast<unsigned char>(bytes[28]) | (static_cast<unsigned char>(bytes[29]) << 8);
    const std::uint32_t compression = LittleEndian32(bytes, 30);
    constexpr std::uint32_t Rgb = 0, BitFields = 3;
    if (compression != Rgb && compression != BitFields)
        return true;
    const std::int64_t rowBytes = (width * bitCount + 31) / 32 * 4;
    const std::int64_t rows = height < 0 ? -height : height;
    const std::int64_t pixelBytes = bytes.size() - std::int64_t(LittleEndian32(bytes, 10));
    // Divided rather than multiplied: the header's numbers are anyone's.
    return width > 0 && pixelBytes >= 0 && (rowBytes == 0 || rows <= pixelBytes / rowBytes);
}

std::uint32_t BigEndian32(const QByteArray& bytes, qsizetype at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// libpng sets aside, and clears, the whole length a chunk claims before it reads the chunk, so a
// few hundred bytes claiming a text chunk of 2 GB would cost 2 GB. Every chunk up to IEND must
// lie inside the file; a file that ends sooner is damaged or still being written.
bool PngChunksLieInside(const QByteArray& bytes)
{
    constexpr qsizetype Signature = 8, Framing = 12; // length, type, CRC
    qsizetype at = Signature;
    while (at + Framing <= bytes.size()) {
        const std::int64_t length = BigEndian32(bytes, at);
        if (length > bytes.size() - at - Framing)
            return false;
        if (bytes.mid(at + 4, 4) == "IEND")
            return true;
        at += Framing + length;
    }
    return false;
}

ResultCode DecodeWithQt(ImageFrame& frame, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    // Only the formats we promise; Qt's other plugins (SVG, XPM, ...) are not image sources here.
    if (format != "bmp" && format != "png" && format != "tiff" && format != "jpeg")
        return Result::GenericFailure;
    // Before the reader parses more than the signature: reading the size already reads chunks.
    if (format == "png" && !PngChunksLieInside(bytes))
        return Result::GenericFailure;
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() ||
        std::int64_t(size.width()) * size.height() > TurboJpeg::MaxPixels)
        return Result::GenericFailure;
    // Room for the largest accepted image at four bytes a pixel, and for a conversion of it.
    reader.setAllocationLimit(1024);
    if (format == "bmp" && !BmpIsComplete(bytes))
        return Result::GenericFailure;
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return Result::GenericFailure;
    // True-colour images without alpha come in as the pipeline's own 24-bit layout.
    const QImage::Format decoded = image.format();
    if (!image.hasAlphaChannel() && decoded != QImage::Format_Indexed8 && decoded != QImage::Format_Mono &&
        decoded != QImage::Format_MonoLSB && decoded != QImage::Format_RGB888)
        image = image.convertToFormat(QImage::Format_RGB888);
    return frame.Adopt(std::move(image)) ? Result::Ok : Result::OutOfMemory;
}
} // namespace

ResultCode LoadImageFromMemory(ImageFrame& frame, const QByteArray& bytes)
{
    // The JPEG path decodes into the frame's own buffer when the size fits; every other path
    // and every failure leave a fresh or empty frame.
    if (bytes.isEmpty()) {
        frame.Empty();
        return Result::GenericFailure;
    }
    ResultCode result;
    if (LooksLikeGif(bytes)) {
        // giflib rather than Qt: Qt gives every GIF as 32-bit and its palette is lost.
        result = DecodeGif(bytes, frame);
    } else if (TurboJpeg::LooksLikeJpeg(bytes)) {
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
    return LoadImageFileAt(frame, QFile::encodeName(path));
}

ResultCode LoadImageFileAt(ImageFrame& frame, const QByteArray& encodedPath)
{
    QFile file;
    if (const int error = OpenRegularFile(file, encodedPath, O_RDONLY, QIODevice::ReadOnly)) {
        frame.Empty();
        return error == ENOTREGULAR ? Result::InvalidArgument : Result::FromErrno(error);
    }
    QByteArray bytes;
    if (file.size() <= MaxFileBytes)
        bytes = file.readAll();
    if (bytes.isEmpty() || file.error() != QFileDevice::NoError) {
        frame.Empty();
        return Result::GenericFailure;
    }
    return LoadImageFromMemory(frame, bytes);
}
