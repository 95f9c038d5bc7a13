// The capture thread's cost while connected to a 1920 x 1080, 30 fps YUY2 test camera, as a
// share of one core (process CPU time over wall time, every thread): with the live preview
// shown on the page, detached into a window of its own (larger: 960 x 540), with the window
// hidden, and with Low CPU at 1000 ms; beside it, in the same run, a
// bare pipeline from the same camera doing only the colour conversion to RGB at full rate.
// Prints each share and the ratios we hold ourselves to.
//
// Then a network camera: an RTSP server in this process sending a 1280 x 720, 25 fps MJPEG test
// pattern. Beside it, a bare client that only receives and decodes every frame (what any
// client must do); then the capture thread connected to it with the preview shown, and with
// Low CPU at 1000 ms. The server's own encoding is in every one of these shares.
#include "MessageEvent.h"
#include "NamedMessages.h"
#include "RtspTestServer.h"
#include "Utils/Classes/CCCTV.h"
#include "Utils/Classes/CapturePipeline.h"
#include "Utils/Classes/TestCamera.h"
#include "pages/CVideoView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <memory>

#include <gst/gst.h>

#include <cstdio>
#include <ctime>

namespace {
constexpr int MeasureMs = 15000;
const QString Camera = QStringLiteral("pixlet-test-camera:1920x1080@30");

double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void Spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU share of one core over the next MeasureMs, the event loop running.
double Share()
{
    QElapsedTimer wall;
    const double start = ProcessCpuMs();
    wall.start();
    Spin(MeasureMs);
    return (ProcessCpuMs() - start) / static_cast<double>(wall.elapsed());
}

double BareConversionShare()
{
    EnsureGStreamer();
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = TestCamera::MakeSource(Camera);
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement* caps = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    GstCaps* rgb = gst_caps_from_string("video/x-raw,format=RGB");
    g_object_set(caps, "caps", rgb, nullptr);
    gst_caps_unref(rgb);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, convert, caps, sink, nullptr);
    gst_element_link_many(source, convert, caps, sink, nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Spin(1000);
    const double share = Share();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return share;
}

// Receives and decodes every frame of the stream, and nothing else.
double BareNetworkShare(const QString& url)
{
    EnsureGStreamer();
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("uridecodebin", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(source, "uri", url.toUtf8().constData(), nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
    g_signal_connect(source, "pad-added", G_CALLBACK(+[](GstElement*, GstPad* pad, gpointer data) {
                         GstPad* sinkPad = gst_element_get_static_pad(static_cast<GstElement*>(data), "sink");
                         if (!gst_pad_is_linked(sinkPad))
                             gst_pad_link(pad, sinkPad);
                         gst_object_unref(sinkPad);
                     }),
                     sink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    Spin(2000);
    const double share = Share();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return share;
}

class Reports final : public QObject
{
public:
    bool connected = false;
    bool event(QEvent* e) override
    {
        if (e->type() == RegisterNamedMessage(MessageName::CctvMessage)) {
            auto* message = static_cast<MessageEvent*>(e);
            if (message->wParam == CaptureMessage::Connected)
                connected = true;
            return true;
        }
        return QObject::event(e);
    }
};
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Reports reports;
    CVideoView view;
    view.resize(480, 270);
    view.show();

    const double bare = BareConversionShare();
    double visible = 0, detached = 0, hidden = 0, lowCpu = 0;
    int framesDetached = 0;
    {
        CCCTV capture;
        auto job = std::make_unique<CaptureConnectJob>();
        job->devicePath = Camera;
        job->page = &reports;
        job->videoWindow = &view;
        job->destination = QRect(0, 0, 480, 270);
        capture.Post(CaptureCommand::Connect, 0, std::move(job));
        Spin(1500);
        if (!reports.connected) {
            std::fprintf(stderr, "the test camera did not connect\n");
            return 2;
        }
        visible = Share();
        const int framesVisible = view.LiveFramesShown();
        // Detached: the same stream into a window of its own, as the video page hands it over.
        CVideoView window;
        window.resize(960, 540);
        window.show();
        auto target = std::make_unique<CaptureWindow>();
        target->window = &window;
        capture.Post(CaptureCommand::SetClipWindow, 0, std::move(target));
        auto rect = std::make_unique<CaptureRect>();
        rect->rect = QRect(0, 0, 960, 540);
        capture.Post(CaptureCommand::SetDestRect, 0, std::move(rect));
        Spin(2500);
        const int windowFramesBefore = window.LiveFramesShown();
        detached = Share();
        framesDetached = window.LiveFramesShown() - windowFramesBefore;
        auto back = std::make_unique<CaptureWindow>();
        back->window = &view;
        capture.Post(CaptureCommand::SetClipWindow, 0, std::move(back));
        capture.Post(CaptureCommand::SetVideoVisible, 0);
        Spin(2500);
        hidden = Share();
        capture.Post(CaptureCommand::SetVideoVisible, 1);
        capture.Post(CaptureCommand::SetInterframeDelay, 1000);
        Spin(2500);
        lowCpu = Share();
        std::printf("preview frames painted while visible: %d in %d s, detached: %d\n", framesVisible,
                    MeasureMs / 1000, framesDetached);
    }
    std::printf("capture from a 1920x1080 30 fps YUY2 test camera, CPU share of one core over %d s\n",
                MeasureMs / 1000);
    std::printf("  bare conversion to RGB, full rate  %6.1f %%\n", bare * 100);
    std::printf("  preview visible (480x270)          %6.1f %%  (target <= 10 %%, <= 0.5x bare: %.2fx)\n",
                visible * 100, visible / bare);
    std::printf("  detached window (960x540)          %6.1f %%  (the same targets: %.2fx)\n", detached * 100,
                detached / bare);
    std::printf("  window hidden                      %6.1f %%  (target <= 3 %%)\n", hidden * 100);
    std::printf("  Low CPU, 1000 ms                   %6.1f %%\n", lowCpu * 100);

    // The network camera.
    RtspTestServer server({.width = 1280, .height = 720, .fps = 25});
    if (!server.Start()) {
        std::fprintf(stderr, "the RTSP camera did not start: %s\n", qPrintable(server.Trouble()));
        return 2;
    }
    const double networkBare = BareNetworkShare(server.Url());
    double networkVisible = 0, networkLowCpu = 0;
    {
        Reports networkReports;
        CCCTV capture;
        auto job = std::make_unique<CaptureConnectJob>();
        job->devicePath = QStringLiteral("network:bench");
        job->network.url = server.Url();
        job->page = &networkReports;
        job->videoWindow = &view;
        job->destination = QRect(0, 0, 480, 270);
        capture.Post(CaptureCommand::Connect, 0, std::move(job));
        Spin(3000);
        if (!networkReports.connected) {
            std::fprintf(stderr, "the RTSP camera did not connect\n");
            return 2;
        }
        networkVisible = Share();
        capture.Post(CaptureCommand::SetInterframeDelay, 1000);
        Spin(2500);
        networkLowCpu = Share();
    }
    server.Stop();
    std::printf("network camera: RTSP, 1280x720 25 fps MJPEG from a server in this process (its encoding "
                "included)\n");
    std::printf("  bare client, receive and decode     %6.1f %%\n", networkBare * 100);
    std::printf("  preview visible (480x270)          %6.1f %%  (%.2fx the bare client)\n",
                networkVisible * 100, networkVisible / networkBare);
    std::printf("  Low CPU, 1000 ms                   %6.1f %%  (%.2fx)\n", networkLowCpu * 100,
                networkLowCpu / networkBare);

    const bool met = visible <= 0.10 && visible <= 0.5 * bare && detached <= 0.10 && detached <= 0.5 * bare &&
                     hidden <= 0.03;
    std::printf("%s\n", met ? "targets met" : "TARGETS MISSED");
    return met ? 0 : 1;
}
