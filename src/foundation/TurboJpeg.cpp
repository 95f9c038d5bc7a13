#include "TurboJpeg.h"

#include "ImageFrame.h"

#include <turbojpeg.h>

#include <memory>

namespace TurboJpeg {
namespace {
struct HandleCloser
{
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle& DecompressorSlot()
{
    thread_local Handle handle;
    return handle;
}

Handle& CompressorSlot()
{
    thread_local Handle handle;
    return handle;
}

tjhandle Decompressor()
{
    Handle& slot = DecompressorSlot();
    if (!slot)
        slot.reset(tjInitDecompress());
    return slot.get();
}

tjhandle Compressor()
{
    Handle& slot = CompressorSlot();
    if (!slot)
        slot.reset(tjInitCompress());
    return slot.get();
}

// After an error part-way through an image, libjpeg's state machine may be left where the
// next call is refused; a fresh handle is cheap next to a damaged file.
ResultCode DiscardDecompressor(ResultCode result)
{
    DecompressorSlot().reset();
    return result;
}

// The compressed output of one thread is written into a buffer kept for the next image, then
// appended to the caller's stream: one small copy instead of an allocation per image.
struct OutputBuffer
{
    unsigned char* data = nullptr;
    unsigned long capacity = 0;
    ~OutputBuffer() { tjFree(data); }
};

int PixelFormatOf(const ImageFrame& frame)
{
    switch (frame.Image().format()) {
    case QImage::Format_RGB888:
        return TJPF_RGB;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        // 0xAARRGGBB in a little-endian word is B, G, R, A in memory.
        return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TJPF_BGRX : TJPF_XRGB;
    default:
        return -1;
    }
}
} // namespace

bool LooksLikeJpeg(const QByteArray& bytes)
{
    return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
           static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF;
}

ResultCode Decode(const QByteArray& bytes, ImageFrame& frame)
{
    tjhandle handle = Decompressor();
    if (!handle)
        return Result::OutOfMemory;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto size = static_cast<unsigned long>(bytes.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, data, size, &width, &height, &subsampling, &colourspace) != 0) {
        frame.Empty();
        return DiscardDecompressor(Result::GenericFailure);
    }
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > MaxPixels || colourspace == TJCS_CMYK ||
        colourspace == TJCS_YCCK) {
        frame.Empty();
        return colourspace == TJCS_CMYK || colourspace == TJCS_YCCK ? Result::InvalidArgument
                                                                    : Result::GenericFailure;
    }
    if (!frame.Create(width, height, 24, false, ImageFrame::Fill::Uninitialised))
        return Result::OutOfMemory;
    if (tjDecompress2(handle, data, size, frame.Row(0), width, static_cast<int>(frame.Pitch()), height,
                      TJPF_RGB, 0) != 0) {
        frame.Empty();
        return DiscardDecompressor(Result::GenericFailure);
    }
    return Result::Ok;
}

ResultCode Encode(const ImageFrame& frame, int quality, QByteArray& out)
{
    if (frame.IsEmpty() || quality < 0 || quality > 100)
        return Result::GenericFailure;
    if (frame.BitsPerPixel() == 8) {
        ImageFrame converted;
        if (!converted.Adopt(frame.Image().convertToFormat(QImage::Format_RGB888)))
            return Result::OutOfMemory;
        return Encode(converted, quality, out);
    }
    const int pixelFormat = PixelFormatOf(frame);
    tjhandle handle = Compressor();
    if (pixelFormat < 0 || !handle)
        return Result::GenericFailure;

    thread_local OutputBuffer buffer;
    const unsigned long needed = tjBufSize(frame.Width(), frame.Height(), TJSAMP_420);
    if (needed == static_cast<unsigned long>(-1))
        return Result::GenericFailure;
    if (buffer.capacity < needed) {
        tjFree(buffer.data);
        buffer.data = tjAlloc(static_cast<int>(needed));
        buffer.capacity = buffer.data ? needed : 0;
        if (!buffer.data)
            return Result::OutOfMemory;
    }
    unsigned long size = buffer.capacity;
    if (tjCompress2(handle, frame.Row(0), frame.Width(), static_cast<int>(frame.Pitch()), frame.Height(),
                    pixelFormat, &buffer.data, &size, TJSAMP_420, quality, TJFLAG_NOREALLOC) != 0) {
        CompressorSlot().reset();
        return Result::GenericFailure;
    }
    out.append(reinterpret_cast<const char*>(buffer.data), static_cast<qsizetype>(size));
    return Result::Ok;
}

} // namespace TurboJpeg
