#include "TestCameraFrames.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <utility>

namespace {
constexpr qint64 LoopBudgetBytes = 32LL * 1024 * 1024;
}

TestCameraFrames::~TestCameraFrames()
{
    for (GstBuffer* buffer : buffers_)
        gst_buffer_unref(buffer);
    if (caps_)
        gst_caps_unref(caps_);
}

std::shared_ptr<const TestCameraFrames> TestCameraFrames::ForMode(const QSize& size, int fps)
{
    static std::mutex mutex;
    static std::map<std::pair<std::pair<int, int>, int>, std::weak_ptr<const TestCameraFrames>> alive;
    std::lock_guard lock(mutex);
    auto& slot = alive[{{size.width(), size.height()}, fps}];
    if (auto frames = slot.lock())
        return frames;
    std::shared_ptr<TestCameraFrames> frames(new TestCameraFrames);
    if (!frames->Render(size, fps))
        return nullptr;
    slot = frames;
    return frames;
}

bool TestCameraFrames::Render(const QSize& size, int fps)
{
    const qint64 frameBytes = qint64(size.width() + 1) * size.height() * 2;
    const int count =
        static_cast<int>(std::clamp<qint64>(LoopBudgetBytes / std::max<qint64>(frameBytes, 1), 2, fps));
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* sink = gst_element_factory_make("appsink", nullptr);
    if (!pipeline || !source || !filter || !sink) {
        for (GstElement* element : {pipeline, source, filter, sink}) {
            if (element)
                gst_object_unref(element);
        }
        return false;
    }
    g_object_set(source, "pattern", 18 /* a moving ball */, "num-buffers", count, nullptr);
    GstCaps* caps =
        gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "YUY2", "width", G_TYPE_INT, size.width(),
                            "height", G_TYPE_INT, size.height(), "framerate", GST_TYPE_FRACTION, fps, 1,
                            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, filter, sink, nullptr);
    bool ok = gst_element_link_many(source, filter, sink, nullptr) &&
              gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    while (ok) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
        if (!sample)
            break;
        if (!caps_ && gst_sample_get_caps(sample))
            caps_ = gst_caps_ref(gst_sample_get_caps(sample));
        if (GstBuffer* buffer = gst_sample_get_buffer(sample))
            buffers_.push_back(gst_buffer_ref(buffer));
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return caps_ && !buffers_.empty();
}
