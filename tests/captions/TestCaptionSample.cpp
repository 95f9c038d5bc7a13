#include "captions/CaptionRenderer.h"
#include "captions/CaptionSampleMotion.h"

#include <QFontDatabase>
#include <QStringList>

#include <gtest/gtest.h>

using namespace CaptionSampleMotion;

TEST(CaptionSampleMotion, TheViewPutsTheAnchorByItsJustification)
{
    // A caption at X 500 in a sample area 300 pixels wide.
    EXPECT_EQ(ViewTarget({500, 0}, 0, {300, 100}, 0).x(), 470) << "the anchor 30 pixels from the left";
    EXPECT_EQ(ViewTarget({500, 0}, 1, {300, 100}, 0).x(), 350) << "in the middle";
    EXPECT_EQ(ViewTarget({500, 0}, 2, {300, 100}, 0).x(), 230) << "30 pixels from the right";
    // The middle of the line in the middle: 200 - 50 + 11 (22 x 0.5, truncated).
    EXPECT_EQ(ViewTarget({0, 200}, 0, {300, 100}, 23).y(), 161);
    EXPECT_EQ(ViewTarget({0, 200}, 0, {300, 101}, 0).y(), 150) << "integer halves";
    EXPECT_EQ(ViewTarget({-40, -30}, 1, {301, 100}, 0), QPoint(-190, -80));
}

TEST(CaptionSampleMotion, GlidesTakeTheFourthRootOfTheirWay)
{
    EXPECT_EQ(DurationMs(1), 300);
    EXPECT_EQ(DurationMs(16), 600);
    EXPECT_EQ(DurationMs(100), 948);
    EXPECT_EQ(DurationMs(10000), 3000);
    EXPECT_EQ(DurationMs(-16), 600) << "a distance either way";
    EXPECT_EQ(DurationMs(0), 0);
}

TEST(CaptionSampleMotion, TheViewSlowsDownTowardsItsTarget)
{
    const QPoint start(0, 100), target(1000, 100);
    EXPECT_EQ(PositionAt(start, target, 600, 600), start) << "at the start";
    EXPECT_EQ(PositionAt(start, target, 0, 600), target) << "at the end";
    EXPECT_EQ(PositionAt(start, target, -50, 600), target) << "past the end it stays";
    EXPECT_EQ(PositionAt(start, target, 300, 600), QPoint(938, 100)) << "half the time: 1/16 of the way left";
    EXPECT_EQ(PositionAt(QPoint(500, 40), QPoint(100, 0), 300, 600), QPoint(125, 3)) << "backwards too";
    // The first half of the time covers far more way than the second: it slows down.
    const int firstHalf = PositionAt(start, target, 300, 600).x() - start.x();
    EXPECT_GT(firstHalf, 900);
    EXPECT_EQ(PositionAt(start, target, 5, 0), target) << "no time, no glide";
}

TEST(CaptionMeasure, OnlyTheNamedFaceMeasures)
{
    using CaptionRenderer::MeasureCaptionText;
    EXPECT_TRUE(MeasureCaptionText("Hello", "No Such Face 4711", 20, false, false, 0, 10, 10).isNull())
        << "no fallback face: an empty box";
    const QStringList families = QFontDatabase::families();
    ASSERT_FALSE(families.isEmpty()) << "a test machine without fonts";
    const QString face = families.first();
    EXPECT_TRUE(MeasureCaptionText("Hello", face, 0, false, false, 0, 0, 0).isNull());
    const QRect left = MeasureCaptionText("Hello", face, 20, false, false, 0, 100, 50);
    ASSERT_FALSE(left.isEmpty());
    EXPECT_EQ(left.topLeft(), QPoint(100, 50));
    const QRect centred = MeasureCaptionText("Hello", face, 20, false, false, 1, 100, 50);
    EXPECT_NEAR(centred.center().x(), 100, 1);
    const QRect right = MeasureCaptionText("Hello", face, 20, false, false, 2, 100, 50);
    EXPECT_NEAR(right.right() + 1, 100, 1);
    EXPECT_GT(MeasureCaptionText("", face, 20, false, false, 0, 0, 0).width(), 0)
        << "an empty text is one blank";
    EXPECT_GT(MeasureCaptionText("Hello", face, 40, false, false, 0, 0, 0).height(), left.height());
}
