#include "LogRecorder.h"
#include "ManualClock.h"
#include "captions/CaptionSettings.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
SettingsList Lines(const QString& text)
{
    return text.split('\n');
}

} // namespace

TEST(CaptionSettingsRead, MissingKeysGiveTheTablesValuesNotTheRecordDefaults)
{
    const auto captions = CaptionSettings::ReadCaptions(Lines("CaptionNumberOfCaptions = 1"));
    ASSERT_EQ(captions.size(), 1u);
    const CCaptionData& c = captions[0];
    EXPECT_EQ(c.text, "");
    EXPECT_EQ(c.textColour, "");
    EXPECT_EQ(c.backgroundColour, "");
    EXPECT_EQ(c.textAlpha, 0) << "an invisible text";
    EXPECT_EQ(c.backgroundAlpha, 0);
    EXPECT_EQ(c.fontName, "");
    EXPECT_EQ(c.fontSize, 0);
    EXPECT_EQ(c.fontWeight, 0);
    EXPECT_FALSE(c.fontItalic);
    EXPECT_EQ(c.positionX, 0);
    EXPECT_EQ(c.justify, 0);
}

TEST(CaptionSettingsRead, ValuesAreTakenUnclamped)
{
    const auto captions = CaptionSettings::ReadCaptions(Lines("CaptionNumberOfCaptions = 4\n"
                                                              "Caption0Position = 10\n"
                                                              "Caption1Position = 10,20,30\n"
                                                              "Caption2Position = -5,-7\n"
                                                              "Caption0TextAlpha = 128\n"
                                                              "Caption1TextAlpha = 256\n"
                                                              "Caption2TextAlpha = 300\n"
                                                              "Caption3BackgroundAlpha = 200,5\n"
                                                              "Caption0Justify = 7\n"
                                                              "Caption0FontItalic = yes\n"
                                                              "Caption1FontItalic = 1\n"
                                                              "Caption2FontItalic = true\n"));
    ASSERT_EQ(captions.size(), 4u);
    EXPECT_EQ(captions[0].positionX, 10);
    EXPECT_EQ(captions[0].positionY, 0);
    EXPECT_EQ(captions[1].positionX, 10);
    EXPECT_EQ(captions[1].positionY, 20);
    EXPECT_EQ(captions[2].positionX, -5);
    EXPECT_EQ(captions[2].positionY, -7);
    EXPECT_EQ(captions[0].textAlpha, 128);
    EXPECT_EQ(captions[1].textAlpha, 0);
    EXPECT_EQ(captions[2].textAlpha, 44);
    EXPECT_EQ(captions[3].backgroundAlpha, 200);
    EXPECT_EQ(captions[0].justify, 7);
    EXPECT_TRUE(captions[0].fontItalic);
    EXPECT_TRUE(captions[1].fontItalic);
    EXPECT_FALSE(captions[2].fontItalic);
    EXPECT_TRUE(CaptionSettings::ReadCaptions(Lines("CaptionNumberOfCaptions = -3")).empty());
}

TEST(CaptionSettingsRead, ValuesFromADamagedFileAreBoundedAndSaid)
{
    LogRecorder log;
    const auto captions =
        CaptionSettings::ReadCaptions(Lines("CaptionNumberOfCaptions = 2\n"
                                            "Caption0FontSize = 2147483647\n"
                                            "Caption0FontWeight = -5\n"
                                            "Caption0Position = 99999999999,-400000\n"
                                            "Caption1Text = " +
                                            QString(100000, 'x') + "\nCaption1Font = " + QString(1000, 'f')));
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(captions[0].fontSize, CaptionSettings::MaxFontSize);
    EXPECT_EQ(captions[0].fontWeight, 0);
    EXPECT_EQ(captions[0].positionX, CaptionSettings::MaxPosition);
    EXPECT_EQ(captions[0].positionY, -CaptionSettings::MaxPosition);
    EXPECT_EQ(captions[1].text.size(), CaptionSettings::MaxTextLength);
    EXPECT_EQ(captions[1].fontName.size(), CaptionSettings::MaxFontNameLength);
    QCoreApplication::sendPostedEvents(&log);
    EXPECT_EQ(
        log.Starting("Settings - Caption0FontSize = 2147483647 is out of range (0 to 1000) - using 1000")
            .size(),
        1);
    EXPECT_EQ(
        log.Starting("Settings - Caption0Position X = 2147483647 is out of range - using 100000").size(), 1);
    EXPECT_EQ(log.Starting("Settings - Caption1Text is 100000 characters long - using its first 4096").size(),
              1);
}

