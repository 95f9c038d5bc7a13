#include "HatchStyles.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

TEST(HatchStyles, NamesAndValues)
{
    EXPECT_EQ(HatchStyleFromName("HatchStyleSolidDiamond"), 52);
    EXPECT_EQ(HatchStyleFromName("HatchStyleVertical"), 1);
    EXPECT_EQ(HatchStyleFromName("HatchStyleCross"), 4);
    EXPECT_EQ(HatchStyleFromName("hatchstylesoliddiamond"), 3);
    EXPECT_EQ(HatchStyleFromName("HatchStyleHorizontal"), 3);
    EXPECT_EQ(HatchStyleFromName(""), 3);
    EXPECT_EQ(HatchStyleToName(0), "HatchStyleBackwardDiagonal");
    EXPECT_EQ(HatchStyleToName(53), "HatchStyleBackwardDiagonal");
    EXPECT_EQ(HatchStyleToName(-1), "HatchStyleBackwardDiagonal");
    EXPECT_EQ(HatchStyleToName(36), "HatchStyleZigZag");
}

TEST(HatchStyles, EveryNameRoundTrips)
{
    for (int value = 1; value <= 52; ++value)
        EXPECT_EQ(HatchStyleFromName(HatchStyleToName(value)), value) << value;
}

TEST(HatchStyles, BrushPaintsThePatternFromTheBrushOrigin)
{
    QImage image(16, 8, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setBrushOrigin(1, 0);
        painter.fillRect(image.rect(), MakeHatchBrush(1, Qt::black, Qt::white));
    }
    // "Vertical": bit 0x08 of each row, x = 4, moved one pixel right by the origin.
    for (int x = 0; x < 16; ++x) {
        const bool foreground = (x - 1 + 8) % 8 == 4;
        EXPECT_EQ(image.pixelColor(x, 3) == QColor(Qt::black), foreground) << x;
    }
    EXPECT_EQ(HatchPattern(0)[3], 0xFF) << "value 0 is the horizontal hatch";
}
