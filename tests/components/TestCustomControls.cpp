#include "ImageFrame.h"
#include "TestImages.h"
#include "Utils/Classes/CWindowBackground.h"
#include "Utils/Controls/CButtonColourSwatch.h"
#include "Utils/Controls/CButtonSystem.h"
#include "Utils/Controls/CEditBrowseCtrlEx.h"
#include "Utils/Controls/CListBoxColour.h"
#include "Utils/Controls/CSimpleImage.h"
#include "Utils/Controls/CStaticColour.h"
#include "Utils/Controls/CUpDownControl.h"
#include "Utils/Controls/ClampEditInteger.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace Utils::Controls;

TEST(CButtonColourSwatch, SwatchIsInsetByAFifth)
{
    EXPECT_EQ(CButtonColourSwatch::SwatchRect(QSize(21, 14)), QRect(QPoint(4, 2), QPoint(16, 11)))
        << "(4, 2) to (17, 12), right and bottom exclusive";
    CButtonColourSwatch swatch;
    EXPECT_EQ(swatch.text(), " ");
    swatch.resize(50, 30);
    swatch.SetColour(QColor(255, 128, 0));
    const QImage shot = swatch.grab().toImage();
    EXPECT_EQ(shot.pixelColor(25, 15), QColor(255, 128, 0));
    EXPECT_NE(shot.pixelColor(3, 15), QColor(255, 128, 0));
}

TEST(CButtonSystem, GlyphsAndSize)
{
    CButtonSystem button(CButtonSystem::Glyph::Close);
    EXPECT_EQ(button.size(), QSize(16, 16));
    const QImage close = button.grab().toImage();
    button.SetGlyph(CButtonSystem::Glyph::Restore);
    EXPECT_EQ(button.CurrentGlyph(), CButtonSystem::Glyph::Restore);
    EXPECT_NE(button.grab().toImage(), close) << "another glyph draws differently";
}

TEST(CStaticColour, ColoursAndTransparency)
{
    CStaticColour label;
    label.resize(40, 20);
    label.SetBackgroundColour(QColor(10, 200, 30));
    label.SetTextColour(Qt::white);
    EXPECT_EQ(label.grab().toImage().pixelColor(1, 1), QColor(10, 200, 30));
    label.SetTransparent(true);
    EXPECT_FALSE(label.autoFillBackground());
}

