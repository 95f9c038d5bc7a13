#include "ImageFormat.h"
#include "ImageOperations.h"
#include "TestImages.h"

#include <QPainter>

#include <gtest/gtest.h>

TEST(ImageFrame, CreateGivesBlackPaddedRows)
{
    ImageFrame frame;
    ASSERT_TRUE(frame.Create(5, 3, 24));
    EXPECT_EQ(frame.BitsPerPixel(), 24);
    EXPECT_EQ(frame.Pitch(), 16) << "15 bytes padded to a multiple of four";
    EXPECT_EQ(PixelAt(frame, 4, 2).red, 0);
    EXPECT_FALSE(frame.Create(0, 3, 24));
    EXPECT_TRUE(frame.IsEmpty());
    EXPECT_FALSE(frame.Create(3, 3, 16));
}

TEST(ImageFrame, DrawingSurfaceNests)
{
    ImageFrame frame = FlatFrame(10, 10, 24, 0, 0, 0);
    QPainter* outer = frame.AcquireDrawingSurface();
    ASSERT_NE(outer, nullptr);
    EXPECT_EQ(frame.AcquireDrawingSurface(), outer);
    frame.ReleaseDrawingSurface();
    outer->fillRect(0, 0, 5, 5, Qt::white);
    frame.ReleaseDrawingSurface();
    EXPECT_EQ(PixelAt(frame, 2, 2).red, 255);
    EXPECT_EQ(PixelAt(frame, 7, 7).red, 0);
    ImageFrame empty;
    EXPECT_EQ(empty.AcquireDrawingSurface(), nullptr);
}

TEST(CopyImage, EmptySourceEmptiesTheTarget)
{
    ImageFrame empty, target = FlatFrame(4, 4, 24, 1, 2, 3);
    EXPECT_TRUE(CopyImage(empty, target));
    EXPECT_TRUE(target.IsEmpty());
}

TEST(CopyImage, DepthChangeConvertsColoursNotSize)
{
    const ImageFrame source = FlatFrame(33, 17, 32, 10, 20, 30);
    ImageFrame target;
    ASSERT_TRUE(CopyImage(source, target, 24));
    EXPECT_EQ(target.BitsPerPixel(), 24);
    EXPECT_EQ(target.Width(), 33);
    EXPECT_EQ(target.Height(), 17);
    EXPECT_EQ(PixelAt(target, 32, 16).green, 20);
}

TEST(CopyImage, CopyIsDeep)
{
    const ImageFrame source = FlatFrame(8, 8, 24, 10, 20, 30);
    ImageFrame target;
    ASSERT_TRUE(CopyImage(source, target));
    target.Row(0)[0] = 99;
    EXPECT_EQ(source.Row(0)[0], 10);
    EXPECT_NE(source.Row(0), target.Row(0));
}

TEST(CropImage, DegenerateSizesEmptyTheTarget)
{
    const ImageFrame source = FlatFrame(100, 100, 24, 255, 255, 255);
    ImageFrame target = FlatFrame(4, 4, 24, 1, 2, 3);
    CropImage(source, target, 0, 0, 0, 10);
    EXPECT_TRUE(target.IsEmpty());
    target = FlatFrame(4, 4, 24, 1, 2, 3);
    CropImage(source, target, 0, 0, 10, -1);
    EXPECT_TRUE(target.IsEmpty());
}

TEST(CropImage, OutsideTheSourceStaysBlack)
{
    const ImageFrame source = FlatFrame(100, 100, 24, 255, 255, 255);
    ImageFrame target;
    ASSERT_TRUE(CropImage(source, target, -10, -10, 20, 20));
    ASSERT_EQ(target.Width(), 20);
    EXPECT_EQ(PixelAt(target, 0, 0).red, 0);
    EXPECT_EQ(PixelAt(target, 9, 9).red, 0);
    EXPECT_EQ(PixelAt(target, 10, 9).red, 0);
    EXPECT_EQ(PixelAt(target, 10, 10).red, 255);
    EXPECT_EQ(PixelAt(target, 19, 19).red, 255);

    ASSERT_TRUE(CropImage(source, target, 500, 500, 5, 5));
    EXPECT_EQ(PixelAt(target, 2, 2).red, 0) << "wholly outside: all black, no crash";
}

