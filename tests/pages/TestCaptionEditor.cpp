#include "ImageOperations.h"
#include "ManualClock.h"
#include "TestImages.h"
#include "Utils/Controls/CButtonColourSwatch.h"
#include "Utils/Controls/CButtonSystem.h"
#include "Utils/Controls/CUpDownControl.h"
#include "WaitUntil.h"
#include "captions/CaptionEngine.h"
#include "captions/CaptionRenderer.h"
#include "pages/CCaptionDlg.h"
#include "pages/CCaptionMain.h"
#include "pages/CCaptionSampleView.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {
struct CaptionEditorTest : ::testing::Test
{
    ManualClock clock;
    CaptionEngine engine{clock};
    CCaptionMain page{engine};
    CCaptionDlg& editor = *page.Editor();

    void SetUp() override
    {
        page.resize(700, 520);
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    }
    // Three captions "a", "b", "c", applied and shown.
    void ThreeCaptions()
    {
        std::vector<CCaptionData> captions(3);
        captions[0].text = "a";
        captions[1].text = "b";
        captions[2].text = "c";
        engine.SetCaptions(captions);
        page.RefreshPage();
    }
    const CCaptionData& Shown() const { return page.EditedCaptions().at(editor.Selected()); }
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
};
} // namespace

TEST_F(CaptionEditorTest, NumbersAreClampedAsTypedAndOnlyTheEditedCaptionsChange)
{
    ThreeCaptions();
    QSignalSpy changed(&page, &CCaptionMain::Changed);
    EXPECT_EQ(changed.count(), 0) << "showing a caption is no change";
    Type(editor.TextAlphaEdit(), "300");
    EXPECT_EQ(editor.TextAlphaEdit()->text(), "255");
    EXPECT_EQ(Shown().textAlpha, 255);
    Type(editor.XEdit(), "-");
    EXPECT_EQ(editor.XEdit()->text(), "-") << "a sign is left to go on typing";
    EXPECT_EQ(Shown().positionX, 0);
    QTest::keyClicks(editor.XEdit(), "12000");
    EXPECT_EQ(editor.XEdit()->text(), "-9999");
    EXPECT_EQ(Shown().positionX, -9999);
    Type(editor.BackgroundAlphaEdit(), "x7");
    EXPECT_EQ(editor.BackgroundAlphaEdit()->text(), "7") << "digits only";
    EXPECT_GT(changed.count(), 0);
    EXPECT_EQ(engine.AppliedCaptions()[0].positionX, 0) << "nothing applied before Apply";
    page.ApplyPage();
    EXPECT_EQ(engine.AppliedCaptions()[0].positionX, -9999);
    EXPECT_EQ(engine.AppliedCaptions()[0].backgroundAlpha, 7);
}

TEST_F(CaptionEditorTest, TheYArrowsAreReversedAndTheXArrowsRunLeftToRight)
{
    ThreeCaptions();
    Type(editor.YEdit(), "100");
    QTest::mouseClick(editor.YArrows()->UpButton(), Qt::LeftButton);
    EXPECT_EQ(Shown().positionY, 99) << "up moves the caption up";
    QTest::mouseClick(editor.XArrows()->UpButton(), Qt::LeftButton);
    EXPECT_EQ(Shown().positionX, 1) << "the right arrow moves it right";
}

TEST_F(CaptionEditorTest, TheTextRenewsTheTabAndDeletionSelectsThePreviousCaption)
{
    ThreeCaptions();
    page.Tabs()->setCurrentIndex(1);
    ASSERT_EQ(editor.Selected(), 1);
    Type(editor.TextEdit(), "renamed");
    EXPECT_EQ(page.Tabs()->tabText(1), "renamed");
    EXPECT_EQ(page.EditedCaptions()[1].text, "renamed");
    QTest::mouseClick(editor.DeleteButton(), Qt::LeftButton);
    ASSERT_EQ(page.EditedCaptions().size(), 2u);
    EXPECT_EQ(editor.Selected(), 0);
    EXPECT_EQ(editor.TextEdit()->text(), "a");
    QTest::mouseClick(editor.DeleteButton(), Qt::LeftButton);
    QTest::mouseClick(editor.DeleteButton(), Qt::LeftButton);
    ASSERT_EQ(page.EditedCaptions().size(), 1u) << "never without a caption";
    EXPECT_EQ(page.EditedCaptions()[0], CCaptionData());
    EXPECT_EQ(editor.TextEdit()->text(), "");
}

