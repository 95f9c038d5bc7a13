#include "Clock.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "ImageOperations.h"
#include "LogRecorder.h"
#include "SourceOwner.h"
#include "TestImages.h"
#include "Utils/Classes/PictureDragOut.h"
#include "Utils/Controls/CSimpleImage.h"
#include "WaitUntil.h"
#include "pages/CSourceFile.h"
#include "pages/CSourceFileFloatingWindow.h"
#include "pages/CSourceMain.h"
#include "pages/CropMouseEditor.h"
#include "sources/CropEditing.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void Move(QWidget* widget, const QPoint& at, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

// Presses at one point, moves in steps to another with the button held, releases.
void Drag(QWidget* widget, const QPoint& from, const QPoint& to)
{
    Move(widget, from, Qt::NoButton);
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step)
        Move(widget, from + (to - from) * step / 4, Qt::LeftButton);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to);
}

CropSettings Crop(const QRect& rect)
{
    CropSettings crop;
    crop.enabled = true;
    crop.crop = rect;
    return crop;
}

class CropOnPageTest : public ::testing::Test
{
protected:
    QTemporaryDir watched;
    SourceOwner owner;
    LogRecorder log;
    std::unique_ptr<SourceEngine> engine;
    std::unique_ptr<CSourceMain> page;

