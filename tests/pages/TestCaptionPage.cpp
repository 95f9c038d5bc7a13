#include "captions/CaptionSettings.h"
#include "ManualClock.h"
#include "captions/CCaptionData.h"
#include "captions/CaptionEngine.h"
#include "pages/CCaptionMain.h"

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
    CaptionEngine engine{clock};
    CCaptionMain page{engine};
    QStringList Labels() const
    {
        QStringList labels;
        for (int i = 0; i < page.Tabs()->count(); ++i)
            labels << page.Tabs()->tabText(i);
        return labels;
    }
};
} // namespace

TEST_F(CaptionPageTest, FirstRunHasTheTwoExamples)
{
    engine.LoadSettings({});
    engine.AddExampleCaptions();
    page.RefreshPage();
    ASSERT_EQ(engine.AppliedCaptions().size(), 2u);
    EXPECT_EQ(page.EditedCaptions(), engine.AppliedCaptions());
    EXPECT_EQ(engine.AppliedCaptions()[0], CCaptionData::FirstExample());
    EXPECT_EQ(page.SelectedIndex(), 0);
    SettingsList list;
    engine.SaveSettings(list);
    EXPECT_EQ(list[0], "CaptionNumberOfCaptions = 2");
}

TEST_F(CaptionPageTest, ACountOfZeroShowsOneBlankCaptionButDrawsNothing)
{
    engine.LoadSettings(Lines("CaptionNumberOfCaptions = 0"));
    page.RefreshPage();
    EXPECT_EQ(page.EditedCaptions().size(), 1u);
    EXPECT_TRUE(engine.AppliedCaptions().empty());
    EXPECT_EQ(Labels(), QStringList({"", "New"}));
}

TEST_F(CaptionPageTest, LoadingReplacesTheCaptionsInForce)
{
    engine.LoadSettings(Lines("CaptionNumberOfCaptions = 2\nCaption0Text = Old\nCaption1Text = Older"));
    engine.LoadSettings(Lines("CaptionNumberOfCaptions = 1\nCaption0Text = Loaded"));
    page.RefreshPage();
    ASSERT_EQ(engine.AppliedCaptions().size(), 1u)
        << "a settings file read again (SIGHUP) replaces the captions";
    EXPECT_EQ(page.EditedCaptions()[0].text, "Loaded");
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
    engine.LoadSettings({});
    engine.AddExampleCaptions();
    page.RefreshPage();
    page.Tabs()->setCurrentIndex(2); // New
    page.EditedCaptions()[0].text = "edited";
    page.DeleteCaption(1, true);
    page.RefreshPage();
    EXPECT_EQ(page.EditedCaptions(), engine.AppliedCaptions());
    EXPECT_EQ(page.SelectedIndex(), 0);
    EXPECT_EQ(page.Tabs()->count(), 3);
    EXPECT_EQ(engine.AppliedCaptions()[0].text, "Caption Example 1") << "the applied list was never touched";
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
    EXPECT_GE(metrics.horizontalAdvance(huge.left(label.size() - 3 + 1) + "..."), 80)
        << "the longest that fits";
}

TEST_F(CaptionPageTest, TheMouseWheelNeverCreatesACaption)
{
    engine.AddExampleCaptions();
    page.RefreshPage();
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
