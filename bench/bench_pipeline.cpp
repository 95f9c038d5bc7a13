// The still pipeline against its floor: W = decode, crop, area-resize to 800 x 450, encode at
// quality 75, beside (a) TurboJPEG alone decoding the same file and encoding an image of the
// output's size with buffers reused, and (b) ImageMagick doing W as a separate process. Run
// through bench/run.sh, which prints the medians and ratios.
#include "AreaResampler.h"
#include "Clock.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageOperations.h"
#include "PhotoLikeImage.h"
#include "captions/CaptionRenderer.h"

#include <QGuiApplication>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <spawn.h>
#include <sys/wait.h>

#include <map>
#include <vector>

extern char** environ;

namespace {
struct Size
{
    int width, height;
    int cropX, cropY, cropWidth, cropHeight;
};

const Size Sizes[] = {{1920, 1080, 100, 100, 1280, 720}, {3840, 2160, 200, 200, 2560, 1440}};
constexpr int OutWidth = 800, OutHeight = 450, OutQuality = 75;

const QByteArray& Jpeg(int index)
{
    static std::map<int, QByteArray> cache;
    auto& bytes = cache[index];
    if (bytes.isEmpty())
        bytes = MakePhotoLikeJpeg(Sizes[index].width, Sizes[index].height);
    return bytes;
}

QTemporaryDir& Scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// W: decode into the source's working frame (which keeps its buffer, as a source's does), one
// crop-and-resize stretch, the captions if any, encode.
void RunPipeline(benchmark::State& state, const std::vector<CCaptionData>& captions)
{
    const Size& size = Sizes[state.range(0)];
    const QByteArray& jpeg = Jpeg(static_cast<int>(state.range(0)));
    ImageFrame decoded;
    for (auto _ : state) {
        ImageFrame resized;
        if (LoadImageFromMemory(decoded, jpeg) != 0 ||
            !CropAndResizeImage(decoded, resized, OutWidth, OutHeight, size.cropX, size.cropY, size.cropWidth,
                                size.cropHeight)) {
            state.SkipWithError("pipeline failed");
            break;
        }
        CaptionRenderer::DrawCaptions(resized, captions, SystemClock());
        QByteArray out;
        EncodeImageToStream(resized, out, ImageFormat::Jpeg, OutQuality);
        benchmark::DoNotOptimize(out.data());
    }
}

// The two first-start example captions, the second on a 50 % white box.
std::vector<CCaptionData> ExampleCaptions()
{
    CCaptionData boxed = CCaptionData::SecondExample();
    boxed.backgroundColour = QStringLiteral("255, 255, 255");
    boxed.backgroundAlpha = 128;
    return {CCaptionData::FirstExample(), boxed};
}

void Work(benchmark::State& state)
{
    RunPipeline(state, {});
}

void WorkWithCaptions(benchmark::State& state)
{
    RunPipeline(state, ExampleCaptions());
}

void Floor(benchmark::State& state)
{
    const Size& size = Sizes[state.range(0)];
    const QByteArray& jpeg = Jpeg(static_cast<int>(state.range(0)));
    tjhandle decoder = tjInitDecompress(), encoder = tjInitCompress();
    std::vector<unsigned char> pixels(static_cast<std::size_t>(size.width) * size.height * 3);
    std::vector<unsigned char> region(static_cast<std::size_t>(OutWidth) * OutHeight * 3, 128);
    unsigned long capacity = tjBufSize(OutWidth, OutHeight, TJSAMP_420);
    unsigned char* out = tjAlloc(static_cast<int>(capacity));
    for (auto _ : state) {
        tjDecompress2(decoder, reinterpret_cast<const unsigned char*>(jpeg.constData()), jpeg.size(),
                      pixels.data(), size.width, size.width * 3, size.height, TJPF_RGB, 0);
        // The output region's pixels are taken from the decoded image, so the encoder sees
        // photo content, not a flat buffer.
        for (int y = 0; y < OutHeight; ++y)
            std::memcpy(&region[static_cast<std::size_t>(y) * OutWidth * 3],
                        &pixels[(static_cast<std::size_t>(y + size.cropY) * size.width + size.cropX) * 3],
                        OutWidth * 3);
        unsigned long length = capacity;
        tjCompress2(encoder, region.data(), OutWidth, OutWidth * 3, OutHeight, TJPF_RGB, &out, &length,
                    TJSAMP_420, OutQuality, TJFLAG_NOREALLOC);
        benchmark::DoNotOptimize(out);
    }
    tjFree(out);
    tjDestroy(decoder);
    tjDestroy(encoder);
}

// The parts of W on their own, to see where its time goes.
void DecodeOurs(benchmark::State& state)
{
    const QByteArray& jpeg = Jpeg(static_cast<int>(state.range(0)));
    ImageFrame decoded;
    for (auto _ : state) {
        LoadImageFromMemory(decoded, jpeg);
        benchmark::DoNotOptimize(decoded.Row(0));
    }
}

// The second argument picks the resampler's passes: 0 the fastest the processor has, 1 SSE2
// alone (the reference the AVX2 passes are held against).
void CropResize(benchmark::State& state)
{
    const Size& size = Sizes[state.range(0)];
    const ResampleKernel kernel = state.range(1) ? ResampleKernel::Sse2 : ResampleKernel::Fastest;
    ImageFrame decoded;
    LoadImageFromMemory(decoded, Jpeg(static_cast<int>(state.range(0))));
    const int bytes = decoded.BytesPerPixel();
    const ConstPixelBuffer region{decoded.Row(size.cropY) + static_cast<std::ptrdiff_t>(size.cropX) * bytes,
                                  decoded.Pitch(), size.cropWidth, size.cropHeight};
    for (auto _ : state) {
        ImageFrame resized;
        resized.Create(OutWidth, OutHeight, decoded.BitsPerPixel(), false, ImageFrame::Fill::Uninitialised);
        AreaResample(region, {resized.Row(0), resized.Pitch(), OutWidth, OutHeight}, bytes, kernel);
        benchmark::DoNotOptimize(resized.Row(0));
    }
}

ImageFrame OutputSizedFrame();

// The two captions alone, on an output-sized frame.
void Captions(benchmark::State& state)
{
    const ImageFrame frame = OutputSizedFrame();
    const std::vector<CCaptionData> captions = ExampleCaptions();
    ImageFrame canvas;
    for (auto _ : state) {
        CopyImage(frame, canvas);
        CaptionRenderer::DrawCaptions(canvas, captions, SystemClock());
        benchmark::DoNotOptimize(canvas.Row(0));
    }
}

ImageFrame OutputSizedFrame()
{
    ImageFrame decoded, resized;
    LoadImageFromMemory(decoded, Jpeg(0));
    CropAndResizeImage(decoded, resized, OutWidth, OutHeight, 100, 100, 1280, 720);
    return resized;
}

void EncodeOurs(benchmark::State& state)
{
    const ImageFrame frame = OutputSizedFrame();
    for (auto _ : state) {
        QByteArray out;
        EncodeImageToStream(frame, out, ImageFormat::Jpeg, OutQuality);
        benchmark::DoNotOptimize(out.data());
    }
}

void EncodeTurboJpeg(benchmark::State& state)
{
    const ImageFrame frame = OutputSizedFrame();
    tjhandle encoder = tjInitCompress();
    unsigned long capacity = tjBufSize(OutWidth, OutHeight, TJSAMP_420);
    unsigned char* out = tjAlloc(static_cast<int>(capacity));
    for (auto _ : state) {
        unsigned long length = capacity;
        tjCompress2(encoder, frame.Row(0), OutWidth, static_cast<int>(frame.Pitch()), OutHeight, TJPF_RGB,
                    &out, &length, TJSAMP_420, OutQuality, TJFLAG_NOREALLOC);
        benchmark::DoNotOptimize(out);
    }
    tjFree(out);
    tjDestroy(encoder);
}

void ImageMagick(benchmark::State& state)
{
    const Size& size = Sizes[state.range(0)];
    const QString in = Scratch().filePath(QString("in%1.jpg").arg(state.range(0)));
    const QString out = Scratch().filePath(QString("out%1.jpg").arg(state.range(0)));
    {
        QFile file(in);
        if (!file.exists() &&
            (!file.open(QIODevice::WriteOnly) || file.write(Jpeg(static_cast<int>(state.range(0)))) < 0)) {
            state.SkipWithError("cannot write the input file");
            return;
        }
    }
    const QByteArray crop = QString("%1x%2+%3+%4")
                                .arg(size.cropWidth)
                                .arg(size.cropHeight)
                                .arg(size.cropX)
                                .arg(size.cropY)
                                .toLatin1();
    const QByteArray inPath = in.toLocal8Bit(), outPath = out.toLocal8Bit();
    const char* argv[] = {"/usr/bin/convert-im6.q16",
                          inPath.constData(),
                          "-crop",
                          crop.constData(),
                          "+repage",
                          "-filter",
                          "Box",
                          "-resize",
                          "800x450!",
                          "-quality",
                          "75",
                          outPath.constData(),
                          nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("convert-im6.q16 cannot be started");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("convert-im6.q16 failed");
            break;
        }
    }
}
} // namespace

BENCHMARK(Work)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WorkWithCaptions)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Floor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeOurs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(CropResize)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(Captions)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodeOurs)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodeTurboJpeg)->Unit(benchmark::kMicrosecond);
BENCHMARK(ImageMagick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

int main(int argc, char** argv)
{
    // Captions need fonts, and fonts need a GUI application; no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
