#include "Utils/Classes/CapturePipeline.h"
#include "Utils/Classes/TestCamera.h"
#include "Utils/Classes/TestCameraFrames.h"
#include "Utils/Classes/TestCameraPlugFile.h"
#include "Utils/Classes/TestCameraProvider.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {
// A test camera straight into an appsink that notes when each frame arrived; it can be told to
// hold the stream up once, as a busy consumer does.
class Recorder final
{
public:
    explicit Recorder(const QString& path)
    {
        EnsureGStreamer();
        pipeline_ = gst_pipeline_new(nullptr);
        source_ = TestCamera::MakeSource(path);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        if (!source_ || !sink)
            return;
        g_object_set(sink, "sync", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* appsink, gpointer data) {
            auto* self = static_cast<Recorder*>(data);
            GstSample* sample = gst_app_sink_pull_sample(appsink);
            {
                std::lock_guard lock(self->mutex_);
                self->arrivals_.push_back(self->clock_.elapsed());
                if (sample && gst_sample_get_buffer(sample))
                    self->firstBytes_.push_back(FirstDifferingWord(gst_sample_get_buffer(sample)));
            }
            if (sample)
                gst_sample_unref(sample);
            if (const int hold = self->holdMs_.exchange(0))
                std::this_thread::sleep_for(std::chrono::milliseconds(hold));
            return GST_FLOW_OK;
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        gst_bin_add_many(GST_BIN(pipeline_), source_, sink, nullptr);
        ok_ = gst_element_link(source_, sink);
    }
    ~Recorder()
    {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    bool Play()
    {
        clock_.start();
        return ok_ && gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    }
    void HoldNextFrame(int ms) { holdMs_ = ms; }
    int ArrivedBetween(qint64 fromMs, qint64 toMs)
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count_if(arrivals_.begin(), arrivals_.end(),
                                              [&](qint64 at) { return at >= fromMs && at < toMs; }));
    }
    int DistinctPictures()
    {
        std::lock_guard lock(mutex_);
        std::vector<quint64> distinct = firstBytes_;
        std::sort(distinct.begin(), distinct.end());
        return static_cast<int>(std::unique(distinct.begin(), distinct.end()) - distinct.begin());
    }
    qint64 Now() const { return clock_.elapsed(); }

private:
    // A cheap fingerprint of a frame: a sum over its bytes, sampled.
    static quint64 FirstDifferingWord(GstBuffer* buffer)
    {
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
            return 0;
        quint64 sum = 0;
        for (gsize i = 0; i < map.size; i += 61)
            sum = sum * 31 + map.data[i];
        gst_buffer_unmap(buffer, &map);
        return sum;
    }

    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    bool ok_ = false;
    QElapsedTimer clock_;
    std::mutex mutex_;
    std::vector<qint64> arrivals_;
    std::vector<quint64> firstBytes_;
    std::atomic<int> holdMs_{0};
};

void WaitMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

QStringList Listed(GstDeviceMonitor* monitor)
{
    QStringList names;
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* item = devices; item; item = item->next) {
        gchar* name = gst_device_get_display_name(GST_DEVICE(item->data));
        names << QString::fromUtf8(name);
        g_free(name);
    }
    g_list_free_full(devices, gst_object_unref);
    names.sort();
    return names;
}

bool MessageArrives(GstBus* bus, GstMessageType type)
{
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, type);
    if (message)
        gst_message_unref(message);
    return message != nullptr;
}
} // namespace

TEST(TestCamera, MalformedOrAbsentCamerasMakeNoSource)
{
    EnsureGStreamer();
    for (const char* path :
         {"pixlet-test-camera:", "pixlet-test-camera:0x480@30", "pixlet-test-camera:640x480@0",
          "pixlet-test-camera:640x480", "pixlet-test-camera:99999999x1@1",
          "pixlet-test-camera:99999x99999@30", "pixlet-test-camera:640x480@999"})
        EXPECT_EQ(TestCamera::MakeSource(QString::fromLatin1(path)), nullptr) << path;
    const QString path = QStringLiteral("pixlet-test-camera:64x48@10");
    TestCamera::SetGone(path, true);
    EXPECT_EQ(TestCamera::MakeSource(path), nullptr) << "unplugged";
    TestCamera::SetGone(path, false);
    GstElement* source = TestCamera::MakeSource(path);
    ASSERT_NE(source, nullptr);
    gst_object_unref(gst_object_ref_sink(source));
}

// The loop is drawn once per mode while in use, differs from frame to frame and stays within
// its memory budget even at full HD.
TEST(TestCamera, FramesAreALoopSharedWhileInUse)
{
    EnsureGStreamer();
    auto first = TestCameraFrames::ForMode(QSize(160, 120), 30);
    ASSERT_TRUE(first);
    EXPECT_EQ(TestCameraFrames::ForMode(QSize(160, 120), 30), first);
    EXPECT_NE(TestCameraFrames::ForMode(QSize(160, 120), 15), first) << "another rate is another loop";
    EXPECT_EQ(first->Buffers().size(), 30u) << "one second at this size";
    std::weak_ptr<const TestCameraFrames> released = first;
    first.reset();
    EXPECT_TRUE(released.expired()) << "nobody holds the loop once no camera uses it";

    auto hd = TestCameraFrames::ForMode(QSize(1920, 1080), 30);
    ASSERT_TRUE(hd);
    gsize bytes = 0;
    for (GstBuffer* buffer : hd->Buffers())
        bytes += gst_buffer_get_size(buffer);
    EXPECT_GE(hd->Buffers().size(), 2u);
    EXPECT_LE(bytes, 34u * 1024 * 1024);
}

