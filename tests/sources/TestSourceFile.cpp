#include "Clock.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "SourceOwner.h"
#include "TestImages.h"
#include "Utils/Classes/CFloatWnd.h"
#include "Utils/Classes/PictureDragOut.h"
#include "Utils/Controls/CSimpleImage.h"
#include "Utils/Controls/CStaticColour.h"
#include "pages/CSourceFile.h"
#include "pages/CSourceFileFloatingWindow.h"
#include "pages/CSourceMain.h"
#include "sources/FileSourceEngine.h"
#include "sources/SourceEngine.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "WaitUntil.h"

#include <gtest/gtest.h>

using Utils::Classes::CFloatWnd;

namespace {
QByteArray JpegBytes(int width, int height)
{
    QByteArray bytes;
    EncodeImageToStream(GradientFrame(width, height, 24), bytes, ImageFormat::Jpeg, 80);
    return bytes;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void Shell(const QString& command)
{
    ASSERT_EQ(QProcess::execute("sh", {"-c", command}), 0) << command.toStdString();
}

class FileSourcePageTest : public ::testing::Test
{
protected:
    QTemporaryDir watched, staging;
    ManualClock manualClock;
    SourceOwner owner;
    LogRecorder log;
    std::unique_ptr<SourceEngine> engine;
    std::unique_ptr<CSourceMain> page;

    // The real clock unless a test wants the collection time fixed.
    void Make(QStringList settings = {}, const Clock& clock = SystemClock())
    {
        settings.prepend("SourceFileCollectDirectory = " + watched.path());
        settings.prepend("SourceType = 0");
        engine = std::make_unique<SourceEngine>(clock, watched.path() + "/");
        engine->SetOwner(&owner);
        page = std::make_unique<CSourceMain>(*engine);
        engine->LoadSettings(settings);
    }
    void TearDown() override { page.reset(); }
    CSourceFile& File() { return *page->FilePage(); }
    FileSourceEngine& Engine() { return *engine->FileSource(); }
    QString In(const QString& name) const { return watched.filePath(name); }
    // Waits for the log line and lets whatever it caused settle.
    bool Logged(const QString& text, int timeoutMs = 10000)
    {
        return WaitUntil([&] { return log.Starting(text).size() > 0 && !Engine().Busy(); }, timeoutMs);
    }
};
} // namespace

TEST_F(FileSourcePageTest, ADroppedJpegIsShownLoggedAndDeliveredCroppedOnce)
{
    Make({"SourceCrop = Yes", "SourceCropOriginX = 10", "SourceCropOriginY = 10", "SourceCropWidth = 100",
          "SourceCropHeight = 80", "SourceResize = Yes", "SourceResizeWidth = 50", "SourceResizeHeight = 40"},
         manualClock);
    EXPECT_EQ(File().MessageArea()->text(), "No Image Loaded");
    page->show();
    WriteFile(staging.filePath("photo.jpg"), JpegBytes(320, 240));
    Shell("cp " + staging.filePath("photo.jpg") + " " + watched.path());
    ASSERT_TRUE(Logged("Loaded file photo.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return owner.available == 1; }));
    EXPECT_EQ(log.entries.back().category, 0);
    EXPECT_FALSE(File().ThumbnailImage()->isHidden());
    EXPECT_TRUE(File().MessageArea()->isHidden());
    EXPECT_EQ(File().FileNameLabel()->text(), "photo.jpg");
    EXPECT_EQ(File().DetailsLabel()->text(), "at 07:05:09     Size: 320 x 240 px");
    EXPECT_EQ(Engine().Thumbnail().Width(), File().ThumbnailImage()->Picture().Width());
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: File - Image Available");
    EXPECT_EQ(Engine().CurrentFrame().BitsPerPixel(), 24);
    page->hide();

    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 1; }));
    ASSERT_TRUE(owner.answers[0]);
    EXPECT_EQ(owner.answers[0]->Width(), 50);
    EXPECT_EQ(owner.answers[0]->Height(), 40);
    EXPECT_EQ(engine->GetSourceStatusText(), "Source: File - No Image Available");
    engine->RequestImage(&owner, false);
    ASSERT_TRUE(WaitUntil([&] { return owner.answers.size() == 2; }));
    EXPECT_EQ(owner.answers[1], nullptr) << "taken once; nothing new since";
}

TEST_F(FileSourcePageTest, AHiddenPageDrawsItsThumbnailWhenShown)
{
    Make();
    WriteFile(In("a.jpg"), JpegBytes(64, 48));
    ASSERT_TRUE(Logged("Loaded file a.jpg"));
    EXPECT_TRUE(Engine().Thumbnail().IsEmpty()) << "not drawn for nobody";
    EXPECT_EQ(File().FileNameLabel()->text(), "a.jpg");
    page->show();
    EXPECT_FALSE(Engine().Thumbnail().IsEmpty());
    EXPECT_EQ(File().ThumbnailImage()->Picture().Width(), Engine().Thumbnail().Width());
}

TEST_F(FileSourcePageTest, TheLatestFileDetachedIntoItsOwnWindowFollowsNewFilesAndComesBack)
{
    Make();
    page->show();
    // Nothing collected yet: nothing to detach.
    File().DragOut()->DetachAction()->trigger();
    EXPECT_EQ(File().FloatingWindow(), nullptr);
    WriteFile(In("a.jpg"), JpegBytes(320, 240));
    ASSERT_TRUE(Logged("Loaded file a.jpg"));
    File().DragOut()->DetachAction()->trigger();
    QPointer<CSourceFileFloatingWindow> window = File().FloatingWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->windowTitle(), "a.jpg at " + Engine().CollectedAtText());
    EXPECT_FALSE(Engine().CollectedAtText().isEmpty());
    EXPECT_EQ(window->size(), QSize(320, 240)) << "the file at its own size";
    EXPECT_EQ(File().MessageArea()->text(), "Image Detached");
    EXPECT_TRUE(File().ThumbnailImage()->isHidden());

    log.entries.clear();
    WriteFile(In("b.jpg"), JpegBytes(160, 120));
    ASSERT_TRUE(Logged("Loaded file b.jpg"));
    ASSERT_TRUE(WaitUntil([&] { return window->windowTitle().startsWith("b.jpg at "); }));
    EXPECT_EQ(window->Picture().Width(), 160);
    EXPECT_EQ(File().MessageArea()->text(), "Image Detached");

    window->close();
    EXPECT_EQ(File().FloatingWindow(), nullptr);
    EXPECT_TRUE(File().MessageArea()->isHidden());
    EXPECT_FALSE(File().ThumbnailImage()->isHidden()) << "the thumbnail is back";
    EXPECT_TRUE(WaitUntil([&] { return window.isNull(); }, 2000));

    // A reset source leaves its window nothing to show: the window closes.
    File().DragOut()->DetachAction()->trigger();
    window = File().FloatingWindow();
    ASSERT_TRUE(window);
    Engine().ResetCollection();
    Engine().RefreshFileDisplay();
    EXPECT_EQ(File().FloatingWindow(), nullptr);
    EXPECT_EQ(File().MessageArea()->text(), "No Image Loaded");
    EXPECT_TRUE(WaitUntil([&] { return window.isNull(); }, 2000));
}
