// The whole processing cycle against the pipeline's floor, in one process: a 1920 x 1080 JPEG
// is renamed into the watched directory, and the clock stops when the controller logs the
// archived file (collect, crop 1280 x 720 and resize to 800 x 450, two captions, archive at
// quality 75, archive delay 0). Beside it, the floor: TurboJPEG decoding the same file and
// encoding an output-sized image with its buffers reused, one run after each cycle. CPU time is the process's
// (every thread); latency is wall time from the rename to the log line. Prints medians and the ratio.
#include "Clock.h"
#include "EventLog.h"
#include "MemoryTuning.h"
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "PhotoLikeImage.h"
#include "captions/CaptionEngine.h"
#include "control/CControl.h"
#include "outputs/ArchiveEngine.h"
#include "sources/SourceEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {
constexpr int Cycles = 200;
constexpr double Target = 1.3;

double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Counts the archived-OK lines the controller logs.
class ArchiveWatch final : public QObject
{
public:
    int archived = 0;
    int errors = 0;
    QEventLoop* loop = nullptr;
    bool event(QEvent* event) override
    {
        if (event->type() != RegisterNamedMessage(MessageName::LogUpdate))
            return QObject::event(event);
        const QString text = static_cast<MessageEvent*>(event)->text.value_or(QString());
        if (text.startsWith(QStringLiteral("Archive - Archived OK"))) {
            ++archived;
        } else if (static_cast<MessageEvent*>(event)->wParam == LogCategory::Error) {
            ++errors;
            std::fprintf(stderr, "%s\n", qPrintable(text));
        } else {
            return true;
        }
        if (loop)
            loop->quit();
        return true;
    }
};

// TurboJPEG alone: decode the file, take an output-sized region, encode it, buffers reused.
class Floor final
{
public:
    explicit Floor(const QByteArray& jpeg)
        : jpeg_(jpeg), decoder_(tjInitDecompress()), encoder_(tjInitCompress()),
          pixels_(static_cast<std::size_t>(Width) * Height * 3),
          region_(static_cast<std::size_t>(OutWidth) * OutHeight * 3),
          capacity_(tjBufSize(OutWidth, OutHeight, TJSAMP_420)), out_(tjAlloc(static_cast<int>(capacity_)))
    {
    }
    ~Floor()
    {
        tjFree(out_);
        tjDestroy(decoder_);
        tjDestroy(encoder_);
    }
    // CPU milliseconds of one run.
    double Run()
    {
        const double start = ProcessCpuMs();
        tjDecompress2(decoder_, reinterpret_cast<const unsigned char*>(jpeg_.constData()), jpeg_.size(),
                      pixels_.data(), Width, Width * 3, Height, TJPF_RGB, 0);
        for (int y = 0; y < OutHeight; ++y)
            std::memcpy(&region_[static_cast<std::size_t>(y) * OutWidth * 3],
                        &pixels_[(static_cast<std::size_t>(y + 100) * Width + 100) * 3], OutWidth * 3);
        unsigned long length = capacity_;
        tjCompress2(encoder_, region_.data(), OutWidth, OutWidth * 3, OutHeight, TJPF_RGB, &out_, &length,
                    TJSAMP_420, 75, TJFLAG_NOREALLOC);
        return ProcessCpuMs() - start;
    }

private:
    static constexpr int Width = 1920, Height = 1080, OutWidth = 800, OutHeight = 450;
    const QByteArray& jpeg_;
    tjhandle decoder_, encoder_;
    std::vector<unsigned char> pixels_, region_;
    unsigned long capacity_;
    unsigned char* out_;
};
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the program does at start-up.
    KeepImageBuffersInHeap();
    QApplication app(argc, argv);
    RegisterAllNamedMessages();
    QTemporaryDir data, watched, staging;
    const QByteArray jpeg = MakePhotoLikeJpeg(1920, 1080);

    ArchiveWatch watch;
    SetLogReceiver(&watch);
    SourceEngine source(SystemClock(), data.path() + "/");
    CaptionEngine captions(SystemClock());
    ArchiveEngine archive(SystemClock(), data.path() + "/");
    CControl control(SystemClock(), CControl::Parts{&source, &captions, &archive, nullptr, nullptr});
    source.SetOwner(&control);
    source.LoadSettings({"SourceType = 0", "SourceFileCollectDirectory = " + watched.path(),
                         "SourceCrop = Yes", "SourceCropOriginX = 100", "SourceCropOriginY = 100",
                         "SourceCropWidth = 1280", "SourceCropHeight = 720", "SourceResize = Yes",
                         "SourceResizeWidth = 800", "SourceResizeHeight = 450"});
    archive.LoadSettings({"ArchiveRootDirectory = " + data.path() + "/archive/", "ArchiveSaveDelay = 0"});
    captions.AddExampleCaptions();
    control.SetSettings(ControlSettings::Read(
        {"ControlEnableArchive = Yes", "ControlEnableCaptions = Yes", "ControlProcessCollectionType = 1"}));
    control.StartProcessing();

    // One floor run after each cycle, so that both see the machine in the same mood.
    Floor reference(jpeg);
    std::vector<double> cpu, latency, floor;
    for (int i = 0; i < Cycles + 5; ++i) {
        const QString name = QStringLiteral("cam%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        QFile file(staging.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
            return 2;
        file.close();
        const int before = watch.archived;
        QElapsedTimer wall;
        const double start = ProcessCpuMs();
        wall.start();
        if (!QFile::rename(staging.filePath(name), watched.filePath(name)))
            return 2;
        // Sleeps in the event loop (no polling) until the log says the file is archived.
        QEventLoop loop;
        watch.loop = &loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        watch.loop = nullptr;
        if (watch.archived == before) {
            std::fprintf(stderr, "cycle %d did not archive\n", i);
            return 1;
        }
        // The first few warm the caches and the font engine.
        if (i >= 5) {
            cpu.push_back(ProcessCpuMs() - start);
            latency.push_back(wall.nsecsElapsed() / 1e6);
        }
        // Let the worker threads end before the next file comes.
        QEventLoop settle;
        QTimer::singleShot(5, &settle, &QEventLoop::quit);
        settle.exec();
        const double floorMs = reference.Run();
        if (i >= 5)
            floor.push_back(floorMs);
    }
    control.StopProcessing();
    SetLogReceiver(nullptr);

    const double cycleCpu = Median(cpu), floorCpu = Median(floor);
    std::printf("whole cycle, 1920x1080 file arrived -> archived (%d cycles)\n", Cycles);
    std::printf("  median CPU per cycle      %8.3f ms\n", cycleCpu);
    std::printf("  median latency            %8.3f ms\n", Median(latency));
    std::printf("  floor CPU (decode+encode) %8.3f ms\n", floorCpu);
    std::printf("  cycle CPU / floor = %.3f (target <= %.1f)\n", cycleCpu / floorCpu, Target);
    std::printf("%s\n", cycleCpu / floorCpu <= Target ? "target met" : "TARGET MISSED");
    return cycleCpu / floorCpu <= Target ? 0 : 1;
}