// A live camera: about its frame rate, a moving picture, and after the consumer held the
// stream up it carries on at its rate instead of making up for lost time in a burst.
TEST(TestCamera, DeliversAtItsRateWithoutCatchingUp)
{
    Recorder recorder(QStringLiteral("pixlet-test-camera:160x120@30"));
    ASSERT_TRUE(recorder.Play());
    WaitMs(1300);
    const int steady = recorder.ArrivedBetween(300, 1300);
    EXPECT_GE(steady, 25);
    EXPECT_LE(steady, 35);
    EXPECT_GE(recorder.DistinctPictures(), 10) << "the pattern moves";

    recorder.HoldNextFrame(600);
    const qint64 held = recorder.Now();
    WaitMs(1500);
    const int afterHold = recorder.ArrivedBetween(held + 600, held + 1500);
    EXPECT_GE(afterHold, 20);
    EXPECT_LE(afterHold, 32) << "no catching up on the 18 frames missed";
}

TEST(TestCamera, StalledCameraIdlesAndResumes)
{
    const QString path = QStringLiteral("pixlet-test-camera:96x64@30");
    Recorder recorder(path);
    ASSERT_TRUE(recorder.Play());
    WaitMs(400);
    TestCamera::SetStalled(path, true);
    WaitMs(200);
    const qint64 stalledAt = recorder.Now();
    WaitMs(600);
    EXPECT_EQ(recorder.ArrivedBetween(stalledAt, recorder.Now()), 0);
    TestCamera::SetStalled(path, false);
    const qint64 resumedAt = recorder.Now();
    WaitMs(600);
    EXPECT_GE(recorder.ArrivedBetween(resumedAt, recorder.Now()), 10);
}

// A device monitor sees the test cameras as it sees webcams: listed when enabled, removed
// when unplugged or no longer wanted, back when plugged in again; and the listed device
// makes a working source.
TEST(TestCameraProvider, MonitorsSeeCamerasComeAndGo)
{
    ASSERT_TRUE(TestCameraProvider::Enable(2));
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    ASSERT_TRUE(gst_device_monitor_start(monitor));
    GstBus* bus = gst_device_monitor_get_bus(monitor);
    EXPECT_EQ(Listed(monitor), QStringList({"Pixlet Test Camera", "Pixlet Test Camera 2"}));

    TestCamera::SetGone(TestCamera::PathPrefix, true);
    EXPECT_TRUE(MessageArrives(bus, GST_MESSAGE_DEVICE_REMOVED));
    EXPECT_EQ(Listed(monitor), QStringList({"Pixlet Test Camera 2"}));
    TestCamera::SetGone(TestCamera::PathPrefix, false);
    EXPECT_TRUE(MessageArrives(bus, GST_MESSAGE_DEVICE_ADDED));
    EXPECT_EQ(Listed(monitor), QStringList({"Pixlet Test Camera", "Pixlet Test Camera 2"}));

    TestCameraProvider::Enable(1);
    EXPECT_TRUE(MessageArrives(bus, GST_MESSAGE_DEVICE_REMOVED));
    EXPECT_EQ(Listed(monitor), QStringList({"Pixlet Test Camera"}));

    GList* devices = gst_device_monitor_get_devices(monitor);
    ASSERT_NE(devices, nullptr);
    GstElement* source = gst_device_create_element(GST_DEVICE(devices->data), "camera");
    g_list_free_full(devices, gst_object_unref);
    ASSERT_NE(source, nullptr);
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "num-buffers", 3, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, sink, nullptr);
    ASSERT_TRUE(gst_element_link(source, sink));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* pipelineBus = gst_element_get_bus(pipeline);
    EXPECT_TRUE(MessageArrives(pipelineBus, GST_MESSAGE_EOS)) << "three frames from the listed device";
    gst_object_unref(pipelineBus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);

    TestCameraProvider::Enable(0);
    EXPECT_TRUE(MessageArrives(bus, GST_MESSAGE_DEVICE_REMOVED));
    EXPECT_TRUE(Listed(monitor).isEmpty());
    gst_object_unref(bus);
    gst_device_monitor_stop(monitor);
    gst_object_unref(monitor);
}

// A script unplugs the cameras of a running program by removing a file and plugs them back by
// making it again.
TEST(TestCameraProvider, APlugFileUnplugsTheCamerasWhileItIsMissing)
{
    ASSERT_TRUE(TestCameraProvider::Enable(2));
    QTemporaryDir dir;
    const QString plug = dir.filePath("plugged");
    TestCameraPlugFile plugFile(plug, 20);
    EXPECT_FALSE(plugFile.Plugged());
    EXPECT_TRUE(TestCamera::IsGone(TestCamera::PathPrefix)) << "no file, no cameras";
    EXPECT_TRUE(TestCamera::IsGone("pixlet-test-camera:320x240@15"));

    QFile(plug).open(QIODevice::WriteOnly);
    EXPECT_TRUE(WaitUntil([&] { return plugFile.Plugged(); }, 5000)) << "the timer notices the file";
    EXPECT_FALSE(TestCamera::IsGone(TestCamera::PathPrefix));
    EXPECT_FALSE(TestCamera::IsGone("pixlet-test-camera:320x240@15"));

    QFile::remove(plug);
    plugFile.Check();
    EXPECT_TRUE(TestCamera::IsGone(TestCamera::PathPrefix));
    TestCameraProvider::SetPlugged(true);
    TestCameraProvider::Enable(0);
}