TEST_F(CaptionEditorTest, JustificationFontAndColourChoicesGoIntoTheRecord)
{
    ThreeCaptions();
    editor.JustifyButton(2)->click();
    EXPECT_EQ(Shown().justify, 2);
    const QString face = QFontDatabase::families().value(0);
    QFont chosen(face);
    chosen.setPointSize(30);
    chosen.setWeight(QFont::Bold);
    chosen.setItalic(true);
    editor.ApplyFontChoice(chosen);
    EXPECT_EQ(Shown().fontName, face);
    EXPECT_EQ(Shown().fontSize, 30);
    EXPECT_EQ(Shown().fontWeight, 700);
    EXPECT_TRUE(Shown().fontItalic);
    EXPECT_EQ(editor.FontButton()->font().family(), face) << "the button shows the caption's face";

    // The colour chooser itself, driven as a user would: a colour chosen, a custom colour set.
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
            QColorDialog::setCustomColor(3, QColor(9, 8, 7));
            dialog->setCurrentColor(QColor(10, 20, 30));
            dialog->accept();
        }
    });
    driver.start(20);
    QTest::mouseClick(editor.TextColourButton(), Qt::LeftButton);
    driver.stop();
    EXPECT_EQ(Shown().textColour, "10,20,30");
    EXPECT_EQ(editor.TextColourButton()->Colour(), QColor(10, 20, 30));
    EXPECT_EQ(engine.CustomColours()[3], MakeColour(9, 8, 7)) << "kept with the captions";
    // Cancel chooses nothing, but a custom colour changed there stays changed.
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget())) {
            QColorDialog::setCustomColor(4, QColor(1, 2, 3));
            dialog->reject();
        }
    });
    canceller.start(20);
    QTest::mouseClick(editor.BackgroundColourButton(), Qt::LeftButton);
    canceller.stop();
    EXPECT_EQ(Shown().backgroundColour, CCaptionData().backgroundColour);
    EXPECT_EQ(engine.CustomColours()[4], MakeColour(1, 2, 3));
}

TEST_F(CaptionEditorTest, AFaceThatIsNotThereFallsBackToTheCaptionsSize)
{
    CCaptionData caption;
    caption.fontName = "No Such Face 4711";
    caption.fontSize = 17;
    EXPECT_EQ(CCaptionDlg::FittedButtonSize(caption, QSize(40, 52)), 17);
    caption.fontName = QFontDatabase::families().value(0);
    const int fitted = CCaptionDlg::FittedButtonSize(caption, QSize(40, 52));
    EXPECT_GT(fitted, 5);
    EXPECT_LT(fitted, 52) << "the largest that fits inside the button";
    EXPECT_GT(CCaptionDlg::FittedButtonSize(caption, QSize(80, 104)), fitted);
    // The largest that fits the inner area (30 x 40 of a 40 x 52 button), not merely one that does.
    const auto box = [&](int size) {
        return CaptionRenderer::MeasureCaptionText("A", caption.fontName, size, false, false, 0, 0, 0);
    };
    EXPECT_LE(box(fitted).width(), 30);
    EXPECT_LE(box(fitted).height(), 40);
    EXPECT_TRUE(box(fitted + 1).width() > 30 || box(fitted + 1).height() > 40);
}

TEST_F(CaptionEditorTest, TheSampleShowsTheEditedCaptionsOnTheNewestImageAndTheHatchAround)
{
    // The newest source image: 200 x 100 of white.
    ImageFrame source = FlatFrame(200, 100, 24, 255, 255, 255);
    engine.ProcessImage(source, nullptr);
    engine.WaitForCaptionJobs();
    std::vector<CCaptionData> captions(1);
    captions[0].text = "X";
    captions[0].fontName = QFontDatabase::families().value(0);
    captions[0].fontSize = 20;
    captions[0].backgroundColour = "255,0,0";
    captions[0].backgroundAlpha = 255;
    captions[0].textColour = "255,0,0";
    captions[0].positionX = 50;
    captions[0].positionY = 40;
    engine.SetCaptions(captions);
    CCaptionSampleView& sample = *editor.Sample();
    QSignalSpy rendered(&sample, &CCaptionSampleView::SampleRendered);
    page.RefreshPage();
    Type(editor.TextEdit(), "XX"); // an edit draws the sample anew
    ASSERT_TRUE(WaitUntil([&] {
        return rendered.count() > 0 && sample.SampleCaptions().size() == 1 &&
               sample.SampleCaptions()[0].text == "XX";
    }));
    ASSERT_TRUE(WaitUntil([&] { return !sample.Animating(); }, 5000)) << "the glide ends";
    EXPECT_EQ(sample.ViewPosition(), sample.ViewTarget());
    const QImage shown = sample.grab().toImage();
    const QPoint view = sample.ViewPosition();
    // The caption's box at (50, 40) of the image, where the view shows it.
    const QPoint inBox = QPoint(52, 42) - view;
    ASSERT_TRUE(shown.rect().contains(inBox));
    EXPECT_EQ(shown.pixelColor(inBox), QColor(255, 0, 0));
    EXPECT_EQ(engine.AppliedCaptions()[0].text, "X") << "the sample shows the edits, not what is applied";
    // The image's white inside it, the hatch (grey and dark grey) outside.
    const QPoint inImage = QPoint(150, 90) - view;
    if (shown.rect().contains(inImage))
        EXPECT_EQ(shown.pixelColor(inImage), QColor(255, 255, 255));
    const QPoint outside = QPoint(-5, -5) - view;
    if (shown.rect().contains(outside)) {
        const QColor hatch = shown.pixelColor(outside);
        EXPECT_TRUE(hatch == QColor(128, 128, 128) || hatch == QColor(32, 32, 32))
            << hatch.name().toStdString();
    }
}

