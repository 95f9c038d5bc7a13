#include "TestImages.h"
#include "sources/CropThumbnail.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace CropThumbnail;

namespace {
QRgb RawPixel(const ImageFrame& frame, int x, int y)
{
    return reinterpret_cast<const QRgb*>(frame.Row(y))[x];
}

CropSettings Crop(int x, int y, int w, int h, bool enabled = true)
{
    CropSettings crop;
    crop.enabled = enabled;
    crop.crop = QRect(x, y, w, h);
    crop.hatchStyle = 12; // 50 % checker, so both colours show
    return crop;
}
} // namespace

TEST(CropThumbnail, MapPointScalesAndRounds)
{
    EXPECT_EQ(MapPointToImage({100, 50}, QRect(0, 0, 640, 480), QRect(0, 0, 320, 240)), QPoint(50, 25));
    EXPECT_EQ(MapPointToImage({3, 3}, QRect(0, 0, 4, 4), QRect(10, 20, 6, 6)), QPoint(14, 24))
        << "4.5 rounds to even";
    EXPECT_EQ(MapPointToImage({5, 5}, QRect(0, 0, 100, 100), QRect(0, 0, 1000, 1000)), QPoint(50, 50));
}

TEST(CropThumbnail, OverlayHatchOutlineAndKey)
{
    ImageFrame overlay;
    ASSERT_TRUE(DrawCropOverlay(overlay, QSize(100, 100), QSize(100, 100), Crop(20, 30, 40, 20)));
    EXPECT_EQ(overlay.BitsPerPixel(), 32);
    EXPECT_EQ(RawPixel(overlay, 40, 40), ColourKey) << "inside: the colour key with alpha 0";
    EXPECT_EQ(RawPixel(overlay, 20, 40), 0xFF000000u) << "the outline: opaque black";
    EXPECT_EQ(RawPixel(overlay, 40, 30), 0xFF000000u);
    for (QPoint outside : {QPoint(5, 5), QPoint(90, 90)}) {
        const QRgb pixel = RawPixel(overlay, outside.x(), outside.y());
        EXPECT_TRUE(pixel == 0xFFFFFFFFu || pixel == 0xFF000000u) << "hatch: opaque white or black";
    }
    int white = 0;
    for (int x = 0; x < 16; ++x)
        white += RawPixel(overlay, x, 2) == 0xFFFFFFFFu;
    EXPECT_GT(white, 0);
    EXPECT_LT(white, 16);

    EXPECT_FALSE(DrawCropOverlay(overlay, QSize(100, 100), QSize(100, 100), Crop(0, 0, 10, 10, false)));
    EXPECT_TRUE(overlay.IsEmpty()) << "crop off: no overlay";
    EXPECT_FALSE(DrawCropOverlay(overlay, QSize(), QSize(100, 100), Crop(0, 0, 10, 10)));
}

TEST(CropThumbnail, ACropOfNoWidthOrHeightIsALineWhereItLies)
{
    auto keyed = [](const ImageFrame& overlay) {
        int count = 0;
        for (int y = 0; y < overlay.Height(); ++y)
            for (int x = 0; x < overlay.Width(); ++x)
                count += RawPixel(overlay, x, y) == ColourKey;
        return count;
    };
    auto whiteIn = [](const ImageFrame& overlay, QRect area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += RawPixel(overlay, x, y) == 0xFFFFFFFFu;
        return count;
    };
    ImageFrame overlay;
    ASSERT_TRUE(DrawCropOverlay(overlay, QSize(100, 100), QSize(100, 100), Crop(20, 30, 0, 20)));
    for (int y = 30; y < 50; ++y)
        EXPECT_EQ(RawPixel(overlay, 20, y), 0xFF000000u) << "the line at x 20, row " << y;
    EXPECT_EQ(whiteIn(overlay, QRect(20, 30, 1, 20)), 0);
    EXPECT_GT(whiteIn(overlay, QRect(19, 30, 1, 20)), 0) << "only hatch beside it";
    EXPECT_GT(whiteIn(overlay, QRect(21, 30, 1, 20)), 0);
    EXPECT_GT(whiteIn(overlay, QRect(20, 29, 1, 1)) + whiteIn(overlay, QRect(20, 50, 1, 1)) +
                  whiteIn(overlay, QRect(20, 51, 1, 1)) + whiteIn(overlay, QRect(20, 28, 1, 1)),
              0)
        << "no longer than the crop";
    EXPECT_EQ(keyed(overlay), 0) << "no inside, so no see-through pixel";

    ASSERT_TRUE(DrawCropOverlay(overlay, QSize(100, 100), QSize(100, 100), Crop(20, 30, 40, 0)));
    for (int x = 20; x < 60; ++x)
        EXPECT_EQ(RawPixel(overlay, x, 30), 0xFF000000u) << "the line at y 30, column " << x;
    EXPECT_GT(whiteIn(overlay, QRect(20, 29, 40, 1)), 0);
    EXPECT_GT(whiteIn(overlay, QRect(20, 31, 40, 1)), 0);
    EXPECT_EQ(keyed(overlay), 0);

    ASSERT_TRUE(DrawCropOverlay(overlay, QSize(100, 100), QSize(100, 100), Crop(20, 30, 0, 0)));
    EXPECT_EQ(RawPixel(overlay, 20, 30), 0xFF000000u) << "a point";
    EXPECT_GT(whiteIn(overlay, QRect(19, 29, 3, 3)), 0);
    EXPECT_EQ(keyed(overlay), 0);

    // Scaled down, a narrow crop may map to no width as well.
    ASSERT_TRUE(DrawCropOverlay(overlay, QSize(1000, 1000), QSize(100, 100), Crop(200, 300, 2, 200)));
    EXPECT_EQ(RawPixel(overlay, 20, 35), 0xFF000000u);
    EXPECT_EQ(keyed(overlay), 0);
}

