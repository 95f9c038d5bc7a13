#include "LogRecorder.h"
#include "ManualClock.h"
#include "captions/CCaptionMain.h"
#include "captions/CaptionSettings.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {
SettingsList Lines(const QString& text)
{
    return text.split('\n');
}

struct CaptionPageTest : ::testing::Test
{
    ManualClock clock;
    CCaptionMain page{clock};
    QStringList Labels() const
    {
        QStringList labels;
        for (int i = 0; i < page.Tabs()->count(); ++i)
            labels << page.Tabs()->tabText(i);
        return labels;
    }
};
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

TEST_F(CaptionPageTest, FirstRunHasTheTwoExamples)
{
    page.AddExampleCaptions();
    page.LoadSettings({});
    ASSERT_EQ(page.AppliedCaptions().size(), 2u);
    EXPECT_EQ(page.EditedCaptions(), page.AppliedCaptions());
    EXPECT_EQ(page.AppliedCaptions()[0], CCaptionData::FirstExample());
    EXPECT_EQ(page.SelectedIndex(), 0);
    SettingsList list;
    page.SaveSettings(list);
    EXPECT_EQ(list[0], "CaptionNumberOfCaptions = 2");
}

TEST_F(CaptionPageTest, ACountOfZeroShowsOneBlankCaptionButDrawsNothing)
{
    page.LoadSettings(Lines("CaptionNumberOfCaptions = 0"));
    EXPECT_EQ(page.EditedCaptions().size(), 1u);
    EXPECT_TRUE(page.AppliedCaptions().empty());
    EXPECT_EQ(Labels(), QStringList({"", "New"}));
}

TEST_F(CaptionPageTest, LoadAppendsToWhatIsThere)
{
    page.AddExampleCaptions();
    page.LoadSettings(Lines("CaptionNumberOfCaptions = 1\nCaption0Text = Loaded"));
    ASSERT_EQ(page.AppliedCaptions().size(), 3u);
    EXPECT_EQ(page.AppliedCaptions()[2].text, "Loaded");
}

TEST_F(CaptionPageTest, NewTabTakesTheLastCaptionsFontAndColours)
{
    CCaptionData blue;
    blue.text = "second";
    blue.textColour = "0,0,255";
    blue.fontWeight = 700;
    blue.fontName = "Arial";
    blue.fontSize = 30;
    blue.positionX = 50;
    blue.justify = 2;
    page.AddCaption(CCaptionData());
    page.AddCaption(blue);
    QSignalSpy changed(&page, &CCaptionMain::Changed);
    page.Tabs()->setCurrentIndex(2); // "New"
    ASSERT_EQ(page.EditedCaptions().size(), 3u);
    const CCaptionData& made = page.EditedCaptions()[2];
    EXPECT_EQ(made.text, "");
    EXPECT_EQ(made.positionX, 0);
    EXPECT_EQ(made.justify, 0);
    EXPECT_EQ(made.textColour, "0,0,255");
    EXPECT_EQ(made.fontWeight, 700);
    EXPECT_EQ(made.fontSize, 30);
    EXPECT_EQ(page.SelectedIndex(), 2);
    EXPECT_EQ(changed.count(), 1) << "Apply is enabled";
    EXPECT_EQ(page.Tabs()->tabText(3), "New");
}

TEST_F(CaptionPageTest, NewWithoutCaptionsAddsAllDefaults)
{
    ASSERT_EQ(page.Tabs()->count(), 1) << "only \"New\"";
    page.show();
    QTest::mouseClick(page.Tabs(), Qt::LeftButton, {}, page.Tabs()->tabRect(0).center());
    QCoreApplication::processEvents();
    ASSERT_EQ(page.EditedCaptions().size(), 1u);
    EXPECT_EQ(page.EditedCaptions()[0], CCaptionData());
    EXPECT_EQ(page.Tabs()->count(), 2);
    EXPECT_EQ(page.SelectedIndex(), 0);
}

