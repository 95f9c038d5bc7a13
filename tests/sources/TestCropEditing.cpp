#include "sources/CropEditing.h"
#include "sources/CropThumbnail.h"

#include <gtest/gtest.h>

using namespace CropEditing;

namespace {

// A 640 x 480 image shown 320 x 240 at (40, 10) of its widget: a crop at (100, 80) 200 x 160
// lies at (90, 50)..(190, 130) in the widget.
const QSize Image(640, 480);
const QRect Display(40, 10, 320, 240);

CropSettings Crop(const QRect& rect = QRect(100, 80, 200, 160), bool enabled = true)
{
    CropSettings crop;
    crop.enabled = enabled;
    crop.crop = rect;
    return crop;
}

int Hit(int x, int y, const CropSettings& crop = Crop())
{
    return HitTestCrop(QPoint(x, y), Display, Image, crop, 3);
}

} // namespace

TEST(CropHitTest, EdgesCornersInsideAndOutsideAtTheirBoundaries)
{
    // Edges at l = 90, r = 190, top = 50, bottom = 130.
    EXPECT_EQ(Hit(90, 90), Left);
    EXPECT_EQ(Hit(87, 90), Left) << "the tolerance outside";
    EXPECT_EQ(Hit(93, 90), Left) << "the tolerance inside";
    EXPECT_EQ(Hit(86, 90), None) << "one past the tolerance outside";
    EXPECT_EQ(Hit(94, 90), Inside) << "one past the tolerance inside";
    EXPECT_EQ(Hit(190, 90), Right);
    EXPECT_EQ(Hit(193, 90), Right);
    EXPECT_EQ(Hit(194, 90), None);
    EXPECT_EQ(Hit(140, 50), Top);
    EXPECT_EQ(Hit(140, 47), Top);
    EXPECT_EQ(Hit(140, 46), None);
    EXPECT_EQ(Hit(140, 130), Bottom);
    EXPECT_EQ(Hit(140, 133), Bottom);
    EXPECT_EQ(Hit(140, 134), None);
    // Corners, and one pixel outside them.
    EXPECT_EQ(Hit(90, 50), Top | Left);
    EXPECT_EQ(Hit(89, 49), Top | Left);
    EXPECT_EQ(Hit(191, 49), Top | Right);
    EXPECT_EQ(Hit(89, 131), Bottom | Left);
    EXPECT_EQ(Hit(191, 131), Bottom | Right);
    // Two pixels beside a corner: past the edges' reach.
    EXPECT_EQ(Hit(88, 48), None);
    // Along an edge's line beyond the rectangle's end, nothing.
    EXPECT_EQ(Hit(90, 140), None);
    EXPECT_EQ(Hit(140, 140), None);
    EXPECT_EQ(Hit(20, 20), None);
}

TEST(CropHitTest, NothingWhenTheCropIsOffOrNothingIsShownAndTheNearerEdgeOfANarrowOne)
{
    EXPECT_EQ(Hit(140, 90, Crop(QRect(100, 80, 200, 160), false)), None);
    EXPECT_EQ(HitTestCrop(QPoint(140, 90), QRect(), Image, Crop(), 3), None);
    EXPECT_EQ(HitTestCrop(QPoint(140, 90), Display, QSize(), Crop(), 3), None);
    // 4 image pixels wide = 2 display pixels: both edges are within reach, the nearer wins.
    const CropSettings narrow = Crop(QRect(100, 80, 4, 160)); // display x 90..92
    EXPECT_EQ(Hit(89, 90, narrow), Left);
    EXPECT_EQ(Hit(93, 90, narrow), Right);
}

TEST(CropHitTest, ACropTypedBeyondTheImageIsHitWhereItIsDrawn)
{
    // Right edge at image x 800 = display 40 + 400 = 440, beyond the shown image.
    EXPECT_EQ(Hit(440, 90, Crop(QRect(100, 80, 700, 160))), Right);
}

TEST(CropDrag, PointsOnALetterboxedPictureLandInImagePixels)
{
    const QPoint widget(200, 130);
    const QPoint image = DisplayToImage(widget, Display, Image);
    EXPECT_EQ(image, CropThumbnail::MapPointToImage(widget - Display.topLeft(), QRect(0, 0, 320, 240),
                                                    QRect(QPoint(0, 0), Image)));
    EXPECT_EQ(image, QPoint(320, 240));
    EXPECT_EQ(DisplayToImage(Display.topLeft(), Display, Image), QPoint(0, 0));
    // A right-edge drag there lands at image x 320.
    const Drag drag = DragCrop(Right, image, QRect(100, 80, 200, 160), Image);
    EXPECT_EQ(drag.crop, QRect(100, 80, 220, 160));
}

