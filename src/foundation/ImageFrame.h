#pragma once

#include <QImage>
#include <QVector>

#include <cstdint>
#include <memory>

class QPainter;

// A rectangle as (left, top, right, bottom), right and bottom exclusive.
struct PixelRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    constexpr bool IsEmpty() const { return Width() <= 0 || Height() <= 0; }
    friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The in-memory bitmap every still travels in. Depths: 24 = RGB888 (the processing pipeline),
// 32 = RGB32 (display canvases) or ARGB32 when a decoded file carried alpha, 8 = indexed with
// its palette straight after decoding. Rows are padded to a multiple of four bytes.
//
// A frame has exactly one owner: it cannot be copied implicitly, and CopyImage makes the deep
// copy a hand-over needs. SharedCopy is the cheap hand-over for a receiver that only reads: the
// two frames share the pixels until either writes, which first gives the writer its own.
class ImageFrame final
{
public:
    ImageFrame();
    ~ImageFrame();
    ImageFrame(ImageFrame&& other) noexcept;
    ImageFrame& operator=(ImageFrame&& other) noexcept;
    ImageFrame(const ImageFrame&) = delete;
    ImageFrame& operator=(const ImageFrame&) = delete;

    enum class Fill
    {
        Black,
        Uninitialised
    };

    // Recreates the frame at the size and depth (8, 24 or 32), filled black unless the caller
    // is about to write every pixel; false (and an empty frame) when the size is not positive
    // or the memory cannot be had.
    bool Create(int width, int height, int bitsPerPixel, bool withAlpha = false, Fill fill = Fill::Black);
    // Takes over a decoded image, settling depth, palette and alpha by its format.
    bool Adopt(QImage image);
    // Releases the pixels; the frame becomes empty.
    void Empty();
    // A frame with the same pixels, shared copy-on-write (any thread may hold either side).
    ImageFrame SharedCopy() const;

    bool IsEmpty() const { return image_.isNull(); }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    int BitsPerPixel() const { return IsEmpty() ? 0 : bitsPerPixel_; }
    int BytesPerPixel() const { return BitsPerPixel() / 8; }
    qsizetype Pitch() const { return image_.bytesPerLine(); }
    bool HasAlpha() const { return hasAlpha_; }
    QVector<QRgb> Palette() const { return image_.colorTable(); }
    // Replaces the palette of an 8-bit frame (1 to 256 entries); false for other frames.
    bool SetPalette(const QVector<QRgb>& palette);

    std::uint8_t* Row(int y) { return image_.scanLine(y); }
    const std::uint8_t* Row(int y) const { return image_.constScanLine(y); }

    // The pixels as an image, sharing this frame's buffer: for reading only, on the owner's thread.
    const QImage& Image() const { return image_; }

    // A painter on the frame's pixels. Acquisitions nest: the first creates the painter, the
    // matching last release ends it. Returns nullptr for an empty frame.
    QPainter* AcquireDrawingSurface();
    void ReleaseDrawingSurface();

private:
    void EndSurface();

    QImage image_;
    int bitsPerPixel_ = 0;
    bool hasAlpha_ = false;
    int surfaceDepth_ = 0;
    std::unique_ptr<QPainter> surface_;
};