TEST_F(CaptionPageTest, DeletionSelectsThePreviousTabAndNeverEmpties)
{
    for (const char* text : {"a", "b", "c"}) {
        CCaptionData c;
        c.text = text;
        page.AddCaption(c);
    }
    page.DeleteCaption(1, true);
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_EQ(page.EditedCaptions()[0].text, "a");
    page.DeleteCaption(0, true);
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_EQ(page.EditedCaptions()[0].text, "c");
    page.DeleteCaption(-1, true);
    ASSERT_EQ(page.EditedCaptions().size(), 1u);
    EXPECT_EQ(page.EditedCaptions()[0], CCaptionData()) << "one blank caption";
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_EQ(Labels(), QStringList({"", "New"}));
}

TEST_F(CaptionPageTest, CancelRestoresTheLastAppliedCaptions)
{
    page.AddExampleCaptions();
    page.LoadSettings({});
    page.Tabs()->setCurrentIndex(2); // New
    page.EditedCaptions()[0].text = "edited";
    page.DeleteCaption(1, true);
    page.RefreshPage();
    EXPECT_EQ(page.EditedCaptions(), page.AppliedCaptions());
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_EQ(page.Tabs()->count(), 3);
    EXPECT_EQ(page.AppliedCaptions()[0].text, "Caption Example 1") << "the applied list was never touched";
}

TEST_F(CaptionPageTest, TabLabelsAreShortenedTo80Pixels)
{
    page.AddCaption(CCaptionData::SecondExample());
    const QString label = page.Tabs()->tabText(0);
    const QFontMetrics metrics = page.Tabs()->fontMetrics();
    EXPECT_TRUE(label.endsWith("..."));
    EXPECT_LT(metrics.horizontalAdvance(label), 80);
    const QString prefix = label.chopped(3);
    EXPECT_TRUE(CCaptionData::SecondExample().text.startsWith(prefix));
    const QString longer = CCaptionData::SecondExample().text.left(prefix.size() + 1) + "...";
    EXPECT_GE(metrics.horizontalAdvance(longer), 80) << "the longest prefix that fits";
    EXPECT_EQ(CCaptionMain::ShortenToWidth("", 80, metrics), "");
    EXPECT_EQ(CCaptionMain::ShortenToWidth("ab", 80, metrics), "ab");
    EXPECT_EQ(CCaptionMain::ShortenToWidth("WWWW", 1, metrics), "...");
}

TEST_F(CaptionPageTest, AHugeCaptionTextIsShortenedToTheLongestPrefixThatFits)
{
    // Its speed is measured in bench_textfit; here, that the halving finds the right prefix.
    const QString huge(1 << 16, 'm');
    const QFontMetrics metrics = page.Tabs()->fontMetrics();
    const QString label = CCaptionMain::ShortenToWidth(huge, 80, metrics);
    EXPECT_TRUE(label.endsWith("..."));
    EXPECT_LT(metrics.horizontalAdvance(label), 80);
    EXPECT_GE(metrics.horizontalAdvance(huge.left(label.size() - 3 + 1) + "..."), 80) << "the longest that fits";
}

TEST_F(CaptionPageTest, TheMouseWheelNeverCreatesACaption)
{
    page.AddExampleCaptions();
    page.resize(600, 200);
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    const size_t before = page.EditedCaptions().size();
    ASSERT_EQ(before, 2u);
    QSignalSpy changed(&page, &CCaptionMain::Changed);
    for (int notch = 0; notch < 6; ++notch) {
        for (int delta : {-120, 120}) {
            const QPoint at = page.Tabs()->tabRect(0).center();
            QWheelEvent wheel(at, page.Tabs()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(page.Tabs(), &wheel);
        }
    }
    // Both directions were tried six times: the wheel moved among the captions only.
    EXPECT_EQ(page.EditedCaptions().size(), before);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(page.Tabs()->isTabEnabled(page.Tabs()->count() - 1)) << "New is still there to click";
    // A click on "New" is still a deliberate choice.
    QTest::mouseClick(page.Tabs(), Qt::LeftButton, {},
                      page.Tabs()->tabRect(page.Tabs()->count() - 1).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(page.EditedCaptions().size(), before + 1);
}
