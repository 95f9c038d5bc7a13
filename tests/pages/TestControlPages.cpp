#include "ImageFormat.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "TestImages.h"
#include "TestOutput.h"
#include "Utils/Classes/CTimer.h"
#include "Utils/Controls/CUpDownControl.h"
#include "control/AdvancedSettings.h"
#include "control/CControl.h"
#include "control/Statistics.h"
#include "pages/CAdvanced.h"
#include "pages/CControlPage.h"
#include "sources/SourceEngine.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {
class ControlPageTest : public ::testing::Test
{
protected:
    QTemporaryDir data;
    ManualClock clock{QDateTime(QDate(2009, 3, 3), QTime(10, 15, 42), Qt::UTC)};
    LogRecorder log;
    SourceEngine source{clock, data.path() + "/"};
    TestOutput archive;
    CControl control{clock, CControl::Parts{&source, nullptr, &archive, nullptr, nullptr}};
    CControlPage page{control, source};

    void Load(const SettingsList& list)
    {
        control.SetSettings(ControlSettings::Read(list));
        page.RefreshPage();
    }
    void Type(const QString& text)
    {
        page.CycleTimeEdit()->selectAll();
        QTest::keyClicks(page.CycleTimeEdit(), text);
    }
};
} // namespace

TEST_F(ControlPageTest, TheCycleTimeIsClampedAsTyped)
{
    Type("0");
    EXPECT_EQ(page.CycleTimeEdit()->text(), "1");
    Type("99999999999");
    EXPECT_EQ(page.CycleTimeEdit()->text(), "2147483647");
    Type("-");
    EXPECT_EQ(page.CycleTimeEdit()->text(), "-") << "a sign alone is left for the user to go on typing";
}

TEST_F(ControlPageTest, TheStrokeLabelFollowsTheCycleTime)
{
    Type("300");
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke of 5 minutes");
    EXPECT_TRUE(page.ExactStrokeCheck()->isEnabled());
    page.ExactStrokeCheck()->setChecked(true);
    Type("301");
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke");
    EXPECT_FALSE(page.ExactStrokeCheck()->isEnabled());
    EXPECT_FALSE(page.ExactStrokeCheck()->isChecked());
    Type("60");
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke of 1 minute");
    Type("3600");
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke of 1 hour");
    Type("1800");
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke of 30 minutes");
    Type("7200");
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke");
}

TEST_F(ControlPageTest, OnArrivalNeedsTheFileSource)
{
    Load({"ControlProcessCollectionType = 1"});
    EXPECT_FALSE(page.OnArrivalButton()->isEnabled()) << "the video source is selected";
    EXPECT_TRUE(page.AtIntervalButton()->isChecked());
    EXPECT_EQ(control.Settings().collectionType, 1) << "the setting stays until Apply";

    source.LoadSettings({"SourceType = 0", "SourceFileCollectDirectory = " + data.path()});
    Load({"ControlProcessCollectionType = 1"});
    EXPECT_TRUE(page.OnArrivalButton()->isEnabled());
    EXPECT_TRUE(page.OnArrivalButton()->isChecked());
    EXPECT_FALSE(page.CycleTimeEdit()->isEnabled());
    EXPECT_FALSE(page.ExactStrokeCheck()->isEnabled());
}

TEST_F(ControlPageTest, StatusLinesAndTheirExactTexts)
{
    EXPECT_EQ(page.FirstStatusLine()->text(), "Stopped");
    EXPECT_EQ(page.SecondStatusLine()->text(), "Source: Video Device - Disconnected");
    Load({"ControlEnableArchive = Yes", "ControlProcessCycleTime = 60", "ControlProcessOnExactStroke = Yes"});
    page.StartButton()->click();
    EXPECT_EQ(page.FirstStatusLine()->text(), "Waiting......     next cycle scheduled for 10:16:00");
    page.StopButton()->click();
    EXPECT_EQ(page.FirstStatusLine()->text(), "Stopped");

    Load({"ControlEnableCaptions = Yes"});
    page.StartButton()->click();
    EXPECT_EQ(page.FirstStatusLine()->text(), "Cannot start - No actions enabled");
}

TEST_F(ControlPageTest, ApplyRestartsOnlyWhenTheScheduleChanged)
{
    Load({"ControlEnableArchive = Yes"});
    page.StartButton()->click();
    QCoreApplication::processEvents();
    ASSERT_EQ(log.Starting("Processing started").size(), 1);

    page.FtpCheck()->click();
    page.ApplyControlPage();
    QCoreApplication::processEvents();
    EXPECT_TRUE(control.Settings().enableFtp);
    EXPECT_EQ(log.Starting("Processing started").size(), 1) << "enabling FTP is no reason to restart";

    Type("120");
    page.ApplyControlPage();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.Starting("Processing started").size(), 2);
    EXPECT_EQ(control.Settings().cycleTimeSeconds, 120);
    EXPECT_EQ(control.NextCycleText(), "10:17:42");

    SettingsList written;
    control.Settings().Write(written);
    EXPECT_EQ(written.first(), "ControlProcessCycleTime = 120");
    EXPECT_EQ(written.size(), 11);
}

