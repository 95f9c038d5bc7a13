#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageOperations.h"
#include "ResultCodes.h"
#include "TestImages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <sys/resource.h>

namespace {
QString Fixture(const QString& name)
{
    return QStringLiteral(PIXLET_FIXTURES) + "/" + name;
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double MeanAbsoluteDifference(const ImageFrame& a, const ImageFrame& b)
{
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const Rgb p = PixelAt(a, x, y), q = PixelAt(b, x, y);
            sum += std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue);
        }
    return sum / (3.0 * a.Width() * a.Height());
}

// The quality a JPEG was written at, read back from its luminance table: libjpeg scales the
// standard table (first entry 16) by the quality, so the first entry tells the quality apart.
int FirstLuminanceQuantiser(const QByteArray& jpeg)
{
    const int dqt = jpeg.indexOf("\xFF\xDB");
    return dqt < 0 ? -1 : static_cast<unsigned char>(jpeg[dqt + 5]);
}
} // namespace

TEST(ImageDecoding, EveryFormatByContent)
{
    struct Case
    {
        const char* name;
        int depth;
        bool alpha;
    };
    for (const Case c :
         {Case{"sample.jpg", 24, false}, Case{"sample.png", 24, false}, Case{"sample.gif", 8, false},
          Case{"sample.bmp", 24, false}, Case{"sample-palette.bmp", 8, false}, Case{"sample.tif", 24, false},
          Case{"sample-alpha.png", 32, true}, Case{"sample-gray.jpg", 24, false},
          Case{"sample-cmyk.jpg", 24, false}, Case{"sample-transparent.gif", 32, true},
          Case{"sample-interlaced.gif", 8, false}}) {
        ImageFrame frame;
        EXPECT_EQ(LoadImageFile(frame, Fixture(QString("images/") + c.name)), Result::Ok) << c.name;
        EXPECT_FALSE(frame.IsEmpty()) << c.name;
        EXPECT_EQ(frame.BitsPerPixel(), c.depth) << c.name;
        EXPECT_EQ(frame.HasAlpha(), c.alpha) << c.name;
    }
}

TEST(ImageDecoding, InterlacedGifRowsLandInPlace)
{
    ImageFrame plain, interlaced;
    ASSERT_EQ(LoadImageFile(plain, Fixture("images/sample.gif")), Result::Ok);
    ASSERT_EQ(LoadImageFile(interlaced, Fixture("images/sample-interlaced.gif")), Result::Ok);
    ASSERT_EQ(interlaced.Height(), plain.Height());
    for (int y = 0; y < plain.Height(); ++y)
        EXPECT_EQ(PixelAt(interlaced, 10, y).green, PixelAt(plain, 10, y).green) << y;
}

TEST(ImageDecoding, TransparentGifGivesAlpha)
{
    ImageFrame frame;
    ASSERT_EQ(LoadImageFile(frame, Fixture("images/sample-transparent.gif")), Result::Ok);
    EXPECT_EQ(qAlpha(frame.Image().pixel(1, 1)), 0);
    EXPECT_EQ(qAlpha(frame.Image().pixel(frame.Width() - 2, 1)), 255);
}

TEST(ImageDecoding, AfterADamagedFileTheNextGoodOneStillDecodes)
{
    for (const char* damaged : {"damaged/truncated-50.jpg", "damaged/jpeg-magic-then-noise.jpg",
                                "damaged/truncated-50.gif", "damaged/jpeg-claims-65000x65000.jpg"}) {
        ImageFrame frame;
        EXPECT_LT(LoadImageFile(frame, Fixture(damaged)), 0) << damaged;
        EXPECT_EQ(LoadImageFile(frame, Fixture("images/sample.jpg")), Result::Ok) << "after " << damaged;
        EXPECT_EQ(LoadImageFile(frame, Fixture("images/sample.gif")), Result::Ok) << "after " << damaged;
    }
}

TEST(ImageDecoding, ContentWinsOverTheName)
{
    QTemporaryDir dir;
    const QString lying = dir.filePath("really-a-png.jpg");
    ASSERT_TRUE(QFile::copy(Fixture("images/sample.png"), lying));
    ImageFrame frame;
    EXPECT_EQ(LoadImageFile(frame, lying), Result::Ok);
    EXPECT_EQ(frame.Width(), 64);
}

TEST(ImageDecoding, PaletteAndColoursSurvive)
{
    ImageFrame gif;
    ASSERT_EQ(LoadImageFile(gif, Fixture("images/sample.gif")), Result::Ok);
    EXPECT_GE(gif.Palette().size(), 2);
    EXPECT_LE(gif.Palette().size(), 256);
    ImageFrame jpeg;
    ASSERT_EQ(LoadImageFile(jpeg, Fixture("images/sample.jpg")), Result::Ok);
    // A red-to-blue gradient from top to bottom.
    EXPECT_GT(PixelAt(jpeg, 32, 0).red, 200);
    EXPECT_GT(PixelAt(jpeg, 32, 47).blue, 200);
}