TEST(CropThumbnail, BlendAtPointFourLeavesTheKeyAlone)
{
    ImageFrame base = FlatFrame(10, 10, 24, 200, 100, 50);
    ImageFrame overlay;
    overlay.Create(10, 10, 32, true);
    for (int y = 0; y < 10; ++y) {
        auto* row = reinterpret_cast<QRgb*>(overlay.Row(y));
        for (int x = 0; x < 10; ++x)
            row[x] = x < 5 ? qRgba(0, 0, 0, 255) : ColourKey;
    }
    ImageFrame target;
    BlendOverlay(target, base, overlay, 0.4f, 0, 0);
    EXPECT_EQ(PixelAt(target, 1, 1).red, 120) << "trunc(0.6 * 200)";
    EXPECT_EQ(PixelAt(target, 1, 1).green, 60);
    EXPECT_EQ(PixelAt(target, 1, 1).blue, 30);
    EXPECT_EQ(PixelAt(target, 8, 8).red, 120) << "a 24-bit base takes the table even under the key";

    ImageFrame canvas = FlatFrame(10, 10, 32, 200, 100, 50);
    BlendOverlay(canvas, canvas, overlay, 0.4f, 0, 0);
    EXPECT_EQ(PixelAt(canvas, 8, 8).red, 200) << "alpha 0 copies the base";
    EXPECT_EQ(PixelAt(canvas, 1, 1).red, 120);
    EXPECT_EQ(PixelAt(base, 1, 1).red, 200) << "the base itself is untouched";
}

TEST(CropThumbnail, CropLargerThanTheImageHatchesTheOverhang)
{
    // A 100 x 50 image in a 100 x 100 control: letterbox bands above and below. The crop
    // reaches 20 image pixels below the image.
    const ImageFrame frame = FlatFrame(100, 50, 24, 0, 255, 0);
    ImageFrame thumbnail;
    MakeCropThumbnail(QSize(100, 100), thumbnail, frame, true, Crop(0, 0, 100, 70));
    ASSERT_EQ(thumbnail.Width(), 100);
    // The image sits at rows 25..74; the overhang is rows 75..94; below it plain black.
    std::set<QRgb> overhang, below;
    for (int x = 0; x < 100; ++x) {
        overhang.insert(RawPixel(thumbnail, x, 80));
        below.insert(RawPixel(thumbnail, x, 97));
    }
    EXPECT_EQ(overhang, (std::set<QRgb>{0xFF000000u, 0xFF666666u})) << "black lines on RGB(102, 102, 102)";
    EXPECT_EQ(below, (std::set<QRgb>{0xFF000000u}));
    EXPECT_EQ(RawPixel(thumbnail, 50, 10), 0xFF000000u) << "above the image: black";
    EXPECT_EQ(qGreen(RawPixel(thumbnail, 50, 50)), 255) << "inside the crop: the image itself";
}

TEST(CropThumbnail, UncheckedCropGivesAPlainBlackLetterbox)
{
    const ImageFrame frame = FlatFrame(100, 50, 24, 0, 255, 0);
    ImageFrame thumbnail;
    MakeCropThumbnail(QSize(100, 100), thumbnail, frame, true, Crop(0, 0, 100, 70, false));
    for (int y : {5, 80, 97})
        EXPECT_EQ(RawPixel(thumbnail, 50, y), 0xFF000000u) << y;
    EXPECT_EQ(RawPixel(thumbnail, 50, 50), 0xFF00FF00u);
}

TEST(CropThumbnail, CropInsideDimsTheRestAtPointFour)
{
    const ImageFrame frame = FlatFrame(100, 100, 24, 250, 250, 250);
    ImageFrame thumbnail;
    MakeCropThumbnail(QSize(100, 100), thumbnail, frame, true, Crop(25, 25, 50, 50));
    EXPECT_EQ(RawPixel(thumbnail, 50, 50), 0xFFFAFAFAu) << "inside the crop: unchanged";
    const int outside = qRed(RawPixel(thumbnail, 2, 2));
    EXPECT_TRUE(outside == 150 || outside == 252) << "0.6 * 250 under black, or towards white: " << outside;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(qAlpha(RawPixel(thumbnail, x, y)), 255);
}