TEST(CSimpleImage, PictureSizeExclusionAndEmptyPictures)
{
    QWidget parent;
    CSimpleImage image(&parent);
    const ImageFrame red = FlatFrame(30, 20, 24, 255, 0, 0);
    image.SetPicture(red, QRect(0, 0, 10, 10));
    EXPECT_EQ(image.size(), QSize(30, 20));
    // Rendered over a blue canvas without the widget's background: what the control does not
    // paint stays blue.
    QImage shot(image.size(), QImage::Format_RGB32);
    shot.fill(Qt::blue);
    image.render(&shot, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(shot.pixelColor(20, 15), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(0, 0, 255)) << "the excluded rectangle is not painted over";

    image.SetPicture(ImageFrame(), QRect());
    EXPECT_EQ(image.size(), QSize(30, 20)) << "an empty picture keeps the previous one";
    EXPECT_FALSE(image.Picture().IsEmpty());
    EXPECT_TRUE(image.ExcludedRect().isEmpty());
}

TEST(CSimpleImage, ClicksReachTheParentAtTheSamePlace)
{
    struct Parent : QWidget
    {
        QPoint clickedAt;
        void mousePressEvent(QMouseEvent* event) override { clickedAt = event->globalPosition().toPoint(); }
    } parent;
    parent.resize(200, 200);
    CSimpleImage image(&parent);
    image.move(50, 60);
    image.SetPicture(FlatFrame(40, 40, 24, 0, 0, 255));
    parent.show();
    QTest::mouseClick(&parent, Qt::LeftButton, {}, QPoint(55, 70));
    EXPECT_EQ(parent.clickedAt, parent.mapToGlobal(QPoint(55, 70)));
    EXPECT_EQ(parent.childAt(55, 70), nullptr) << "the picture does not take the click itself";
}

TEST(CEditBrowseCtrlEx, FilterAndStartPoint)
{
    EXPECT_EQ(CEditBrowseCtrlEx::QtFilter("Log Files (*.log)|*.log|All Files (*.*)|*.*||"),
              "Log Files (*.log);;All Files (*.*)");
    EXPECT_EQ(CEditBrowseCtrlEx::QtFilter("Images|*.jpg;*.png||"), "Images (*.jpg *.png)");
    EXPECT_EQ(CEditBrowseCtrlEx::QtFilter(""), "");
    const auto start = CEditBrowseCtrlEx::StartPointFor("/home/me/logs/pixlet.log");
    EXPECT_EQ(start.directory, "/home/me/logs");
    EXPECT_EQ(start.fileName, "pixlet.log");
    EXPECT_EQ(CEditBrowseCtrlEx::StartPointFor("C:\\logs\\a.log").fileName, "a.log");
    EXPECT_EQ(CEditBrowseCtrlEx::StartPointFor("bare.log").directory, "");
}

TEST(CListBoxColour, FieldsSplitFromTheRight)
{
    auto f = CListBoxColour::SplitLine("text|1,2,3|4,5,6");
    EXPECT_EQ(f.text, "text");
    EXPECT_EQ(f.textColour, "1,2,3");
    EXPECT_EQ(f.backgroundColour, "4,5,6");
    f = CListBoxColour::SplitLine("a|b|c||");
    EXPECT_EQ(f.text, "a|b|c");
    EXPECT_EQ(f.textColour, "");
    f = CListBoxColour::SplitLine("plain");
    EXPECT_EQ(f.text, "plain");
    EXPECT_EQ(f.backgroundColour, "");
}

TEST(CListBoxColour, ErrorLinesAreWhiteOnDarkRed)
{
    CListBoxColour list;
    list.resize(300, 100);
    list.Append("error|255,255,255|200,  0,  0");
    list.Append("information||");
    list.show();
    QCoreApplication::processEvents();
    const QImage shot = list.viewport()->grab().toImage();
    const int rowHeight = list.sizeHintForRow(0);
    EXPECT_EQ(shot.pixelColor(shot.width() - 5, rowHeight / 2), QColor(200, 0, 0));
    EXPECT_EQ(shot.pixelColor(shot.width() - 5, rowHeight + rowHeight / 2),
              list.palette().color(QPalette::Base));
}

TEST(ClampEditInteger, Rules)
{
    EXPECT_EQ(ClampedIntegerText("", 1, 100), std::nullopt);
    EXPECT_EQ(ClampedIntegerText("  ", 1, 100), std::nullopt);
    EXPECT_EQ(ClampedIntegerText("-", 1, 100), std::nullopt) << "the user is still typing";
    EXPECT_EQ(ClampedIntegerText("50", 1, 100), std::nullopt);
    EXPECT_EQ(ClampedIntegerText("500", 1, 100), QString("100"));
    EXPECT_EQ(ClampedIntegerText("0", 1, 100), QString("1"));
    EXPECT_EQ(ClampedIntegerText("007", 1, 100), QString("7"));
    EXPECT_EQ(ClampedIntegerText("12abc", 1, 100), QString("12"));
    EXPECT_EQ(ClampedIntegerText("abc", -5, 5), QString("0"));
    EXPECT_EQ(ClampedIntegerText("-7", -5, 5), QString("-5"));
    EXPECT_EQ(ClampedIntegerText("9", 10, 1), std::nullopt) << "reversed bounds are swapped";
}

TEST(ClampEditInteger, WritesBackKeepingTheCursor)
{
    QLineEdit edit;
    edit.setText("9999");
    edit.setCursorPosition(2);
    ClampEditInteger(&edit, 0, 300);
    EXPECT_EQ(edit.text(), "300");
    EXPECT_EQ(edit.cursorPosition(), 2);
    edit.setText("-");
    ClampEditInteger(&edit, 0, 300);
    EXPECT_EQ(edit.text(), "-");
}

TEST(ClampEditInteger, AnEmptiedFieldAppliesAsTheValueInForce)
{
    EXPECT_EQ(EditedInteger("42"), 42);
    EXPECT_EQ(EditedInteger(" -7 "), -7);
    EXPECT_EQ(EditedInteger("0"), 0) << "a 0 typed is a 0";
    EXPECT_EQ(EditedInteger("12abc"), 12);
    for (const char* none : {"", "   ", "-", "+", "abc", "- 5"})
        EXPECT_EQ(EditedInteger(none), std::nullopt) << '"' << none << '"';

    QLineEdit edit;
    int changes = 0;
    QObject::connect(&edit, &QLineEdit::textChanged, [&] { ++changes; });
    edit.setText("");
    changes = 0;
    EXPECT_EQ(ApplyEditInteger(&edit, 300), 300);
    EXPECT_EQ(edit.text(), "300") << "the value in force is shown again";
    EXPECT_EQ(changes, 0) << "showing it is no change by the user";
    edit.setText("-");
    EXPECT_EQ(ApplyEditInteger(&edit, 75), 75);
    EXPECT_EQ(edit.text(), "75");
    edit.setText("0");
    EXPECT_EQ(ApplyEditInteger(&edit, 75), 0);
    EXPECT_EQ(edit.text(), "0");
    edit.setText("150");
    EXPECT_EQ(ApplyEditInteger(&edit, 75), 150) << "bounds are the typing's business, not Apply's";
}

TEST(CUpDownControl, ArrowsAndKeysStepWithinTheRange)
{
    QWidget page;
    auto* edit = new QLineEdit(&page);
    auto* arrows = new CUpDownControl(edit, 0, 100, &page);
    int stepped = 0;
    QObject::connect(arrows, &CUpDownControl::Stepped, [&] { ++stepped; });
    ASSERT_NE(arrows->UpButton(), nullptr);
    ASSERT_NE(arrows->DownButton(), nullptr);
    EXPECT_EQ(arrows->UpButton()->arrowType(), Qt::UpArrow);
    EXPECT_EQ(arrows->DownButton()->arrowType(), Qt::DownArrow);

    edit->setText("75");
    QTest::mouseClick(arrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "76");
    QTest::mouseClick(arrows->DownButton(), Qt::LeftButton);
    QTest::mouseClick(arrows->DownButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "74");
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), "75");
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), "74");
    EXPECT_EQ(stepped, 5);

    edit->setText("100");
    QTest::mouseClick(arrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "100") << "the top of the range holds";
    edit->setText("0");
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), "0") << "and so does the bottom";
    edit->setText("150");
    QTest::mouseClick(arrows->DownButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "100") << "a number out of range steps back into it";
    edit->setText("");
    QTest::mouseClick(arrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "1") << "an empty field steps from the bottom";
}