TEST_F(CaptionEditorTest, TheOnceASecondCheckDrawsOnlyWhenATextChanged)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("line.txt");
    const auto write = [&](const QByteArray& line) {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(line + "\n");
    };
    write("first");
    std::vector<CCaptionData> captions(1);
    captions[0].text = "<FILELINE=" + file + "|1>";
    engine.SetCaptions(captions);
    CCaptionSampleView& sample = *editor.Sample();
    QSignalSpy rendered(&sample, &CCaptionSampleView::SampleRendered);
    page.RefreshPage();
    Type(editor.TextEdit(), captions[0].text + " "); // draws once
    ASSERT_TRUE(WaitUntil(
        [&] { return !sample.SampleCaptions().empty() && sample.SampleCaptions()[0].text == "first "; }));
    ASSERT_TRUE(WaitUntil([&] { return !sample.Animating(); }, 5000));
    const int before = rendered.count();
    QTest::qWait(2500);
    EXPECT_EQ(rendered.count(), before) << "nothing changed: nothing drawn";
    write("second");
    ASSERT_TRUE(WaitUntil([&] { return rendered.count() > before; }, 3000)) << "the file's new line is drawn";
    EXPECT_EQ(sample.SampleCaptions()[0].text, "second ");
}

TEST_F(CaptionEditorTest, DraggingShiftsTheViewUntilThePositionChanges)
{
    ThreeCaptions();
    CCaptionSampleView& sample = *editor.Sample();
    ASSERT_TRUE(WaitUntil([&] { return !sample.Animating(); }, 5000));
    const QPoint target = sample.ViewTarget();
    const QPoint from = sample.rect().center();
    QTest::mousePress(&sample, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(40, 0)),
                     sample.mapToGlobal(QPointF(from + QPoint(40, 0))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&sample, &move);
    QTest::mouseRelease(&sample, Qt::LeftButton, {}, from + QPoint(40, 0));
    EXPECT_EQ(sample.DragOffset(), QPoint(40, 0));
    EXPECT_EQ(sample.ViewPosition(), target - QPoint(40, 0)) << "the image shows 40 pixels further right";
    QTest::mousePress(&sample, Qt::LeftButton, {}, from);
    QTest::mouseRelease(&sample, Qt::LeftButton, {}, from + QPoint(0, 10));
    EXPECT_EQ(sample.DragOffset(), QPoint(40, 10)) << "a second drag adds to the first";
    // A new X brings the view back to its target, gliding.
    Type(editor.XEdit(), "300");
    EXPECT_EQ(sample.DragOffset(), QPoint());
    EXPECT_TRUE(sample.Animating());
    ASSERT_TRUE(WaitUntil([&] { return !sample.Animating(); }, 5000));
    EXPECT_EQ(sample.ViewPosition(), sample.ViewTarget());
    EXPECT_NE(sample.ViewTarget(), target);
}

TEST_F(CaptionEditorTest, ADarkCaptionReachingOutOfTheImageGetsALightHatch)
{
    ImageFrame source = FlatFrame(100, 50, 24, 255, 255, 255);
    engine.ProcessImage(source, nullptr);
    engine.WaitForCaptionJobs();
    std::vector<CCaptionData> captions(1);
    captions[0].text = "A long dark caption";
    captions[0].fontName = "DejaVu Sans";
    captions[0].fontSize = 20;
    captions[0].textColour = "10,10,10";
    captions[0].positionX = 60; // runs past the right edge
    engine.SetCaptions(captions);
    CCaptionSampleView& sample = *editor.Sample();
    page.RefreshPage();
    Type(editor.YEdit(), "5");
    // A render asked for before these captions may still arrive first: wait for this one.
    ASSERT_TRUE(WaitUntil([&] {
        return !sample.SampleCaptions().empty() && sample.SampleCaptions()[0].positionY == 5 &&
               sample.SampleCaptions()[0].text == "A long dark caption";
    }));
    EXPECT_EQ(sample.HatchForeground(), QColor(240, 240, 240));
    Type(editor.XEdit(), "2");
    Type(editor.TextEdit(), "in");
    ASSERT_TRUE(WaitUntil(
        [&] { return !sample.SampleCaptions().empty() && sample.SampleCaptions()[0].text == "in"; }));
    EXPECT_EQ(sample.HatchForeground(), QColor(32, 32, 32)) << "inside the image: the dark hatch";
    Type(editor.XEdit(), "90");
    editor.ApplyColourChoice(true, QColor(250, 250, 250));
    ASSERT_TRUE(WaitUntil([&] { return sample.SampleCaptions()[0].textColour == "250,250,250"; }));
    EXPECT_EQ(sample.HatchForeground(), QColor(32, 32, 32)) << "a light caption: always the dark hatch";
}