TEST(CropDrag, EdgesCornersAndMovesStayInTheImage)
{
    const QRect crop(100, 80, 200, 160);
    EXPECT_EQ(DragCrop(Left, QPoint(50, 0), crop, Image).crop, QRect(50, 80, 250, 160));
    EXPECT_EQ(DragCrop(Top | Left, QPoint(-30, -40), crop, Image).crop, QRect(0, 0, 300, 240))
        << "clamped at the image's corner";
    EXPECT_EQ(DragCrop(Bottom | Right, QPoint(900, 900), crop, Image).crop, QRect(100, 80, 540, 400))
        << "clamped at the far corner";
    EXPECT_EQ(DragCrop(Inside, QPoint(10, 20), crop, Image).crop, QRect(10, 20, 200, 160));
    EXPECT_EQ(DragCrop(Inside, QPoint(600, 400), crop, Image).crop, QRect(440, 320, 200, 160))
        << "a move stops where the rectangle meets the image's edge";
    EXPECT_EQ(DragCrop(Inside, QPoint(-5, -5), crop, Image).crop, QRect(0, 0, 200, 160));
    EXPECT_EQ(DragCrop(Inside, QPoint(30, 30), QRect(0, 0, 800, 600), Image).crop, QRect(0, 0, 800, 600))
        << "a rectangle larger than the image keeps its corner at the origin";
    // Typed to reach 60 pixels out on the right: a move keeps that, goes no further, and comes
    // back in freely.
    const QRect out(500, 100, 200, 100);
    EXPECT_EQ(DragCrop(Inside, QPoint(501, 100), out, Image).crop, out) << "no further out";
    EXPECT_EQ(DragCrop(Inside, QPoint(499, 101), out, Image).crop, QRect(499, 101, 200, 100)) << "no snap";
    EXPECT_EQ(DragCrop(Inside, QPoint(300, 100), out, Image).crop, QRect(300, 100, 200, 100));
}

TEST(CropDrag, AnEdgePastItsOppositeFlipsTheRectangleAndTheMinimumHolds)
{
    const QRect crop(100, 80, 200, 160);
    Drag drag = DragCrop(Right, QPoint(60, 100), crop, Image);
    EXPECT_EQ(drag.crop, QRect(60, 80, 40, 160)) << "the old left edge is now the right one";
    EXPECT_EQ(drag.flags, Left);
    // Carrying on with the new flags moves the left edge.
    drag = DragCrop(drag.flags, QPoint(20, 100), drag.crop, Image);
    EXPECT_EQ(drag.crop, QRect(20, 80, 80, 160));
    drag = DragCrop(Bottom | Left, QPoint(400, 10), crop, Image);
    EXPECT_EQ(drag.flags, Top | Right);
    EXPECT_EQ(drag.crop, QRect(300, 10, 100, 70));
    // Onto the opposite edge exactly: the minimum side remains.
    drag = DragCrop(Right, QPoint(100, 100), crop, Image);
    EXPECT_EQ(drag.crop.width(), MinimumSide);
    EXPECT_EQ(drag.crop.left(), 100);
    drag = DragCrop(Top, QPoint(100, 240), crop, Image);
    EXPECT_EQ(drag.crop.height(), MinimumSide);
}

TEST(CropCursor, EachZoneHasItsShape)
{
    EXPECT_EQ(CursorFor(Top | Left), Qt::SizeFDiagCursor);
    EXPECT_EQ(CursorFor(Bottom | Right), Qt::SizeFDiagCursor);
    EXPECT_EQ(CursorFor(Top | Right), Qt::SizeBDiagCursor);
    EXPECT_EQ(CursorFor(Bottom | Left), Qt::SizeBDiagCursor);
    EXPECT_EQ(CursorFor(Left), Qt::SizeHorCursor);
    EXPECT_EQ(CursorFor(Right), Qt::SizeHorCursor);
    EXPECT_EQ(CursorFor(Top), Qt::SizeVerCursor);
    EXPECT_EQ(CursorFor(Bottom), Qt::SizeVerCursor);
    EXPECT_EQ(CursorFor(Inside), Qt::SizeAllCursor);
    EXPECT_EQ(CursorFor(None), Qt::ArrowCursor);
}