TEST_F(ControlPageTest, TheCycleLineKeepsItsTimeWhenApplyRestarts)
{
    Load({"ControlEnableArchive = Yes", "ControlProcessCycleTime = 60"});
    page.StartButton()->click();
    clock.Advance(60'000);
    control.Timer().Tick();
    QCoreApplication::processEvents();
    auto post = [&](const char* name, std::int64_t wParam = 0, std::unique_ptr<ImageFrame> image = nullptr) {
        auto* event = new MessageEvent(RegisterNamedMessage(name), wParam);
        event->image = std::move(image);
        if (!event->image)
            event->text = QStringLiteral("/archive/x.jpg");
        QCoreApplication::postEvent(&control, event);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    };
    // The tick's image: a cycle whose archive output is still at work.
    post(MessageName::SourceNewImage, 0, std::make_unique<ImageFrame>(FlatFrame(8, 8, 24, 1, 2, 3)));
    ASSERT_EQ(archive.started, 1);
    ASSERT_EQ(control.ProcessingState(), CControl::State::Cycle);
    EXPECT_EQ(page.FirstStatusLine()->text(), "Processing cycle 10:16:42");

    // A new cycle time applied while the archive still works restarts processing; its next
    // report shows the cycle still running, with the time it began.
    Type("120");
    page.ApplyControlPage();
    ASSERT_EQ(control.ProcessingState(), CControl::State::Waiting);
    post(MessageName::ImageArchiveNewImageNotify, 0);
    ASSERT_EQ(control.ProcessingState(), CControl::State::Cycle);
    EXPECT_EQ(page.FirstStatusLine()->text(), "Processing cycle 10:16:42");

    // So after a Stop and a Start while it works.
    page.StopButton()->click();
    page.StartButton()->click();
    post(MessageName::ImageArchiveNewImageNotify, 0);
    EXPECT_EQ(page.FirstStatusLine()->text(), "Processing cycle 10:16:42");
}

TEST_F(ControlPageTest, AnEmptiedCycleTimeAppliesAsTheTimeInForce)
{
    Load(
        {"ControlEnableArchive = Yes", "ControlProcessCycleTime = 300", "ControlProcessOnExactStroke = Yes"});
    page.CycleTimeEdit()->selectAll();
    QTest::keyClick(page.CycleTimeEdit(), Qt::Key_Delete);
    ASSERT_EQ(page.CycleTimeEdit()->text(), "");
    EXPECT_TRUE(page.ExactStrokeCheck()->isChecked()) << "an empty field is no new cycle time yet";
    EXPECT_EQ(page.StrokeLabelWidget()->text(), "Process on the exact stroke of 5 minutes");
    page.ApplyControlPage();
    EXPECT_EQ(control.Settings().cycleTimeSeconds, 300);
    EXPECT_TRUE(control.Settings().exactStroke);
    EXPECT_EQ(page.CycleTimeEdit()->text(), "300") << "the time in force is shown again";
    SettingsList written;
    control.Settings().Write(written);
    EXPECT_EQ(written.first(), "ControlProcessCycleTime = 300");

    // Running: an emptied field changes nothing, so nothing restarts either.
    page.StartButton()->click();
    QCoreApplication::processEvents();
    Type("-");
    page.ApplyControlPage();
    QCoreApplication::processEvents();
    EXPECT_EQ(control.Settings().cycleTimeSeconds, 300);
    EXPECT_EQ(log.Starting("Processing started").size(), 1);
    EXPECT_EQ(control.NextCycleText(), "10:20:00");
}

namespace {
class AdvancedPageTest : public ::testing::Test
{
protected:
    ManualClock clock;
    Statistics statistics;
    AdvancedSettings advanced;
    CAdvanced page{clock, statistics, advanced};
    void TearDown() override { SetJpegQuality(75); }
    void Load(const SettingsList& list)
    {
        advanced = AdvancedSettings::Read(list);
        advanced.Apply();
        page.RefreshPage();
    }
};
} // namespace

TEST_F(AdvancedPageTest, AQualityOutOfRangeIsBoundedAsItIsRead)
{
    SetJpegQuality(75);
    Load({"AdvancedJPEGQuality = 99999999999"});
    EXPECT_EQ(page.QualityEdit()->text(), "100");
    EXPECT_EQ(JpegQuality(), 100) << "never a quality the encoder cannot use";
    page.QualityEdit()->selectAll();
    QTest::keyClicks(page.QualityEdit(), "150");
    EXPECT_EQ(page.QualityEdit()->text(), "100");
    page.ApplyPage();
    EXPECT_EQ(JpegQuality(), 100);
    QTest::keyClick(page.QualityEdit(), Qt::Key_Down);
    page.ApplyPage();
    EXPECT_EQ(JpegQuality(), 99);
    SettingsList written;
    advanced.Write(written);
    EXPECT_EQ(written, SettingsList({"AdvancedJPEGQuality = 99", "AdvancedOutboxMaxImages = 500",
                                     "AdvancedOutboxMaxMB = 256", ""}));
}

TEST_F(AdvancedPageTest, AnEmptiedQualityAppliesAsTheQualityInForce)
{
    SetJpegQuality(75);
    Load({"AdvancedJPEGQuality = 85"});
    page.QualityEdit()->selectAll();
    QTest::keyClick(page.QualityEdit(), Qt::Key_Backspace);
    ASSERT_EQ(page.QualityEdit()->text(), "");
    page.ApplyPage();
    EXPECT_EQ(page.Quality(), 85);
    EXPECT_EQ(JpegQuality(), 85) << "not 0";
    EXPECT_EQ(page.QualityEdit()->text(), "85");
    SettingsList written;
    advanced.Write(written);
    EXPECT_EQ(written, SettingsList({"AdvancedJPEGQuality = 85", "AdvancedOutboxMaxImages = 500",
                                     "AdvancedOutboxMaxMB = 256", ""}));
}

TEST_F(AdvancedPageTest, TheOutboxBoundsAndBacklogAreShownAndApplied)
{
    Load({"AdvancedOutboxMaxImages = 40", "AdvancedOutboxMaxMB = 0"});
    EXPECT_EQ(page.OutboxImagesEdit()->text(), "40");
    EXPECT_EQ(page.OutboxMegabytesEdit()->text(), "1") << "at least one megabyte";
    page.OutboxImagesEdit()->setText("0");
    page.OutboxMegabytesEdit()->setText("64");
    page.ApplyPage();
    EXPECT_EQ(advanced.outboxMaxImages, 40) << "an outbox of nothing would drop every image";
    EXPECT_EQ(advanced.outboxMaxMegabytes, 64);
    EXPECT_EQ(page.OutboxImagesEdit()->text(), "40");
    EXPECT_TRUE(page.BacklogLabel()->text().startsWith("0 image(s)"))
        << page.BacklogLabel()->text().toStdString();
}

TEST_F(AdvancedPageTest, TheQualityTakesDigitsAndHasArrows)
{
    Load({"AdvancedJPEGQuality = 75"});
    int changes = 0;
    QObject::connect(&page, &CAdvanced::Changed, [&] { ++changes; });
    page.QualityEdit()->selectAll();
    QTest::keyClicks(page.QualityEdit(), "x");
    EXPECT_EQ(page.QualityEdit()->text(), "75") << "a letter is refused, not turned into 0";
    page.QualityEdit()->end(false);
    QTest::keyClicks(page.QualityEdit(), "a");
    EXPECT_EQ(page.QualityEdit()->text(), "75");
    page.QualityEdit()->home(false);
    QTest::keyClicks(page.QualityEdit(), "b");
    EXPECT_EQ(page.QualityEdit()->text(), "75");

    ASSERT_NE(page.QualityArrows(), nullptr);
    QTest::mouseClick(page.QualityArrows()->UpButton(), Qt::LeftButton);
    EXPECT_EQ(page.QualityEdit()->text(), "76");
    EXPECT_GT(changes, 0) << "a click on an arrow is a change to apply";
    QTest::mouseClick(page.QualityArrows()->DownButton(), Qt::LeftButton);
    QTest::mouseClick(page.QualityArrows()->DownButton(), Qt::LeftButton);
    page.ApplyPage();
    EXPECT_EQ(JpegQuality(), 74);
}

TEST_F(AdvancedPageTest, UptimeCountersAndTheLastError)
{
    page.RefreshStatistics();
    EXPECT_EQ(page.UptimeLabel()->text(), "0 Days 00:00:00");
    clock.Advance(24LL * 3600 * 1000);
    statistics.ftpCycles = 3;
    statistics.totalErrors = 2;
    statistics.lastError = "10:15:42 - FTP - Error - " + QString(300, 'x');
    page.resize(400, 300);
    page.show();
    EXPECT_TRUE(page.RefreshTimerActive());
    EXPECT_EQ(page.UptimeLabel()->text(), "1 Day 00:00:00");
    EXPECT_EQ(page.CounterLabel(2)->text(), "3");
    EXPECT_EQ(page.CounterLabel(3)->text(), "2");
    const QString shown = page.LastErrorLabel()->text();
    EXPECT_TRUE(shown.endsWith("...")) << shown.toStdString();
    EXPECT_LT(page.LastErrorLabel()->fontMetrics().horizontalAdvance(shown),
              page.LastErrorLabel()->contentsRect().width());
    page.hide();
    EXPECT_FALSE(page.RefreshTimerActive()) << "no refreshing while nobody looks";
}

TEST(AdvancedPage, FitTextCutsAtTheEnd)
{
    const QFontMetrics metrics(QFont("DejaVu Sans", 10));
    EXPECT_EQ(CAdvanced::FitText("short", metrics, 1000), "short");
    const QString cut = CAdvanced::FitText("a rather long error message", metrics, 80);
    EXPECT_TRUE(cut.endsWith("..."));
    EXPECT_LT(metrics.horizontalAdvance(cut), 80);
    EXPECT_TRUE(QString("a rather long error message").startsWith(cut.chopped(3)));
    EXPECT_EQ(CAdvanced::FitText("anything", metrics, 1), "...");
}