    void SetUp() override
    {
        engine = std::make_unique<SourceEngine>(SystemClock(), watched.path() + "/");
        engine->SetOwner(&owner);
        page = std::make_unique<CSourceMain>(*engine);
        engine->LoadSettings({"SourceType = 0", "SourceFileCollectDirectory = " + watched.path(),
                              "SourceCrop = Yes", "SourceCropOriginX = 80", "SourceCropOriginY = 60",
                              "SourceCropWidth = 160", "SourceCropHeight = 120"});
        page->resize(900, 700);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
        QByteArray bytes;
        ASSERT_EQ(EncodeImageToStream(GradientFrame(320, 240, 24), bytes, ImageFormat::Jpeg, 80), 0);
        QFile file(watched.filePath("photo.jpg"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        ASSERT_TRUE(WaitUntil([&] { return !File().ThumbnailImage()->isHidden() && !Engine().Busy(); }));
    }
    void TearDown() override { page.reset(); }
    CSourceFile& File() { return *page->FilePage(); }
    FileSourceEngine& Engine() { return *engine->FileSource(); }
    QString Field(CSourceMain::Edit edit) { return page->EditAt(edit)->text(); }
    // Where an image point shows on the thumbnail, in the area's coordinates.
    QPoint OnThumbnail(const QPoint& image)
    {
        const QWidget* area = File().ThumbnailArea();
        const QRect thumb = File().ThumbnailImage()->geometry();
        const double scale = std::min(double(thumb.width()) / 320, double(thumb.height()) / 240);
        const QPoint origin = thumb.topLeft() + QPoint(int((thumb.width() - 320 * scale) / 2),
                                                       int((thumb.height() - 240 * scale) / 2));
        Q_UNUSED(area)
        return origin + QPoint(int(std::lround(image.x() * scale)), int(std::lround(image.y() * scale)));
    }
};

} // namespace

TEST_F(CropOnPageTest, TheThumbnailFillsThePageAndTakesTheImagesAspect)
{
    const QSize area = File().ThumbnailArea()->size();
    EXPECT_GT(area.width(), 400) << "most of a 900-pixel-wide page";
    EXPECT_EQ(Engine().Thumbnail().Width(), area.width()) << "drawn for the size it is shown at";
    page->resize(1100, 800);
    ASSERT_TRUE(WaitUntil([&] { return Engine().Thumbnail().Width() == File().ThumbnailArea()->width(); }));
    EXPECT_GT(File().ThumbnailArea()->width(), area.width()) << "it grows with the window";
}

TEST_F(CropOnPageTest, DraggingTheRightEdgeWritesTheFieldsAndEnablesApplyWithoutADragOut)
{
    QSignalSpy changed(page.get(), &CSourceMain::Changed);
    QSignalSpy dragOut(File().DragOut(), &Utils::Classes::PictureDragOut::DragStarted);
    QWidget* area = File().ThumbnailArea();
    const QPoint rightEdge = OnThumbnail(QPoint(240, 120));
    Move(area, rightEdge, Qt::NoButton);
    EXPECT_EQ(File().CropEditor()->Flags(), CropEditing::Right);
    EXPECT_EQ(area->cursor().shape(), Qt::SizeHorCursor);
    Drag(area, rightEdge, OnThumbnail(QPoint(300, 120)));
    EXPECT_EQ(dragOut.count(), 0) << "a crop drag is never a drag-out";
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(Field(CSourceMain::OriginX), "80");
    EXPECT_NEAR(Field(CSourceMain::CropWidth).toInt(), 220, 2) << "right edge at about x 300";
    EXPECT_EQ(Field(CSourceMain::CropHeight), "120");
    EXPECT_EQ(engine->LiveCrop().crop.width(), Field(CSourceMain::CropWidth).toInt()) << "live before Apply";
    EXPECT_EQ(engine->Settings().cropWidth, 160) << "not in force before Apply";
    page->ApplySourceSettings();
    EXPECT_EQ(engine->Settings().cropWidth, Field(CSourceMain::CropWidth).toInt());

    // A move: the inside dragged by (-40, -30) image pixels keeps the size.
    const int width = engine->Settings().cropWidth;
    Drag(area, OnThumbnail(QPoint(150, 120)), OnThumbnail(QPoint(110, 90)));
    EXPECT_NEAR(Field(CSourceMain::OriginX).toInt(), 40, 2);
    EXPECT_NEAR(Field(CSourceMain::OriginY).toInt(), 30, 2);
    EXPECT_EQ(Field(CSourceMain::CropWidth).toInt(), width);
    // Dragged far off the picture, the corner stops at the image's edge.
    Drag(area, OnThumbnail(QPoint(60, 120)), OnThumbnail(QPoint(-400, 120)));
    EXPECT_EQ(Field(CSourceMain::OriginX), "0");
}

TEST_F(CropOnPageTest, ADragWhoseReleaseWentElsewhereEndsAndAHeldButtonFromOffTheCropIsNotADrag)
{
    QWidget* area = File().ThumbnailArea();
    const QPoint rightEdge = OnThumbnail(QPoint(240, 120));
    Move(area, rightEdge, Qt::NoButton);
    QTest::mousePress(area, Qt::LeftButton, {}, rightEdge);
    ASSERT_TRUE(File().CropEditor()->Dragging());
    // The picture is hidden and shown again: its release never comes.
    area->hide();
    area->show();
    EXPECT_FALSE(File().CropEditor()->Dragging());
    Move(area, OnThumbnail(QPoint(300, 120)), Qt::NoButton);
    EXPECT_EQ(Field(CSourceMain::CropWidth), "160") << "a move without the button never drags";
    // Pressed beside the crop (where a drag-out begins), then over the crop's edge.
    Move(area, OnThumbnail(QPoint(20, 20)), Qt::NoButton);
    QTest::mousePress(area, Qt::LeftButton, {}, OnThumbnail(QPoint(20, 20)));
    EXPECT_FALSE(File().CropEditor()->Dragging());
    Move(area, OnThumbnail(QPoint(2, 120)), Qt::LeftButton);
    Move(area, OnThumbnail(QPoint(80, 120)), Qt::LeftButton);
    EXPECT_EQ(File().CropEditor()->Flags(), 0) << "not taken over by the crop";
    QTest::mouseRelease(area, Qt::LeftButton, {}, OnThumbnail(QPoint(80, 120)));
    EXPECT_EQ(Field(CSourceMain::OriginX), "80");
}

TEST_F(CropOnPageTest, TheFileWindowGoesWhenAnotherSourceIsChosenAndNoThumbnailIsDrawnMeanwhile)
{
    File().DragOut()->DetachAction()->trigger();
    QPointer<CSourceFileFloatingWindow> window = File().FloatingWindow();
    ASSERT_TRUE(window);
    // Detached, the page shows a message: its thumbnail is not drawn while the crop moves.
    const qint64 thumbnail = Engine().Thumbnail().Image().cacheKey();
    Drag(window.data(), QPoint(80, 100), QPoint(60, 100));
    EXPECT_EQ(Field(CSourceMain::OriginX), "60");
    EXPECT_EQ(Engine().Thumbnail().Image().cacheKey(), thumbnail);
    page->VideoDeviceButton()->click();
    EXPECT_EQ(File().FloatingWindow(), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return window.isNull(); }, 2000));
}

