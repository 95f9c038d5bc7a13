#include "CImagePreview.h"
#include "TestImages.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/PictureDragOut.h"
#include "Utils/Controls/CSimpleImage.h"
#include "WaitUntil.h"

#include <QAction>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

using Utils::Classes::CFloatWnd;

namespace {

class PreviewPageTest : public ::testing::Test
{
protected:
    CImagePreview page;

    void Show(const QSize& area = QSize(432, 242))
    {
        page.DisplayArea()->setFixedSize(area);
        page.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    }
    // The colour the page shows at a point of its display area.
    QColor ShownAt(int x, int y) const { return page.PictureControl()->Picture().Image().pixelColor(x, y); }
};

} // namespace

TEST_F(PreviewPageTest, NoImageUntilTheFirstCycleThenTheImageWithItsTime)
{
    Show();
    EXPECT_EQ(page.StatusText(), "No Image");
    EXPECT_FALSE(page.PictureShown());
    page.ShowPreviewImage(ImageFrame(), "10:00:00  10/12/2026");
    EXPECT_EQ(page.StatusText(), "No Image") << "an empty image never reaches the picture";
    page.ShowPreviewImage(FlatFrame(640, 480, 24, 10, 200, 30), "10:00:05  10/12/2026");
    EXPECT_EQ(page.StatusText(), "");
    EXPECT_TRUE(page.PictureShown());
    EXPECT_EQ(page.TimeText(), "10:00:05  10/12/2026");
}

TEST_F(PreviewPageTest, A640By480ImageIsShown323By242WithBlackBarsAndASmallOneScaledUp)
{
    Show();
    page.ShowPreviewImage(FlatFrame(640, 480, 24, 10, 200, 30), "t");
    EXPECT_EQ(page.DisplayFitRect(), QRect(54, 0, 323, 242));
    EXPECT_EQ(page.PictureControl()->size(), QSize(432, 242));
    EXPECT_EQ(ShownAt(200, 120), QColor(10, 200, 30));
    EXPECT_EQ(ShownAt(53, 120), QColor(Qt::black));
    EXPECT_EQ(ShownAt(54 + 323, 120), QColor(Qt::black));
    EXPECT_EQ(ShownAt(54, 0), QColor(10, 200, 30));
    page.ShowPreviewImage(FlatFrame(100, 100, 24, 250, 250, 0), "t");
    EXPECT_EQ(page.DisplayFitRect(), QRect(95, 0, 242, 242)) << "scaled up to the height";
    EXPECT_EQ(ShownAt(216, 241), QColor(250, 250, 0));
}

TEST_F(PreviewPageTest, ImagesArrivingWhileHiddenAreNotScaledAndTheNewestShowsOnce)
{
    page.DisplayArea()->setFixedSize(432, 242);
    for (int i = 0; i < 10; ++i)
        page.ShowPreviewImage(FlatFrame(3840, 2160, 24, i, 0, 0), QString::number(i));
    EXPECT_EQ(page.Rescales(), 0) << "nobody looks: no work";
    Show();
    EXPECT_EQ(page.Rescales(), 1);
    EXPECT_EQ(ShownAt(216, 121), QColor(9, 0, 0)) << "the newest";
    EXPECT_EQ(page.TimeText(), "9");
    page.hide();
    page.show();
    QTest::qWait(50);
    EXPECT_EQ(page.Rescales(), 1) << "shown again unchanged: nothing to do";
    page.DisplayArea()->setFixedSize(600, 300);
    EXPECT_TRUE(WaitUntil([&] { return page.Rescales() == 2; }, 2000)) << "a resize scales again";
    EXPECT_EQ(page.DisplayFitRect(), QRect(33, 0, 533, 300));
}

TEST_F(PreviewPageTest, AMinimisedWindowScalesNothingUntilItIsRestored)
{
    Show();
    page.ShowPreviewImage(FlatFrame(640, 480, 24, 1, 1, 1), "t");
    ASSERT_EQ(page.Rescales(), 1);
    page.showMinimized();
    ASSERT_FALSE(page.Seen());
    for (int i = 2; i < 6; ++i)
        page.ShowPreviewImage(FlatFrame(640, 480, 24, i, i, i), "t");
    QTest::qWait(50);
    EXPECT_EQ(page.Rescales(), 1) << "a minimised window is seen by nobody";
    page.showNormal();
    ASSERT_TRUE(WaitUntil([&] { return page.Rescales() == 2; }, 2000)) << "restored: the newest, once";
    EXPECT_EQ(ShownAt(216, 121), QColor(5, 5, 5));
}

TEST_F(PreviewPageTest, ThePageKeepsItsOwnImageWhateverTheControllerDoesToItsFrame)
{
    Show();
    ImageFrame frame = FlatFrame(64, 48, 24, 0, 0, 255);
    page.ShowPreviewImage(frame, "t");
    // The next cycle writes into the controller's frame: the page's image must not change.
    frame.Row(0)[0] = 255;
    frame.Row(0)[2] = 0;
    EXPECT_EQ(PixelAt(page.Image(), 0, 0).blue, 255);
    EXPECT_EQ(PixelAt(page.Image(), 0, 0).red, 0);
    frame.Empty();
    EXPECT_EQ(page.Image().Width(), 64);
}

TEST_F(PreviewPageTest, DetachedTheWindowShowsEachNewImageAndClosingItBringsTheImageBack)
{
    Show();
    page.ShowPreviewImage(FlatFrame(320, 240, 24, 0, 0, 200), "10:00:00  10/12/2026");
    page.DragOut()->DetachAction()->trigger();
    QPointer<CFloatWnd> window = page.FloatingWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->windowTitle(), "10:00:00  10/12/2026");
    EXPECT_EQ(window->size(), QSize(320, 240)) << "the image's own size where it fits";
    EXPECT_EQ(page.StatusText(), "Image Detached");
    EXPECT_FALSE(page.PictureShown());

    page.ShowPreviewImage(FlatFrame(320, 240, 24, 200, 0, 0), "10:00:05  10/12/2026");
    EXPECT_EQ(window->windowTitle(), "10:00:05  10/12/2026");
    const QImage shown = window->grab().toImage();
    EXPECT_EQ(shown.pixelColor(160, 120), QColor(200, 0, 0)) << "the window follows each cycle";
    EXPECT_EQ(page.StatusText(), "Image Detached");

    // A second Detach while detached brings the same window forward.
    page.DetachTo(QPoint(0, 0));
    EXPECT_EQ(page.FloatingWindow(), window.data());

    window->close();
    EXPECT_EQ(page.FloatingWindow(), nullptr);
    EXPECT_EQ(page.StatusText(), "");
    EXPECT_TRUE(page.PictureShown());
    EXPECT_EQ(ShownAt(216, 121), QColor(200, 0, 0)) << "the newest image, back on the page";
    EXPECT_TRUE(WaitUntil([&] { return window.isNull(); }, 2000)) << "the closed window is gone";
}

TEST(PreviewPage, NothingToDetachBeforeTheFirstImageAndTheWindowGoesWithThePage)
{
    QPointer<CFloatWnd> window;
    {
        CImagePreview page;
        page.show();
        page.DetachTo(QPoint(10, 10));
        EXPECT_EQ(page.FloatingWindow(), nullptr);
        page.ShowPreviewImage(FlatFrame(32, 32, 24, 1, 2, 3), "t");
        page.DetachTo(QPoint(10, 10));
        window = page.FloatingWindow();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->size(), QSize(50, 50)) << "never smaller than 50 by 50";
    }
    EXPECT_TRUE(window.isNull());
}
