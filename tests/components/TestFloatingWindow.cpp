#include "TestImages.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/FloatWndHolder.h"
#include "Utils/Classes/PictureDragOut.h"
#include "WaitUntil.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using Utils::Classes::CFloatWnd;
using Utils::Classes::PictureDragOut;

namespace {

QRect Available()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

} // namespace

TEST(FloatingWindowSize, ThePictureSizeWhenItFitsElseTheLargestOfItsAspectNeverBelowFifty)
{
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(640, 480), QSize(1000, 700)), QSize(640, 480));
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(4000, 2000), QSize(1000, 700)), QSize(1000, 500));
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(1000, 3000), QSize(1000, 700)), QSize(233, 700));
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(10, 8), QSize(1000, 700)), QSize(50, 50));
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(), QSize(1000, 700)), QSize(50, 50))
        << "no picture: the least size";
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(5000, 10), QSize(1000, 700)), QSize(1000, 50))
        << "a sliver is shrunk to the width, then held at the least height";
    EXPECT_EQ(CFloatWnd::ClientSizeFor(QSize(640, 480), QSize(0, -20)), QSize(50, 50));
}

TEST(FloatingWindow, OpensWithinTheAvailableAreaWhereverItIsDropped)
{
    const QRect available = Available();
    const QMargins frame(4, 24, 4, 4);
    CFloatWnd window;
    window.SetPicture(GradientFrame(available.width() * 2, available.height(), 24));
    window.PlaceAt(available.bottomRight() - QPoint(10, 10), frame);
    const QRect outer = QRect(window.pos(), window.size().grownBy(frame));
    EXPECT_TRUE(available.contains(outer)) << "a drop near the corner moves the window in";
    EXPECT_LE(window.width(), available.width() - 8);
    EXPECT_LE(window.height(), available.height() - 28);
    // The picture's aspect (2:1 of the area's) is kept.
    EXPECT_NEAR(double(window.width()) / window.height(), 2.0 * available.width() / available.height(), 0.02);

    CFloatWnd small;
    small.SetPicture(GradientFrame(200, 100, 24));
    small.PlaceAt(available.topLeft() + QPoint(30, 40), frame);
    EXPECT_EQ(small.size(), QSize(200, 100)) << "a picture that fits opens at its own size";
    EXPECT_EQ(small.pos(), available.topLeft() + QPoint(30, 40)) << "with its corner where it was dropped";
}

TEST(FloatingWindow, ShowsThePictureFittedWithBlackBarsAndRescalesOnlyWhenPaintedAtANewSize)
{
    CFloatWnd window;
    window.resize(300, 100);
    window.SetPicture(FlatFrame(100, 100, 24, 200, 40, 40));
    EXPECT_EQ(window.Rescales(), 0) << "nothing scaled before it is painted";
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage shown = window.grab().toImage();
    EXPECT_EQ(window.FitRect(), QRect(100, 0, 100, 100));
    EXPECT_EQ(shown.pixelColor(150, 50), QColor(200, 40, 40));
    EXPECT_EQ(shown.pixelColor(20, 50), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(280, 50), QColor(Qt::black));
    const int rescales = window.Rescales();
    EXPECT_GE(rescales, 1);
    window.resize(400, 100);
    window.grab();
    EXPECT_EQ(window.FitRect(), QRect(150, 0, 100, 100));
    EXPECT_EQ(window.Rescales(), rescales) << "a new size with the same picture size only moves it";
    window.resize(300, 200);
    window.grab();
    EXPECT_EQ(window.FitRect(), QRect(50, 0, 200, 200));
    EXPECT_EQ(window.Rescales(), rescales + 1);

    // A window that is not shown keeps the new pictures without scaling them, and shows the
    // newest when it is shown again.
    window.hide();
    const int before = window.Rescales();
    for (int i = 0; i < 5; ++i)
        window.SetPicture(FlatFrame(640, 480, 24, i, i, i));
    QTest::qWait(50);
    EXPECT_EQ(window.Rescales(), before);
    window.show();
    const QImage again = window.grab().toImage();
    EXPECT_EQ(window.Rescales(), before + 1);
    EXPECT_EQ(again.pixelColor(150, 100), QColor(4, 4, 4));
}