TEST(CropImage, CopiesTheExactPixels)
{
    const ImageFrame source = RandomFrame(50, 40, 24, 3);
    ImageFrame target;
    ASSERT_TRUE(CropImage(source, target, 7, 5, 20, 10));
    for (int y = 0; y < 10; ++y)
        ASSERT_EQ(0, std::memcmp(target.Row(y), source.Row(y + 5) + 3 * 7, 60));
}

TEST(CropImage, PaletteFramesKeepTheirPalette)
{
    ImageFrame indexed;
    ASSERT_TRUE(indexed.Create(10, 10, 8));
    ASSERT_TRUE(indexed.SetPalette({qRgb(0, 0, 0), qRgb(255, 0, 0)}));
    std::memset(indexed.Row(5), 1, 10);
    ImageFrame target;
    ASSERT_TRUE(CropImage(indexed, target, 0, 4, 10, 3));
    EXPECT_EQ(target.BitsPerPixel(), 8);
    EXPECT_EQ(PixelAt(target, 3, 1).red, 255);
}

TEST(Resize, DegenerateSizesAndEmptyFrames)
{
    const ImageFrame source = FlatFrame(10, 10, 24, 9, 9, 9);
    ImageFrame target = FlatFrame(4, 4, 24, 1, 2, 3);
    ResizeImage(source, target, 0, 5);
    EXPECT_TRUE(target.IsEmpty());
    target = FlatFrame(4, 4, 24, 1, 2, 3);
    CropAndResizeImage(source, target, 5, 5, 0, 0, 0, 5);
    EXPECT_TRUE(target.IsEmpty());
    ImageFrame empty;
    EXPECT_TRUE(ResizeImageInPlace(empty, 10, 10));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(Resize, KeepsOrChangesDepthOnRequest)
{
    const ImageFrame source = RandomFrame(30, 20, 24, 1);
    ImageFrame target;
    ASSERT_TRUE(ResizeImage(source, target, 15, 10));
    EXPECT_EQ(target.BitsPerPixel(), 24);
    ASSERT_TRUE(ResizeImage(source, target, 15, 10, 32));
    EXPECT_EQ(target.BitsPerPixel(), 32);
    ImageFrame inPlace = RandomFrame(30, 20, 24, 1);
    ASSERT_TRUE(ResizeImageInPlace(inPlace, 12, 8));
    EXPECT_EQ(inPlace.Width(), 12);
    EXPECT_EQ(inPlace.BitsPerPixel(), 24);
}

TEST(Resize, RegionReachingPastTheEdgeCountsAsBlack)
{
    const ImageFrame source = FlatFrame(10, 10, 24, 200, 200, 200);
    ImageFrame target;
    // The right half of the region lies outside: the result is half as bright on average.
    ASSERT_TRUE(CropAndResizeImage(source, target, 1, 1, 0, 0, 20, 10));
    EXPECT_NEAR(PixelAt(target, 0, 0).red, 100, 1);
}

TEST(StretchImageRegion, StretchesIntoPartOfAnExistingCanvas)
{
    const ImageFrame source = FlatFrame(40, 40, 24, 0, 255, 0);
    ImageFrame canvas;
    ASSERT_TRUE(MakeBlankCanvas(canvas, {0, 0, 100, 50}));
    ASSERT_TRUE(StretchImageRegion(source, canvas, {10, 5, 60, 45}, {0, 0, 40, 40}));
    EXPECT_EQ(canvas.BitsPerPixel(), 32) << "the canvas is not recreated";
    EXPECT_EQ(PixelAt(canvas, 10, 5).green, 255);
    EXPECT_EQ(PixelAt(canvas, 59, 44).green, 255);
    EXPECT_EQ(PixelAt(canvas, 9, 5).green, 0);
    EXPECT_EQ(PixelAt(canvas, 60, 44).green, 0);
    EXPECT_EQ(PixelAt(canvas, 30, 45).green, 0);
}

TEST(StretchImageRegion, ClipsAtTheCanvasEdge)
{
    const ImageFrame source = FlatFrame(40, 40, 24, 255, 0, 0);
    ImageFrame canvas;
    ASSERT_TRUE(MakeBlankCanvas(canvas, {0, 0, 20, 20}));
    ASSERT_TRUE(StretchImageRegion(source, canvas, {-10, -10, 30, 30}, {0, 0, 40, 40}));
    EXPECT_EQ(PixelAt(canvas, 0, 0).red, 255);
    EXPECT_EQ(PixelAt(canvas, 19, 19).red, 255);
}

TEST(StretchImageRegion, DegenerateRectanglesEmptyTheTarget)
{
    const ImageFrame source = FlatFrame(40, 40, 24, 255, 0, 0);
    ImageFrame canvas;
    ASSERT_TRUE(MakeBlankCanvas(canvas, {0, 0, 20, 20}));
    StretchImageRegion(source, canvas, {0, 0, 0, 10}, {0, 0, 40, 40});
    EXPECT_TRUE(canvas.IsEmpty());
}

TEST(FitRect, ExamplesAndEdges)
{
    EXPECT_EQ(FitRect({0, 0, 320, 320}, {0, 0, 640, 480}), (PixelRect{0, 40, 320, 280}));
    EXPECT_EQ(FitRect({0, 0, 400, 200}, {0, 0, 200, 100}), (PixelRect{0, 0, 400, 200}));
    EXPECT_EQ(FitRect({0, 0, 101, 50}, {0, 0, 100, 100}), (PixelRect{25, 0, 75, 50}));
    EXPECT_EQ(FitRect({0, 0, 0, 50}, {0, 0, 100, 100}), (PixelRect{}));
    EXPECT_EQ(FitRect({0, 0, 100, 50}, {0, 0, 0, 0}), (PixelRect{}));
    EXPECT_EQ(FitRect({30, 40, 350, 360}, {0, 0, 640, 480}), (PixelRect{0, 40, 320, 280}))
        << "relative to the frame's own origin";
    EXPECT_EQ(FitRect({0, 0, 1000, 1000}, {0, 0, 10, 5}), (PixelRect{0, 250, 1000, 750})) << "enlarged";
}

TEST(FitRect, HalvesRoundToEven)
{
    // An 8-wide image in a 4-wide frame halves: heights 5 and 7 scale to 2.5 and 3.5.
    EXPECT_EQ(FitRect({0, 0, 4, 10}, {0, 0, 8, 5}), (PixelRect{0, 4, 4, 6})) << "2.5 rounds to 2";
    EXPECT_EQ(FitRect({0, 0, 4, 10}, {0, 0, 8, 7}), (PixelRect{0, 3, 4, 7})) << "3.5 rounds to 4";
}

TEST(MakeBlankCanvas, ThirtyTwoBitBlack)
{
    ImageFrame canvas = FlatFrame(3, 3, 24, 255, 255, 255);
    ASSERT_TRUE(MakeBlankCanvas(canvas, {5, 5, 25, 15}));
    EXPECT_EQ(canvas.Width(), 20);
    EXPECT_EQ(canvas.Height(), 10);
    EXPECT_EQ(canvas.BitsPerPixel(), 32);
    EXPECT_FALSE(canvas.HasAlpha());
    EXPECT_EQ(PixelAt(canvas, 19, 9).red, 0);
    EXPECT_TRUE(GetImageRect(canvas) == (PixelRect{0, 0, 20, 10}));
    EXPECT_TRUE(GetImageRect(ImageFrame()) == PixelRect{});
}

TEST(ImageFileNames, ExtensionsDecide)
{
    EXPECT_TRUE(IsImageFileName("photo.JFIF"));
    EXPECT_TRUE(IsImageFileName("scan.Tif"));
    EXPECT_TRUE(IsImageFileName("C:\\images\\a.rle"));
    EXPECT_FALSE(IsImageFileName("photo.jpg.tmp"));
    EXPECT_FALSE(IsImageFileName("photo"));
    EXPECT_FALSE(IsImageFileName("dir.jpg/photo"));
    EXPECT_FALSE(IsImageFileName("dir.jpg\\photo"));
    EXPECT_TRUE(IsJpegFileName("a.JPE"));
    EXPECT_FALSE(IsJpegFileName("a.png"));
    EXPECT_EQ(ImageFormatForFileName("a.dib", ImageFormat::None), ImageFormat::Bmp);
    EXPECT_EQ(ImageFormatForFileName("a.tiff", ImageFormat::None), ImageFormat::Tiff);
    EXPECT_EQ(ImageFormatForFileName("a.webp", ImageFormat::Png), ImageFormat::Png);
}

TEST(JpegQualitySetting, OutOfRangeLeavesItUnchanged)
{
    const int before = JpegQuality();
    SetJpegQuality(40);
    EXPECT_EQ(JpegQuality(), 40);
    SetJpegQuality(101);
    EXPECT_EQ(JpegQuality(), 40);
    SetJpegQuality(-1);
    EXPECT_EQ(JpegQuality(), 40);
    SetJpegQuality(before);
}
