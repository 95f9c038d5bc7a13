#include "GatedClock.h"
#include "ImageOperations.h"
#include "LogRecorder.h"
#include "ManualClock.h"
#include "NamedMessages.h"
#include "TestImages.h"
#include "captions/CaptionEngine.h"
#include "captions/CaptionRenderer.h"
#include "captions/CaptionSampleRenderer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using namespace CaptionRenderer;

namespace {
struct Bounds
{
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
    bool Empty() const { return count == 0; }
};

// Where pixels differ from the background colour (or match `only` when given).
Bounds Find(const ImageFrame& frame, const std::function<bool(const Rgb&)>& wanted)
{
    Bounds b;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x)
            if (wanted(PixelAt(frame, x, y))) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
                ++b.count;
            }
    return b;
}

bool Dark(const Rgb& p)
{
    return p.red < 128 && p.green < 128 && p.blue < 128;
}

CCaptionData Text(const QString& text, int x, int y, int justify = 0)
{
    CCaptionData c;
    c.text = text;
    c.positionX = x;
    c.positionY = y;
    c.justify = justify;
    c.fontName = "DejaVu Sans";
    c.fontSize = 24;
    return c;
}

ImageFrame Draw(const std::vector<CCaptionData>& captions, int width = 640, int height = 100)
{
    static ManualClock clock;
    ImageFrame frame = FlatFrame(width, height, 24, 255, 255, 255);
    DrawCaptions(frame, captions, clock);
    return frame;
}

struct FileLineTest : ::testing::Test
{
    QTemporaryDir dir;
    QString Write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }
};
} // namespace

TEST(CaptionText, TimeTokensFromTheClock)
{
    ManualClock clock(QDateTime(QDate(2026, 1, 2), QTime(14, 5, 0), Qt::UTC));
    EXPECT_EQ(ExpandCaptionText("Time <HH>:<MM>", clock), "Time 14:05");
}

TEST_F(FileLineTest, LineNumbers)
{
    const QString path = Write("lines.txt", "alpha\nbeta\r\ngamma\n");
    EXPECT_EQ(ExpandFileLineToken("[<FILELINE=" + path + "|2>]"), "[beta]");
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + path + "|0>"), "alpha");
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + path + "|1>"), "alpha");
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + path + ">"), "alpha");
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + path + "|-4>"), "alpha");
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + path + "|3>"), "gamma");
    EXPECT_EQ(ExpandFileLineToken("x<FILELINE=" + path + "|9>y"), "xy");
}

TEST_F(FileLineTest, OnlyTheFirstTokenIsResolved)
{
    const QString path = Write("lines.txt", "alpha\nbeta\ngamma");
    const QString token = "<FILELINE=" + path + "|2>";
    EXPECT_EQ(ExpandFileLineToken(token + " " + token), "beta beta");
    const QString other = "<FILELINE=" + path + "|3>";
    EXPECT_EQ(ExpandFileLineToken(token + " " + other), "beta " + other);
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + path + "|2"), "<FILELINE=" + path + "|2")
        << "no closing bracket";
}

TEST_F(FileLineTest, SizeLimitAndMissingFiles)
{
    const QString exact = Write("exact.txt", "first\n" + QByteArray(1024 - 6, 'x'));
    const QString over = Write("over.txt", "first\n" + QByteArray(1025 - 6, 'x'));
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + exact + ">"), "first");
    EXPECT_EQ(ExpandFileLineToken("<FILELINE=" + over + ">"), "<FILELINE=" + over + ">");
    EXPECT_EQ(ExpandFileLineToken("[<FILELINE=" + dir.filePath("missing.txt") + ">]"), "[]");
    EXPECT_EQ(ExpandFileLineToken("[<FILELINE=" + dir.path() + ">]"), "[]") << "a directory reads as nothing";
}

TEST_F(FileLineTest, BytesAreCharactersAndLinesAreNotExpandedAgain)
{
    const QString path = Write("latin.txt", "caf\xE9 <HH>\n");
    ManualClock clock;
    EXPECT_EQ(ExpandCaptionText("<FILELINE=" + path + ">", clock), QString::fromUtf8("café <HH>"));
}