TEST(ImageDecoding, DamagedFilesAreRefusedCleanly)
{
    const QDir damaged(Fixture("damaged"));
    const QStringList names = damaged.entryList(QDir::Files);
    ASSERT_GE(names.size(), 20);
    for (const QString& name : names) {
        ImageFrame frame = FlatFrame(4, 4, 24, 1, 2, 3);
        const ResultCode result = LoadImageFile(frame, damaged.filePath(name));
        EXPECT_LT(result, 0) << name.toStdString();
        EXPECT_TRUE(frame.IsEmpty()) << name.toStdString();
    }
}

TEST(ImageDecoding, EveryTruncationOfAJpegIsRefused)
{
    const QByteArray whole = ReadBytes(Fixture("images/sample.jpg"));
    ASSERT_FALSE(whole.isEmpty());
    for (qsizetype length = 0; length < whole.size() - 2; length += 7) {
        ImageFrame frame;
        EXPECT_LT(LoadImageFromMemory(frame, whole.left(length)), 0) << length;
        EXPECT_TRUE(frame.IsEmpty());
    }
}

// libpng sets aside, and clears, the whole length a chunk claims before reading it: a file of a
// few hundred bytes claiming a chunk of 1.5 GB, among the headers or after the picture, must be
// refused before that happens.
TEST(ImageDecoding, APngChunkClaimingMoreThanTheFileHoldsIsRefusedWithoutTheMemory)
{
    const QByteArray whole = ReadBytes(Fixture("images/sample.png"));
    const qsizetype afterHeader = 8 + 12 + 13, beforeEnd = whole.lastIndexOf("IEND") - 4;
    ASSERT_GT(beforeEnd, afterHeader);
    const QByteArray claim = QByteArray::fromHex("59682F00") + "tEXtComment" + QByteArray(1, '\0') + "short";
    for (const qsizetype at : {afterHeader, beforeEnd}) {
        const QByteArray hostile = whole.left(at) + claim + whole.mid(at);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        ImageFrame frame = FlatFrame(4, 4, 24, 1, 2, 3);
        EXPECT_LT(LoadImageFromMemory(frame, hostile), 0) << at;
        EXPECT_TRUE(frame.IsEmpty()) << at;
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024)
            << "at " << at << " the peak grew by " << after.ru_maxrss - before.ru_maxrss << " KB";
    }
}

// A PNG still being written ends at a chunk boundary, or inside a chunk, before its IEND.
TEST(ImageDecoding, APngCutShortOfItsEndIsRefused)
{
    const QByteArray whole = ReadBytes(Fixture("images/sample.png"));
    const qsizetype iend = whole.lastIndexOf("IEND") - 4;
    ASSERT_GT(iend, 8);
    for (qsizetype length = 8; length <= iend; length += 5) {
        ImageFrame frame;
        EXPECT_LT(LoadImageFromMemory(frame, whole.left(length)), 0) << length;
        EXPECT_TRUE(frame.IsEmpty()) << length;
    }
    ImageFrame frame;
    EXPECT_LT(LoadImageFromMemory(frame, whole.left(iend)), 0);
    ASSERT_EQ(LoadImageFromMemory(frame, whole), Result::Ok);
    // Bytes after the end, as some tools append, do no harm.
    EXPECT_EQ(LoadImageFromMemory(frame, whole + "trailing"), Result::Ok);
}

TEST(ImageDecoding, MissingFileGivesTheSystemsError)
{
    ImageFrame frame;
    const ResultCode result = LoadImageFile(frame, "/nonexistent/dir/file.jpg");
    EXPECT_EQ(Result::ToErrno(result), ENOENT);
}

class ImageEncodingTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
};

TEST_F(ImageEncodingTest, EachExtensionGetsItsEncoder)
{
    const ImageFrame frame = GradientFrame(48, 32, 24);
    for (const char* name : {"a.JPG", "a.jpeg", "a.png", "a.bmp", "a.dib", "a.tif", "a.gif"}) {
        const QString path = dir.filePath(name);
        ASSERT_EQ(SaveImageFile(frame, path), Result::Ok) << name;
        ImageFrame back;
        ASSERT_EQ(LoadImageFile(back, path), Result::Ok) << name;
        EXPECT_EQ(back.Width(), 48);
        EXPECT_EQ(back.Height(), 32);
        const QString lower = QString(name).toLower();
        const double tolerance = lower.endsWith("gif") ? 10 : lower.contains(".jp") ? 4 : 0.01;
        EXPECT_LT(MeanAbsoluteDifference(frame, back), tolerance) << name;
    }
    EXPECT_TRUE(ReadBytes(dir.filePath("a.png")).startsWith("\x89PNG"));
    EXPECT_TRUE(ReadBytes(dir.filePath("a.dib")).startsWith("BM"));
    EXPECT_TRUE(ReadBytes(dir.filePath("a.gif")).startsWith("GIF8"));
    EXPECT_TRUE(ReadBytes(dir.filePath("a.JPG")).startsWith("\xFF\xD8\xFF"));
}

