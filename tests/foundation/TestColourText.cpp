#include "ColourText.h"

#include <gtest/gtest.h>

TEST(ExtractField, FieldsOfADelimitedText)
{
    EXPECT_EQ(ExtractField("a|b|c", 0, '|'), "a");
    EXPECT_EQ(ExtractField("a|b|c", 1, '|'), "b");
    EXPECT_EQ(ExtractField("a|b|c", 2, '|'), "c");
    EXPECT_EQ(ExtractField("a|b|c", 3, '|'), "");
    EXPECT_EQ(ExtractField("whole", 0, '|'), "whole");
    EXPECT_EQ(ExtractField("whole", 1, '|'), "");
    EXPECT_EQ(ExtractField("a||c", 1, '|'), "");
    EXPECT_EQ(ExtractField("a|", 1, '|'), "");
    EXPECT_EQ(ExtractField("", 0, '|'), "");
    EXPECT_EQ(ExtractField("a|b", -1, '|'), "");
}

TEST(ReadDecimal, LikeAtoiWithBlanksOnly)
{
    EXPECT_EQ(ReadDecimal("  42x"), 42);
    EXPECT_EQ(ReadDecimal("-7"), -7);
    EXPECT_EQ(ReadDecimal("+7"), 7);
    EXPECT_EQ(ReadDecimal("x1"), 0);
    EXPECT_EQ(ReadDecimal(""), 0);
    EXPECT_EQ(ReadDecimal("99999999999"), 2147483647);
}

TEST(ColourText, BothWrittenFormsReadAlike)
{
    EXPECT_EQ(ColourFromText("127, 0, 127"), MakeColour(127, 0, 127));
    EXPECT_EQ(ColourFromText("255,128,0"), MakeColour(255, 128, 0));
    EXPECT_EQ(ColourFromText("255,128,0"), 0x000080FFu) << "red in the low byte";
}

TEST(ColourText, OddTextsTakeTheLowEightBits)
{
    EXPECT_EQ(ColourFromText(""), 0u);
    EXPECT_EQ(ColourFromText("256, 257, -1"), MakeColour(0, 1, 255));
    EXPECT_EQ(ColourFromText("10"), MakeColour(10, 0, 0));
    EXPECT_EQ(ColourFromText("red, green, blue"), 0u);
}

TEST(ColourText, WritesWithoutBlanksAndRoundTrips)
{
    EXPECT_EQ(ColourToText(MakeColour(255, 128, 0)), "255,128,0");
    for (ColourValue c : {0u, 0xFFFFFFu, 0x123456u, 0x00FF00u})
        EXPECT_EQ(ColourFromText(ColourToText(c)), c);
}
