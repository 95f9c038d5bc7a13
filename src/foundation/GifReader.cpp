#include "GifReader.h"

#include "ImageFrame.h"
#include "TurboJpeg.h"

#include <gif_lib.h>

#include <cstring>
#include <memory>

namespace {
struct Source
{
    const QByteArray* bytes;
    qsizetype position = 0;
};

int ReadFromByteArray(GifFileType* gif, GifByteType* into, int wanted)
{
    auto* source = static_cast<Source*>(gif->UserData);
    const qsizetype available = source->bytes->size() - source->position;
    const int count = static_cast<int>(std::min<qsizetype>(wanted, available));
    if (count > 0)
        std::memcpy(into, source->bytes->constData() + source->position, static_cast<std::size_t>(count));
    source->position += count;
    return count;
}

struct GifCloser
{
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

bool SkipExtension(GifFileType* gif, int& transparentIndex)
{
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif, &code, &block) != GIF_OK)
        return false;
    if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
        GraphicsControlBlock control{};
        if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
            transparentIndex = control.TransparentColor;
    }
    while (block) {
        if (DGifGetExtensionNext(gif, &block) != GIF_OK)
            return false;
    }
    return true;
}

// Reads the image's rows into the screen-sized index buffer, de-interlacing when needed.
bool ReadRows(GifFileType* gif, ImageFrame& indices)
{
    const GifImageDesc& desc = gif->Image;
    auto readRow = [&](int y) {
        return DGifGetLine(gif, indices.Row(desc.Top + y) + desc.Left, desc.Width) == GIF_OK;
    };
    if (desc.Interlace) {
        constexpr int start[4] = {0, 4, 2, 1};
        constexpr int step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < desc.Height; y += step[pass])
                if (!readRow(y))
                    return false;
        return true;
    }
    for (int y = 0; y < desc.Height; ++y)
        if (!readRow(y))
            return false;
    return true;
}
} // namespace

bool LooksLikeGif(const QByteArray& bytes)
{
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

ResultCode DecodeGif(const QByteArray& bytes, ImageFrame& frame)
{
    frame.Empty();
    Source source{&bytes};
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, ReadFromByteArray, &error));
    if (!gif)
        return Result::GenericFailure;
    const int width = gif->SWidth, height = gif->SHeight;
    if (width <= 0 || height <= 0 || std::int64_t(width) * height > TurboJpeg::MaxPixels)
        return Result::GenericFailure;

    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) != GIF_OK)
            return Result::GenericFailure;
        if (record == EXTENSION_RECORD_TYPE) {
            if (!SkipExtension(gif.get(), transparentIndex))
                return Result::GenericFailure;
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE)
            return Result::GenericFailure; // the stream ended before its first image
        if (DGifGetImageDesc(gif.get()) != GIF_OK)
            return Result::GenericFailure;
        break;
    }

    const GifImageDesc& desc = gif->Image;
    if (desc.Left < 0 || desc.Top < 0 || desc.Width <= 0 || desc.Height <= 0 ||
        desc.Left + desc.Width > width || desc.Top + desc.Height > height)
        return Result::GenericFailure;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (!map || map->ColorCount < 1 || map->ColorCount > 256)
        return Result::GenericFailure;

    ImageFrame indices;
    if (!indices.Create(width, height, 8))
        return Result::OutOfMemory;
    QVector<QRgb> palette(map->ColorCount);
    for (int i = 0; i < map->ColorCount; ++i)
        palette[i] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    const bool transparent = transparentIndex >= 0 && transparentIndex < map->ColorCount;
    // Where the image does not cover the screen: transparent if the GIF has transparency,
    // otherwise the background colour.
    const int fill =
        transparent ? transparentIndex : std::min<int>(gif->SBackGroundColor, map->ColorCount - 1);
    for (int y = 0; y < height; ++y)
        std::memset(indices.Row(y), fill, static_cast<std::size_t>(width));
    indices.SetPalette(palette);
    if (!ReadRows(gif.get(), indices))
        return Result::GenericFailure;
    // Indices beyond a short palette would read past it when drawn.
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = indices.Row(y);
        for (int x = 0; x < width; ++x)
            if (row[x] >= map->ColorCount)
                row[x] = 0;
    }

    if (!transparent) {
        frame = std::move(indices);
        return Result::Ok;
    }
    palette[transparentIndex] = qRgba(0, 0, 0, 0);
    indices.SetPalette(palette);
    return frame.Adopt(indices.Image().convertToFormat(QImage::Format_ARGB32)) ? Result::Ok
                                                                               : Result::OutOfMemory;
}