TEST_F(ImageEncodingTest, UnknownExtensionFailsAndWritesNothing)
{
    const ImageFrame frame = GradientFrame(8, 8, 24);
    EXPECT_EQ(SaveImageFile(frame, dir.filePath("a.webp")), Result::GenericFailure);
    EXPECT_EQ(SaveImageFile(frame, dir.filePath("noextension")), Result::GenericFailure);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ImageEncodingTest, JpegQualityIsPassedThrough)
{
    const ImageFrame frame = RandomFrame(64, 64, 24, 11);
    const int before = JpegQuality();
    std::map<int, int> firstQuantiser;
    for (int quality : {0, 1, 50, 75, 100}) {
        SetJpegQuality(quality);
        const QString path = dir.filePath(QString("q%1.jpg").arg(quality));
        ASSERT_EQ(SaveImageFile(frame, path), Result::Ok) << quality;
        firstQuantiser[quality] = FirstLuminanceQuantiser(ReadBytes(path));
    }
    SetJpegQuality(before);
    EXPECT_EQ(firstQuantiser[100], 1);
    EXPECT_EQ(firstQuantiser[50], 16);
    EXPECT_EQ(firstQuantiser[75], 8);
    EXPECT_EQ(firstQuantiser[0], firstQuantiser[1]) << "libjpeg treats 0 as its lowest quality, 1";
    EXPECT_GT(firstQuantiser[0], 100);
}

TEST_F(ImageEncodingTest, StreamEncodingAppends)
{
    const ImageFrame frame = GradientFrame(20, 10, 24);
    QByteArray stream("prefix");
    ASSERT_EQ(EncodeImageToStream(frame, stream, ImageFormat::Jpeg, 90), Result::Ok);
    EXPECT_TRUE(stream.startsWith("prefix\xFF\xD8"));
    const qsizetype size = stream.size();
    EXPECT_EQ(EncodeImageToStream(frame, stream, ImageFormat::None, 90), Result::GenericFailure);
    EXPECT_EQ(EncodeImageToStream(ImageFrame(), stream, ImageFormat::Png, 90), Result::GenericFailure);
    EXPECT_EQ(stream.size(), size) << "a failed encode adds nothing";
    ASSERT_EQ(EncodeImageToStream(frame, stream, ImageFormat::Png, 0), Result::Ok);
    EXPECT_EQ(stream.mid(size, 4), "\x89PNG");
}

TEST_F(ImageEncodingTest, AlphaIsKeptWherePossible)
{
    ImageFrame frame;
    ASSERT_EQ(LoadImageFile(frame, Fixture("images/sample-alpha.png")), Result::Ok);
    ASSERT_EQ(SaveImageFile(frame, dir.filePath("alpha.png")), Result::Ok);
    ImageFrame back;
    ASSERT_EQ(LoadImageFile(back, dir.filePath("alpha.png")), Result::Ok);
    EXPECT_TRUE(back.HasAlpha());
    EXPECT_NEAR(qAlpha(back.Image().pixel(2, 2)), 128, 1);
    ASSERT_EQ(SaveImageFile(frame, dir.filePath("alpha.jpg")), Result::Ok) << "alpha is dropped for JPEG";
}

TEST_F(ImageEncodingTest, ThirtyTwoBitAndPaletteFramesEncodeAsJpeg)
{
    const ImageFrame rgb32 = GradientFrame(40, 30, 32);
    QByteArray stream;
    ASSERT_EQ(EncodeImageToStream(rgb32, stream, ImageFormat::Jpeg, 95), Result::Ok);
    ImageFrame back;
    ASSERT_EQ(LoadImageFromMemory(back, stream), Result::Ok);
    EXPECT_LT(MeanAbsoluteDifference(rgb32, back), 3) << "no channel swap";

    ImageFrame gif;
    ASSERT_EQ(LoadImageFile(gif, Fixture("images/sample.gif")), Result::Ok);
    stream.clear();
    ASSERT_EQ(EncodeImageToStream(gif, stream, ImageFormat::Jpeg, 95), Result::Ok);
    ASSERT_EQ(EncodeImageToStream(gif, stream, ImageFormat::Gif, 0), Result::Ok);
}

TEST_F(ImageEncodingTest, ReplacesAnExistingFileAtomically)
{
    const QString path = dir.filePath("latest.jpg");
    ASSERT_EQ(SaveImageFile(FlatFrame(10, 10, 24, 255, 0, 0), path), Result::Ok);
    ASSERT_EQ(SaveImageFile(FlatFrame(10, 10, 24, 0, 0, 255), path), Result::Ok);
    ImageFrame back;
    ASSERT_EQ(LoadImageFile(back, path), Result::Ok);
    EXPECT_GT(PixelAt(back, 5, 5).blue, 240);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(ImageEncodingTest, UnwritablePathGivesTheSystemsError)
{
    const QString blocker = dir.filePath("file");
    ASSERT_EQ(SaveImageFile(FlatFrame(4, 4, 24, 0, 0, 0), blocker + ".png"), Result::Ok);
    const ResultCode result = SaveImageFile(FlatFrame(4, 4, 24, 0, 0, 0), blocker + ".png/inside.jpg");
    EXPECT_EQ(Result::ToErrno(result), ENOTDIR);
}