TEST_F(FileLineTest, FileRewrittenWhileWorkersReadIt)
{
    const QString lineA = QString(200, 'A'), lineB = QString(200, 'B');
    const QString path = Write("live.txt", ("head\n" + lineA + "\n").toLatin1());
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                continue;
            file.write(("head\n" + (i % 2 ? lineA : lineB) + "\n").toLatin1());
        }
    });
    std::vector<std::thread> readers;
    std::atomic<int> torn{0}, reads{0};
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            QElapsedTimer timer;
            timer.start();
            while (timer.elapsed() < 400) {
                const QString line = ExpandFileLineToken("<FILELINE=" + path + "|2>");
                ++reads;
                if (line != lineA && line != lineB && !line.isEmpty())
                    ++torn;
            }
        });
    for (auto& reader : readers)
        reader.join();
    stop = true;
    writer.join();
    EXPECT_GT(reads, 10);
    EXPECT_EQ(torn, 0) << "a line made of two versions of the file";
}

TEST(CaptionDrawing, JustificationAroundX)
{
    const Bounds centred = Find(Draw({Text("Centred caption", 320, 20, 1)}), Dark);
    ASSERT_FALSE(centred.Empty());
    EXPECT_NEAR((centred.left + centred.right) / 2.0, 320, 3);
    const Bounds right = Find(Draw({Text("Right end", 630, 20, 2)}), Dark);
    EXPECT_NEAR(right.right, 629, 3) << "the right end is 10 pixels from the edge";
    EXPECT_LE(right.right, 630);
    const Bounds left = Find(Draw({Text("Left", 100, 20, 0)}), Dark);
    EXPECT_NEAR(left.left, 101, 3);
    const Bounds odd = Find(Draw({Text("Left", 100, 20, 7)}), Dark);
    EXPECT_EQ(odd.left, left.left) << "any other justification is left";
    EXPECT_NEAR(left.top, 20 + 5, 6) << "the top of the text is at y";
}

TEST(CaptionDrawing, BoxOnlyWithBackgroundAlpha)
{
    auto red = [](const Rgb& p) { return p.red > 200 && p.green < 60 && p.blue < 60; };
    CCaptionData caption = Text("Boxed text", 50, 30);
    caption.backgroundColour = "255,0,0";
    EXPECT_TRUE(Find(Draw({caption}), red).Empty()) << "alpha 0: no box";

    caption.backgroundAlpha = 255;
    const ImageFrame boxed = Draw({caption});
    const Bounds box =
        Find(boxed, [](const Rgb& p) { return !(p.red == 255 && p.green == 255 && p.blue == 255); });
    const Bounds text = Find(boxed, Dark);
    QFont font("DejaVu Sans");
    font.setPixelSize(24);
    const QFontMetricsF metrics(font);
    EXPECT_EQ(box.left, 50);
    EXPECT_EQ(box.top, 30);
    EXPECT_NEAR(box.right + 1 - 50, metrics.horizontalAdvance("Boxed text"), 1.5);
    EXPECT_NEAR(box.bottom + 1 - 30, metrics.height(), 1.5);
    EXPECT_TRUE(text.left >= box.left && text.right <= box.right && text.top >= box.top &&
                text.bottom <= box.bottom)
        << "the box holds the whole text";
    EXPECT_EQ(PixelAt(boxed, box.left + 1, box.top + 1).red, 255);
    EXPECT_EQ(PixelAt(boxed, box.left + 1, box.top + 1).green, 0);
}

TEST(CaptionDrawing, InvisibleTextLeavesOnlyTheBoxAndHalfAlphaBlends)
{
    CCaptionData caption = Text("Hidden words", 40, 20);
    caption.textAlpha = 0;
    caption.backgroundAlpha = 255;
    caption.backgroundColour = "0,0,255";
    const ImageFrame frame = Draw({caption});
    const Bounds other = Find(frame, [](const Rgb& p) {
        const bool white = p.red == 255 && p.green == 255 && p.blue == 255;
        const bool blue = p.red == 0 && p.green == 0 && p.blue == 255;
        return !white && !blue;
    });
    EXPECT_TRUE(other.Empty()) << "only the white image and the blue box";

    caption.textAlpha = 255;
    caption.backgroundAlpha = 128;
    caption.backgroundColour = "0,0,0";
    const ImageFrame half = Draw({caption});
    EXPECT_NEAR(PixelAt(half, 41, 21).red, 127, 2) << "a 50% black box over white";
}

TEST(CaptionDrawing, WeightAbove400IsBold)
{
    CCaptionData regular = Text("Weighty words", 10, 20);
    CCaptionData bold = regular;
    regular.fontWeight = 400;
    bold.fontWeight = 401;
    const int regularInk = Find(Draw({regular}), Dark).count;
    const int boldInk = Find(Draw({bold}), Dark).count;
    EXPECT_GT(boldInk, regularInk * 1.15);
}

