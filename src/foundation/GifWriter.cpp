#include "GifWriter.h"

#include "ImageFrame.h"

#include <gif_lib.h>

#include <vector>

namespace {
int AppendToByteArray(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

struct GifCloser
{
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

struct MapFreer
{
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

// giflib wants the palette size as a power of two.
int PaletteBits(int colours)
{
    int bits = 1;
    while ((1 << bits) < colours)
        ++bits;
    return bits;
}

bool PaletteIndices(const ImageFrame& frame, std::vector<GifByteType>& indices,
                    std::unique_ptr<ColorMapObject, MapFreer>& map)
{
    const int width = frame.Width();
    const int height = frame.Height();
    indices.resize(static_cast<std::size_t>(width) * height);
    if (frame.BitsPerPixel() == 8) {
        const QVector<QRgb> palette = frame.Palette();
        map.reset(GifMakeMapObject(1 << PaletteBits(static_cast<int>(palette.size())), nullptr));
        if (!map)
            return false;
        for (int i = 0; i < map->ColorCount; ++i) {
            const QRgb colour = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
            map->Colors[i] = {static_cast<GifByteType>(qRed(colour)),
                              static_cast<GifByteType>(qGreen(colour)),
                              static_cast<GifByteType>(qBlue(colour))};
        }
        for (int y = 0; y < height; ++y)
            std::copy_n(frame.Row(y), width, indices.begin() + static_cast<std::ptrdiff_t>(y) * width);
        return true;
    }

    std::vector<GifByteType> red(indices.size()), green(indices.size()), blue(indices.size());
    const QImage rgb = frame.Image().convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return false;
    for (int y = 0; y < height; ++y) {
        const uchar* row = rgb.constScanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            red[i] = row[3 * x];
            green[i] = row[3 * x + 1];
            blue[i] = row[3 * x + 2];
        }
    }
    map.reset(GifMakeMapObject(256, nullptr));
    int colours = 256;
    return map &&
           GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &colours,
                             red.data(), green.data(), blue.data(), indices.data(), map->Colors) == GIF_OK;
}
} // namespace

ResultCode EncodeGif(const ImageFrame& frame, QByteArray& out)
{
    if (frame.IsEmpty() || frame.Width() > 65535 || frame.Height() > 65535)
        return Result::GenericFailure;
    std::vector<GifByteType> indices;
    std::unique_ptr<ColorMapObject, MapFreer> map;
    try {
        if (!PaletteIndices(frame, indices, map))
            return Result::GenericFailure;
    } catch (const std::bad_alloc&) {
        return Result::OutOfMemory;
    }

    QByteArray encoded;
    int error = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(EGifOpen(&encoded, AppendToByteArray, &error));
    if (!gif)
        return Result::GenericFailure;
    EGifSetGifVersion(gif.get(), true);
    bool ok = EGifPutScreenDesc(gif.get(), frame.Width(), frame.Height(), map->BitsPerPixel, 0, map.get()) ==
                  GIF_OK &&
              EGifPutImageDesc(gif.get(), 0, 0, frame.Width(), frame.Height(), false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < frame.Height(); ++y)
        ok = EGifPutLine(gif.get(), indices.data() + static_cast<std::size_t>(y) * frame.Width(),
                         frame.Width()) == GIF_OK;
    GifFileType* raw = gif.release();
    if (EGifCloseFile(raw, &error) != GIF_OK)
        ok = false;
    if (!ok)
        return Result::GenericFailure;
    out.append(encoded);
    return Result::Ok;
}