TEST(FloatingWindow, CannotBeMadeSmallerThanFiftyAndClosingItTellsTheOwnerButNotTheProgram)
{
    CFloatWnd window;
    window.show();
    window.resize(10, 20);
    EXPECT_EQ(window.size().expandedTo(QSize(50, 50)), window.size());
    EXPECT_FALSE(window.testAttribute(Qt::WA_QuitOnClose)) << "a tray program outlives its last window";
    QSignalSpy closed(&window, &CFloatWnd::Closed);
    window.close();
    EXPECT_EQ(closed.count(), 1);
}

TEST(PictureDrag, TheDraggedCopyIsTranslucentAndAtLeastFiftyPixels)
{
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(QColor(255, 0, 0));
    const QImage copy = PictureDragOut::DragPixmap(picture).toImage();
    EXPECT_EQ(copy.size(), QSize(50, 50));
    EXPECT_EQ(copy.pixelColor(25, 25).alpha(), PictureDragOut::DragAlpha);
    EXPECT_EQ(copy.pixelColor(25, 25).red(), 255) << "the picture in the middle";
    EXPECT_EQ(copy.pixelColor(2, 2).alpha(), PictureDragOut::DragAlpha) << "black around a small picture";
    EXPECT_LT(copy.pixelColor(2, 2).red(), 10);

    QImage large(300, 200, QImage::Format_RGB32);
    large.fill(QColor(0, 0, 255));
    const QImage largeCopy = PictureDragOut::DragPixmap(large).toImage();
    EXPECT_EQ(largeCopy.size(), QSize(300, 200));
    EXPECT_EQ(largeCopy.pixelColor(0, 0).alpha(), 176);
}

TEST(PictureDrag, ACopyFromAScaledScreenKeepsItsSizeAndIsNotCutIntoACorner)
{
    QImage picture(80, 40, QImage::Format_RGB32); // 40 x 20 of the widget's, at twice its pixels
    picture.setDevicePixelRatio(2.0);
    picture.fill(QColor(0, 255, 0));
    const QPixmap copy = PictureDragOut::DragPixmap(picture);
    EXPECT_EQ(copy.deviceIndependentSize().toSize(), QSize(50, 50));
    EXPECT_EQ(copy.devicePixelRatio(), 2.0);
    const QImage pixels = copy.toImage();
    EXPECT_EQ(pixels.size(), QSize(100, 100));
    // The picture lies in the middle: 40 x 20 at (5, 15) of the copy, in widget units.
    EXPECT_EQ(pixels.pixelColor(2 * 25, 2 * 25).green(), 255);
    EXPECT_EQ(pixels.pixelColor(2 * 6, 2 * 16).green(), 255);
    EXPECT_EQ(pixels.pixelColor(2 * 44, 2 * 34).green(), 255);
    EXPECT_EQ(pixels.pixelColor(2 * 2, 2 * 25).green(), 0) << "black beside it";
}

TEST(FloatingWindowHolder, OneWindowAtATimeClosedOnceAndALateWordFromAnOldOneIgnored)
{
    QWidget owner;
    owner.show();
    Utils::Classes::FloatWndHolder holder;
    QSignalSpy closed(&holder, &Utils::Classes::FloatWndHolder::Closed);
    auto first = std::make_unique<CFloatWnd>();
    QPointer<CFloatWnd> a = first.get();
    holder.Open(std::move(first), QPoint(10, 10), owner);
    EXPECT_EQ(holder.Window(), a.data());
    EXPECT_TRUE(a->isVisible());
    auto second = std::make_unique<CFloatWnd>();
    QPointer<CFloatWnd> ignored = second.get();
    holder.Open(std::move(second), QPoint(20, 20), owner);
    EXPECT_EQ(holder.Window(), a.data()) << "the open one stays";
    EXPECT_TRUE(ignored.isNull()) << "the new one is dropped";

    a->showMinimized();
    holder.BringForward();
    EXPECT_FALSE(a->isMinimized());

    a->close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(holder.Window(), nullptr);
    ASSERT_FALSE(a.isNull()) << "gone only once its close is over";
    auto third = std::make_unique<CFloatWnd>();
    CFloatWnd* b = third.get();
    holder.Open(std::move(third), QPoint(10, 10), owner);
    emit a->Closed();
    EXPECT_EQ(holder.Window(), b) << "the old window's late word does not drop the new one";
    EXPECT_EQ(closed.count(), 1);
    EXPECT_TRUE(WaitUntil([&] { return a.isNull(); }, 2000));
    holder.Close();
    EXPECT_EQ(holder.Window(), nullptr);
    EXPECT_EQ(closed.count(), 2);
}