namespace {
// How far the ink of the upper third of the text lies right of the ink of its lower third: 0 for
// upright strokes, several pixels for slanted ones.
double Slant(const ImageFrame& frame)
{
    const Bounds ink = Find(frame, Dark);
    const int third = (ink.bottom - ink.top + 1) / 3;
    double upper = 0, lower = 0;
    int upperCount = 0, lowerCount = 0;
    for (int y = ink.top; y <= ink.bottom; ++y)
        for (int x = ink.left; x <= ink.right; ++x) {
            if (!Dark(PixelAt(frame, x, y)))
                continue;
            if (y < ink.top + third) {
                upper += x;
                ++upperCount;
            } else if (y > ink.bottom - third) {
                lower += x;
                ++lowerCount;
            }
        }
    return upperCount && lowerCount ? upper / upperCount - lower / lowerCount : 0;
}
} // namespace

TEST(CaptionDrawing, ItalicSlantsTheText)
{
    // Upright bars, so that only the face's slant can move their tops.
    CCaptionData upright = Text("IIIII", 10, 10);
    upright.fontSize = 48;
    CCaptionData italic = upright;
    italic.fontItalic = true;
    const ImageFrame plain = Draw({upright}, 640, 100);
    const ImageFrame slanted = Draw({italic}, 640, 100);
    ASSERT_FALSE(Find(plain, Dark).Empty());
    ASSERT_FALSE(Find(slanted, Dark).Empty());
    EXPECT_NEAR(Slant(plain), 0, 1) << "upright bars";
    EXPECT_GT(Slant(slanted), 3) << "italic bars lean to the right";
}

TEST(CaptionDrawing, MissingFaceFallsBackToSansSerif)
{
    CCaptionData missing = Text("Fallback face", 10, 20);
    missing.fontName = "No Such Face 12345";
    CCaptionData sans = missing;
    sans.fontName = "";
    const ImageFrame a = Draw({missing});
    CCaptionData serif = missing;
    serif.fontName = "DejaVu Serif";
    EXPECT_GT(Find(a, Dark).count, 50);
    if (QFontDatabase::hasFamily("DejaVu Serif")) {
        EXPECT_NE(Find(Draw({serif}), Dark).count, Find(a, Dark).count) << "the fallback is not a serif face";
    }
    EXPECT_EQ(Find(Draw({sans}), Dark).count, Find(a, Dark).count);
}

TEST(CaptionDrawing, SizeZeroEmptyTextAndPositionsOutside)
{
    CCaptionData zero = Text("Nothing", 10, 10);
    zero.fontSize = 0;
    CCaptionData negative = zero;
    negative.fontSize = -20;
    EXPECT_TRUE(Find(Draw({zero, negative, Text("", 10, 10)}), Dark).Empty());

    const Bounds cut = Find(Draw({Text("Cut at the corner", -60, -8)}), Dark);
    EXPECT_FALSE(cut.Empty());
    EXPECT_EQ(cut.left, 0);
    EXPECT_EQ(cut.top, 0);
    EXPECT_TRUE(Find(Draw({Text("Far away", 5000, 5000), Text("Far away", -5000, 20)}), Dark).Empty());
}

TEST(CaptionDrawing, LaterCaptionsDrawOverEarlierOnes)
{
    CCaptionData under = Text("Layer", 20, 20);
    under.backgroundAlpha = 255;
    under.backgroundColour = "0,255,0";
    CCaptionData over = under;
    over.backgroundColour = "255,0,255";
    const ImageFrame frame = Draw({under, over});
    const Rgb p = PixelAt(frame, 21, 21);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 0);
}

namespace {
class DoneCounter final : public QObject
{
public:
    int done = 0;
    // Whether the captions were still busy when each notice came, when asked to record it.
    std::function<bool()> busyAtNotice;
    std::vector<bool> busyWhenNoticed;
    bool event(QEvent* e) override
    {
        if (e->type() != RegisterNamedMessage(MessageName::CaptionImageProcessNotify))
            return QObject::event(e);
        ++done;
        if (busyAtNotice)
            busyWhenNoticed.push_back(busyAtNotice());
        return true;
    }
};

} // namespace

TEST(CaptionJobs, OneNoticePerImageAlsoWithoutCaptions)
{
    ManualClock clock;
    CaptionEngine page(clock);
    page.LoadSettings(SettingsList{"CaptionNumberOfCaptions = 0"});
    DoneCounter counter;
    ImageFrame image = FlatFrame(64, 32, 24, 255, 255, 255);
    page.ProcessImage(image, &counter);
    WaitUntil([&] { return counter.done == 1; });
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.done, 1);

    ImageFrame empty;
    page.ProcessImage(empty, &counter);
    page.ProcessImage(image, nullptr);
    page.WaitForCaptionJobs();
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.done, 1) << "no notice for an empty image or without a window";
}