TEST(CWindowBackground, KeepsTwoSizesAndEvictsTheOldest)
{
    QWidget target;
    target.setAutoFillBackground(true);
    Utils::Classes::CWindowBackground background(&target, 2);
    target.resize(100, 50);
    background.GetBackgroundBrush();
    target.resize(120, 60);
    background.GetBackgroundBrush();
    target.resize(100, 50);
    background.GetBackgroundBrush();
    target.resize(120, 60);
    background.GetBackgroundBrush();
    EXPECT_EQ(background.CaptureCount(), 2) << "two alternating sizes keep both brushes";
    target.resize(80, 40);
    background.GetBackgroundBrush();
    EXPECT_EQ(background.CachedCount(), 2);
    target.resize(100, 50);
    background.GetBackgroundBrush();
    EXPECT_EQ(background.CaptureCount(), 4) << "the third size evicted the older one";

    QWidget child(&target);
    child.move(7, 9);
    QImage canvas(10, 10, QImage::Format_RGB32);
    QPainter painter(&canvas);
    background.GetChildBackgroundBrush(&child, &painter);
    EXPECT_EQ(painter.brushOrigin(), QPoint(-7, -9));
}

TEST(CWindowBackground, TheBrushHoldsTheBackgroundWithoutTheChildren)
{
    QWidget target;
    QPalette palette = target.palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 255));
    target.setPalette(palette);
    target.setAutoFillBackground(true);
    target.resize(60, 40);
    auto* label = new QLabel(&target);
    label->setAutoFillBackground(true);
    QPalette red = label->palette();
    red.setColor(QPalette::Window, QColor(255, 0, 0));
    label->setPalette(red);
    label->setGeometry(10, 10, 30, 20);
    target.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(target.grab().toImage().pixelColor(20, 20), QColor(255, 0, 0)) << "the child is there";

    Utils::Classes::CWindowBackground background(&target);
    const QBrush brush = background.GetBackgroundBrush();
    const QImage texture = brush.texture().toImage();
    ASSERT_EQ(texture.size(), QSize(60, 40));
    for (QPoint at : {QPoint(20, 20), QPoint(2, 2), QPoint(55, 35)})
        EXPECT_EQ(texture.pixelColor(at), QColor(0, 0, 255)) << at.x() << "," << at.y();
}

TEST(CWindowBackground, ColourChangeDropsTheCache)
{
    QWidget target;
    target.resize(50, 50);
    Utils::Classes::CWindowBackground background(&target);
    background.GetBackgroundBrush();
    ASSERT_EQ(background.CachedCount(), 1);
    QPalette palette = QApplication::palette();
    const QPalette original = palette;
    palette.setColor(QPalette::Window, QColor(1, 2, 3));
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    EXPECT_EQ(background.CachedCount(), 0);
}

TEST(CUpDownControl, AReversedRangeMakesUpSmallerAndHorizontalArrowsStepLeftAndRight)
{
    QWidget page;
    // A position's Y: "up" moves a caption up the image, to a smaller Y.
    auto* y = new QLineEdit(&page);
    auto* yArrows = new CUpDownControl(y, 9999, -9999, &page);
    y->setText("10");
    QTest::mouseClick(yArrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(y->text(), "9");
    QTest::keyClick(y, Qt::Key_Down);
    QTest::keyClick(y, Qt::Key_Down);
    EXPECT_EQ(y->text(), "11");
    y->setText("-9999");
    QTest::mouseClick(yArrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(y->text(), "-9999") << "the range holds either way";
    y->clear();
    QTest::mouseClick(yArrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(y->text(), "9998") << "an empty edit steps from the lower end";

    auto* x = new QLineEdit(&page);
    auto* xArrows = new CUpDownControl(x, -9999, 9999, &page, CUpDownControl::Arrows::Horizontal);
    EXPECT_EQ(xArrows->UpButton()->arrowType(), Qt::RightArrow);
    EXPECT_EQ(xArrows->DownButton()->arrowType(), Qt::LeftArrow);
    x->setText("0");
    QTest::mouseClick(xArrows->UpButton(), Qt::LeftButton);
    EXPECT_EQ(x->text(), "1") << "right increases X";
    QTest::mouseClick(xArrows->DownButton(), Qt::LeftButton);
    QTest::mouseClick(xArrows->DownButton(), Qt::LeftButton);
    EXPECT_EQ(x->text(), "-1");
}