TEST(CaptionSettingsRead, AHugeCountIsCutAndLoadingIsLinear)
{
    LogRecorder log;
    SettingsList list{"CaptionNumberOfCaptions = 8000"};
    for (int i = 0; i < 8000; ++i) {
        CCaptionData caption;
        caption.text = QString("caption %1").arg(i);
        SettingsList one;
        CaptionSettings::Write(one, {caption}, {}, 3);
        for (QString line : one.mid(2, 11))
            list << line.replace("Caption0", QString("Caption%1").arg(i));
    }
    const auto captions = CaptionSettings::ReadCaptions(list);
    ASSERT_EQ(captions.size(), static_cast<size_t>(CaptionSettings::MaxCaptions));
    EXPECT_EQ(captions.back().text, "caption 255");
    QCoreApplication::sendPostedEvents(&log);
    EXPECT_EQ(log.Starting("Settings - CaptionNumberOfCaptions = 8000 is out of range (0 to 256) - using 256")
                  .size(),
              1);
}

TEST(CaptionSettingsRead, ColoursAndHatchStyle)
{
    const SettingsList list = Lines("CaptionCustomColour0 = 255,0,0\nCaptionCustomColour1 = 255, 0, 0\n"
                                    "CaptionCustomColour2 = 300, 0, 0\nCaptionCustomColour3 = red\n"
                                    "CaptionCustomColour4 = 255\nCaptionSampleBorderHatchStyle = Nonsense");
    const auto colours = CaptionSettings::ReadCustomColours(list);
    EXPECT_EQ(colours[0], MakeColour(255, 0, 0));
    EXPECT_EQ(colours[1], colours[0]);
    EXPECT_EQ(RedOf(colours[2]), 44);
    EXPECT_EQ(colours[3], 0u);
    EXPECT_EQ(colours[4], MakeColour(255, 0, 0));
    EXPECT_EQ(colours[15], 0u);
    EXPECT_EQ(CaptionSettings::ReadSampleBorderHatchStyle(list), 3);
    SettingsList written;
    CaptionSettings::Write(written, {}, colours, 99);
    EXPECT_TRUE(written.contains("CaptionSampleBorderHatchStyle = HatchStyleBackwardDiagonal"));
}

TEST(CaptionSettingsWrite, RoundTripOfOddCaptionsKeepsEveryValue)
{
    std::vector<CCaptionData> captions;
    for (int i = 0; i < 25; ++i) {
        CCaptionData c;
        c.text = QString::fromUtf8("Zeile %1 – 東京 <HH>:<MM> ✓").arg(i);
        c.textColour = i % 2 ? "1,2,3" : "10, 20, 30";
        c.backgroundColour = i % 3 ? "255, 255, 255" : "0,0,0";
        c.textAlpha = static_cast<std::uint8_t>(300 + i); // stored as its low bits
        c.backgroundAlpha = static_cast<std::uint8_t>(i * 10);
        c.positionX = -100 * i;
        c.positionY = 7 - i;
        c.justify = 7;
        c.fontName = i % 2 ? "DejaVu Serif" : "";
        c.fontSize = 12 + i;
        c.fontItalic = i % 2;
        c.fontWeight = 401 + i;
        captions.push_back(c);
    }
    std::array<ColourValue, 16> colours{};
    colours[5] = MakeColour(1, 2, 3);
    SettingsList list;
    CaptionSettings::Write(list, captions, colours, 52);
    EXPECT_EQ(CaptionSettings::ReadCaptions(list), captions);
    EXPECT_EQ(CaptionSettings::ReadCustomColours(list), colours);
    EXPECT_EQ(CaptionSettings::ReadSampleBorderHatchStyle(list), 52);
    EXPECT_TRUE(list.contains("Caption3Position = -300,4")) << "two numbers, a comma, no blank";
    EXPECT_TRUE(list.contains("Caption0TextColour = 10, 20, 30")) << "colour texts keep their form";
    EXPECT_TRUE(list.contains("Caption1FontItalic = Yes"));
    EXPECT_EQ(list[0], "CaptionNumberOfCaptions = 25");
    EXPECT_EQ(list[1], "");
    EXPECT_EQ(list[2], "Caption0Text = " + captions[0].text);
    EXPECT_EQ(list[13], "") << "each caption's eleven lines end with an empty line";
}