TEST(CaptionJobs, DrawsTheAppliedCaptionsInPlaceAndKeepsTheSourceForTheSample)
{
    ManualClock time;
    GatedClock clock(time);
    CaptionEngine page(clock);
    CCaptionData caption = Text("Worker text <HH>:<MM>", 10, 5); // the time: the worker reads the clock
    std::vector<CCaptionData> captions{caption};
    page.SetCaptions(captions);
    captions[0].text = "edited, not applied";
    DoneCounter counter;
    counter.busyAtNotice = [&] { return page.CaptionsBusy(); };
    ImageFrame image = FlatFrame(300, 60, 24, 255, 255, 255);
    // However the test ends, the worker is let through and done before the image goes.
    struct FinishJobs
    {
        GatedClock& clock;
        CaptionEngine& page;
        ~FinishJobs()
        {
            clock.Open();
            page.WaitForCaptionJobs();
        }
    } finishJobs{clock, page};
    QSignalSpy sampleUpdated(&page, &CaptionEngine::SampleUpdated);
    // The worker is held in the middle of its caption: the page says so until it is through.
    clock.Close();
    page.ProcessImage(image, &counter);
    EXPECT_EQ(sampleUpdated.count(), 1) << "the editor's sample is told of the new source image";
    ASSERT_TRUE(clock.WaitForArrival()) << "the worker reads the time for its caption";
    EXPECT_TRUE(page.CaptionsBusy()) << "busy while the worker draws";
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.done, 0) << "no notice before the image is done";
    clock.Open();
    ASSERT_TRUE(WaitUntil([&] { return counter.done == 1; }));
    EXPECT_EQ(counter.busyWhenNoticed, std::vector<bool>{false}) << "the notice finds the captions idle";
    EXPECT_FALSE(page.CaptionsBusy());
    const ImageFrame expected = Draw({caption}, 300, 60);
    int differing = 0;
    for (int y = 0; y < 60; ++y)
        differing += std::memcmp(image.Row(y), expected.Row(y), 300 * 3) != 0;
    EXPECT_EQ(differing, 0) << "the applied caption, not the edited one";
    EXPECT_TRUE(Find(page.LastSourceImage(), Dark).Empty()) << "the sample source has no captions";

    // The editor's sample: the source as it came, with the captions given, drawn on a worker.
    CaptionSampleRenderer renderer(clock);
    QSignalSpy rendered(&renderer, &CaptionSampleRenderer::Rendered);
    ImageFrame source;
    ASSERT_TRUE(CopyImage(page.LastSourceImage(), source));
    renderer.Request(source, {Text("Sample", 0, 0)}, true);
    ASSERT_TRUE(WaitUntil([&] { return rendered.count() == 1; }));
    ImageFrame sample;
    ASSERT_TRUE(sample.Adopt(rendered[0][1].value<QImage>()));
    EXPECT_FALSE(Find(sample, Dark).Empty());
    EXPECT_TRUE(Find(page.LastSourceImage(), Dark).Empty()) << "drawn on a copy";
    // The same texts again, unforced: nothing is drawn or reported (the once-a-second check).
    renderer.Request(source, {Text("Sample", 0, 0)}, false);
    QTest::qWait(200);
    EXPECT_EQ(rendered.count(), 1);
    renderer.Request(ImageFrame(), {Text("Other", 0, 0)}, false);
    ASSERT_TRUE(WaitUntil([&] { return rendered.count() == 2; }));
    EXPECT_TRUE(rendered[1][1].value<QImage>().isNull()) << "no source image yet: nothing drawn";
}

TEST_F(FileLineTest, APipeOrDeviceIsNeverReadAndSaysSo)
{
    LogRecorder log;
    const QString pipe = dir.filePath("pipe.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    // Opening a pipe with nobody writing to it would wait for ever.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(ExpandFileLineToken("[<FILELINE=" + pipe + ">]"), "[]");
    EXPECT_EQ(ExpandFileLineToken("[<FILELINE=/dev/zero>]"), "[]");
    EXPECT_LT(timer.elapsed(), 2000);
    QCoreApplication::sendPostedEvents(&log);
    EXPECT_EQ(log.Starting("Captions - Not a regular file, its line is left empty - " + pipe).size(), 1);
}