class PictureDragTest : public ::testing::Test
{
protected:
    QWidget area;
    QRect picture{20, 10, 100, 80};
    PictureDragOut* drag = new PictureDragOut(&area, [this] { return picture; });

    void SetUp() override
    {
        area.resize(200, 120);
        area.move(Available().topLeft() + QPoint(100, 100));
        area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    }
};

TEST_F(PictureDragTest, ADropOnOneOfPixletsWindowsOpensNothingADropElsewhereOpensAtTheCopysCorner)
{
    const QPoint inside = area.mapToGlobal(QPoint(50, 50));
    EXPECT_FALSE(drag->DropPlace(inside, QPoint(30, 40)).has_value());
    const QPoint outside = area.mapToGlobal(QPoint(400, 300));
    ASSERT_EQ(QGuiApplication::topLevelAt(outside), nullptr);
    EXPECT_EQ(drag->DropPlace(outside, QPoint(30, 40)), outside - QPoint(30, 40));
    // Where the pointer's place is not told (Wayland): the default place, whatever the point.
    drag->SetPointerKnown(false);
    EXPECT_EQ(drag->DropPlace(inside, QPoint(30, 40)), drag->DefaultPlace());
    EXPECT_EQ(drag->DefaultPlace(), area.mapToGlobal(picture.topLeft()) + QPoint(40, 40));
}

TEST_F(PictureDragTest, DetachFromTheMenuAsksForTheDefaultPlaceAndTheMenuIsOnlyOverThePicture)
{
    QSignalSpy detach(drag, &PictureDragOut::DetachRequested);
    ASSERT_NE(drag->Menu(), nullptr);
    ASSERT_TRUE(drag->Menu()->actions().contains(drag->DetachAction()));
    EXPECT_EQ(drag->DetachAction()->text(), "Detach");
    drag->DetachAction()->trigger();
    ASSERT_EQ(detach.count(), 1);
    EXPECT_EQ(detach[0][0].toPoint(), drag->DefaultPlace());

    QContextMenuEvent off(QContextMenuEvent::Mouse, QPoint(5, 5), area.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&area, &off);
    EXPECT_FALSE(drag->Menu()->isVisible());
    QContextMenuEvent on(QContextMenuEvent::Mouse, QPoint(50, 50), area.mapToGlobal(QPoint(50, 50)));
    QCoreApplication::sendEvent(&area, &on);
    EXPECT_TRUE(drag->Menu()->isVisible());
    drag->Menu()->hide();
}

TEST_F(PictureDragTest, TheHoverCueIsTheOpenHandOverThePictureOnly)
{
    QTest::mouseMove(&area, QPoint(50, 50));
    EXPECT_EQ(area.cursor().shape(), Qt::OpenHandCursor);
    QTest::mouseMove(&area, QPoint(190, 110));
    EXPECT_EQ(area.cursor().shape(), Qt::ArrowCursor);
    picture = QRect();
    QTest::mouseMove(&area, QPoint(50, 50));
    EXPECT_EQ(area.cursor().shape(), Qt::ArrowCursor) << "nothing to drag: no cue";
}

TEST_F(PictureDragTest, AShortMoveOrAPressBesideThePictureStartsNoDrag)
{
    QSignalSpy started(drag, &PictureDragOut::DragStarted);
    QTest::mousePress(&area, Qt::LeftButton, {}, QPoint(50, 50));
    QMouseEvent small(QEvent::MouseMove, QPointF(51, 50), area.mapToGlobal(QPointF(51, 50)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&area, &small);
    QTest::mouseRelease(&area, Qt::LeftButton, {}, QPoint(51, 50));
    QTest::mousePress(&area, Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent far(QEvent::MouseMove, QPointF(60, 60), area.mapToGlobal(QPointF(60, 60)), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&area, &far);
    QTest::mouseRelease(&area, Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_EQ(started.count(), 0);
}