TEST_F(CropOnPageTest, WithCropOffTheMouseEditsNothingAndTheDragOutIsTheThumbnailsOwn)
{
    page->CropCheck()->click();
    QWidget* area = File().ThumbnailArea();
    Move(area, OnThumbnail(QPoint(240, 120)), Qt::NoButton);
    EXPECT_EQ(File().CropEditor()->Flags(), CropEditing::None);
    EXPECT_EQ(area->cursor().shape(), Qt::OpenHandCursor) << "the drag-out's cue";
}

TEST_F(CropOnPageTest, TheDetachedFileWindowDrawsTheCropAndEditsIt)
{
    File().DragOut()->DetachAction()->trigger();
    QPointer<CSourceFileFloatingWindow> window = File().FloatingWindow();
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.data()));
    EXPECT_EQ(window->size(), QSize(320, 240));
    window->grab();
    EXPECT_EQ(window->FullRebuilds(), 1);
    // The window at the image's own size: image and window pixels are one.
    Drag(window.data(), QPoint(80, 100), QPoint(20, 100));
    EXPECT_EQ(Field(CSourceMain::OriginX), "20");
    EXPECT_EQ(Field(CSourceMain::CropWidth), "220");
    window->grab();
    EXPECT_EQ(window->FullRebuilds(), 1) << "the crop moved: only bands drawn again";
    EXPECT_GT(window->BandRedraws(), 0);
}

namespace {
// The window's picture and composite drawn whole for one crop.
QImage DrawnWhole(const ImageFrame& frame, const QRect& crop, ImageFrame& composite)
{
    CSourceFileFloatingWindow whole;
    whole.resize(520, 300);
    whole.ShowFrame(frame, Crop(crop));
    whole.show();
    const QImage drawn = whole.grab().toImage();
    CopyImage(whole.Composite(), composite);
    return drawn;
}
} // namespace

TEST(FileWindowBands, ACropMovedByBandsLooksExactlyLikeOneDrawnWhole)
{
    const ImageFrame frame = GradientFrame(400, 300, 24);
    // Wider than the picture: black bars left and right, where a crop reaching out of the image
    // shows its hatched overhang.
    CSourceFileFloatingWindow moved;
    moved.resize(520, 300);
    moved.ShowFrame(frame, Crop(QRect(50, 40, 200, 150)));
    moved.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&moved));
    moved.grab();
    // Small steps (the old outline falls inside the new rectangle), a jump, one reaching past
    // the image into the letterbox, and one of no width.
    for (const QRect& step : {QRect(60, 45, 200, 150), QRect(58, 47, 190, 140), QRect(10, 5, 380, 100),
                              QRect(300, 200, 150, 150), QRect(-40, 20, 100, 100), QRect(120, 100, 0, 50)}) {
        moved.ShowFrame(frame, Crop(step));
        const QImage banded = moved.grab().toImage();
        ImageFrame composite;
        const QImage drawn = DrawnWhole(frame, step, composite);
        EXPECT_EQ(moved.Composite().Image(), composite.Image())
            << "crop " << step.x() << "," << step.y() << " " << step.width() << "x" << step.height();
        EXPECT_EQ(banded, drawn) << "the overhang beyond the image is hatched the same way too";
    }
    EXPECT_EQ(moved.FullRebuilds(), 1);
}
