#include "CapturePipeline.h"

#include "CaptureFlow.h"
#include "CaptureTypes.h"
#include "NetworkSource.h"
#include "TestCamera.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/colorbalance.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstring>
#include <mutex>

void EnsureGStreamer()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

namespace {
// A device's stream is lost (unplugged, driver gone) rather than broken.
bool IsDeviceLoss(const GError* error)
{
    return error && error->domain == GST_RESOURCE_ERROR &&
           (error->code == GST_RESOURCE_ERROR_NOT_FOUND || error->code == GST_RESOURCE_ERROR_READ ||
            error->code == GST_RESOURCE_ERROR_OPEN_READ || error->code == GST_RESOURCE_ERROR_OPEN_READ_WRITE);
}

bool IsAccessDenied(const GError* error)
{
    return error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED;
}

// Copies a mapped video sample into a new frame of the given depth (24: R, G, B; 32: B, G, R, X).
ImageFrame CopySample(GstSample* sample, int bitsPerPixel)
{
    ImageFrame frame;
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps))
        return frame;
    GstVideoFrame video;
    if (!gst_video_frame_map(&video, &info, buffer, GST_MAP_READ))
        return frame;
    const int width = GST_VIDEO_FRAME_WIDTH(&video), height = GST_VIDEO_FRAME_HEIGHT(&video);
    if (frame.Create(width, height, bitsPerPixel, false, ImageFrame::Fill::Uninitialised)) {
        const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&video, 0));
        const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&video, 0);
        const std::size_t rowBytes = static_cast<std::size_t>(width) * (bitsPerPixel / 8);
        for (int y = 0; y < height; ++y)
            std::memcpy(frame.Row(y), data + static_cast<std::ptrdiff_t>(stride) * y, rowBytes);
    }
    gst_video_frame_unmap(&video);
    return frame;
}

GstElement* Make(const char* factory, GstElement* bin)
{
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (element)
        gst_bin_add(GST_BIN(bin), element);
    return element;
}
} // namespace

struct CapturePipelineCallbacks
{
    static GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data)
    {
        auto* self = static_cast<CapturePipeline*>(data);
        // A message dropped here is ours to free: GStreamer does not, and every state change,
        // QoS report and warning of a connection would otherwise stay in memory for good.
        if (self->stopping_) {
            gst_message_unref(message);
            return GST_BUS_DROP;
        }
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            self->hooks_.stopped(StopReason::StreamFinished, QStringLiteral("End of stream"));
            break;
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            QString text = error ? QString::fromUtf8(error->message) : QString();
            if (IsAccessDenied(error))
                text = QStringLiteral("the camera refused the user name and password (") + text +
                       QStringLiteral(")");
            self->hooks_.stopped(IsDeviceLoss(error) ? StopReason::DeviceLost : StopReason::ErrorAbort, text);
            g_clear_error(&error);
            g_free(debug);
            break;
        }
        default:
            break;
        }
        gst_message_unref(message);
        return GST_BUS_DROP;
    }

    static GstPadProbeReturn OnSourceBuffer(GstPad*, GstPadProbeInfo*, gpointer data)
    {
        auto* self = static_cast<CapturePipeline*>(data);
        self->flow_.CountFrame();
        // Stop marks the pipeline before it wakes the rest in progress: once that rest is cut
        // short, no other begins.
        if (!self->stopping_)
            self->flow_.Rest();
        return GST_PAD_PROBE_OK;
    }

    static GstPadProbeReturn OnSourceCaps(GstPad*, GstPadProbeInfo* info, gpointer data)
    {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        auto* self = static_cast<CapturePipeline*>(data);
        // The end of the stream (a camera's server closing the connection) is seen here: the
        // closed valves would keep it from the sinks, and the bus would never hear of it.
        if (event && GST_EVENT_TYPE(event) == GST_EVENT_EOS && !self->stopping_)
            self->hooks_.stopped(StopReason::StreamFinished, QStringLiteral("End of stream"));
        if (event && GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            GstVideoInfo video;
            if (caps && gst_video_info_from_caps(&video, caps))
                self->ApplySourceRect(QSize(GST_VIDEO_INFO_WIDTH(&video), GST_VIDEO_INFO_HEIGHT(&video)));
        }
        return GST_PAD_PROBE_OK;
    }

    static GstFlowReturn OnStillSample(GstAppSink* sink, gpointer data)
    {
        auto* self = static_cast<CapturePipeline*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_OK;
        // One still per request: the valve closes behind the frame that answers it.
        if (self->stillWanted_.exchange(false)) {
            g_object_set(self->stillValve_, "drop", TRUE, nullptr);
            ImageFrame still = CopySample(sample, 24);
            if (!still.IsEmpty() && !self->stopping_)
                self->hooks_.still(std::move(still));
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    static GstFlowReturn OnPreviewSample(GstAppSink* sink, gpointer data)
    {
        auto* self = static_cast<CapturePipeline*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_OK;
        ImageFrame frame = CopySample(sample, 32);
        gst_sample_unref(sample);
        if (!frame.IsEmpty() && !self->stopping_ && self->hooks_.preview)
            self->hooks_.preview(std::move(frame));
        return GST_FLOW_OK;
    }
};

CapturePipeline::CapturePipeline(Hooks hooks, CaptureFlow& flow) : hooks_(std::move(hooks)), flow_(flow)
{
    EnsureGStreamer();
}

CapturePipeline::~CapturePipeline()
{
    Stop();
}

ResultCode CapturePipeline::Build(const QString& devicePath, const CaptureFormat& format,
                                  const NetworkStream& network)
{
    if (devicePath.isEmpty())
        return Result::InvalidArgument;
    devicePath_ = devicePath;
    network_ = !network.IsEmpty();
    pipeline_ = gst_pipeline_new("capture");
    const bool testCamera = !network_ && TestCamera::IsTestCameraPath(devicePath);
    GstElement* source = nullptr;
    if (network_) {
        source = NetworkSource::Make(network, flow_);
    } else if (testCamera) {
        // A test camera changes format by drawing another loop.
        const TestCamera::Mode mode{
            format.size, format.rateDenominator > 0 ? format.rateNumerator / format.rateDenominator : 0};
        source = TestCamera::MakeSource(devicePath, format.IsEmpty() ? nullptr : &mode);
    } else {
        source = gst_element_factory_make("v4l2src", nullptr);
    }
    if (!pipeline_ || !source) {
        if (source)
            gst_object_unref(source);
        return Result::GenericFailure;
    }
    if (!testCamera && !network_)
        g_object_set(source, "device", devicePath.toUtf8().constData(), nullptr);
    gst_bin_add(GST_BIN(pipeline_), source);
    source_ = source;
    // The chosen format, or whatever the device offers first.
    GstElement* formatFilter = Make("capsfilter", pipeline_);
    tee_ = Make("tee", pipeline_);
    if (formatFilter && !format.IsEmpty() && !testCamera && !network_) {
        GstCaps* caps = gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, format.pixelFormat.toUtf8().constData(), "width",
            G_TYPE_INT, format.size.width(), "height", G_TYPE_INT, format.size.height(), "framerate",
            GST_TYPE_FRACTION, format.rateNumerator, format.rateDenominator, nullptr);
        g_object_set(formatFilter, "caps", caps, nullptr);
        gst_caps_unref(caps);
    }

    GstElement* stillQueue = Make("queue", pipeline_);
    stillValve_ = Make("valve", pipeline_);
    GstElement* stillConvert = Make("videoconvert", pipeline_);
    GstElement* stillCaps = Make("capsfilter", pipeline_);
    GstElement* stillSink = Make("appsink", pipeline_);

    GstElement* previewQueue = Make("queue", pipeline_);
    previewValve_ = Make("valve", pipeline_);
    previewRate_ = Make("videorate", pipeline_);
    previewCrop_ = Make("videocrop", pipeline_);
    // One element that scales and converts in a single pass over the frame, scaling first.
    GstElement* previewScale = Make("videoconvertscale", pipeline_);
    previewCaps_ = Make("capsfilter", pipeline_);
    GstElement* previewSink = Make("appsink", pipeline_);
    for (GstElement* element :
         {formatFilter, tee_, stillQueue, stillValve_, stillConvert, stillCaps, stillSink, previewQueue,
          previewValve_, previewRate_, previewCrop_, previewScale, previewCaps_, previewSink}) {
        if (!element)
            return Result::GenericFailure;
    }
    // Each branch holds at most one frame: a slow receiver costs frames, never memory.
    for (GstElement* queue : {stillQueue, previewQueue})
        g_object_set(queue, "max-size-buffers", 1, "max-size-bytes", 0, "max-size-time", guint64(0), "leaky",
                     2, nullptr);
    g_object_set(stillValve_, "drop", TRUE, nullptr);
    g_object_set(previewValve_, "drop", TRUE, nullptr);
    // Frames are only ever dropped to keep the preview's rate down, never repeated.
    g_object_set(previewRate_, "drop-only", TRUE, nullptr);
    GstCaps* rgb = gst_caps_from_string("video/x-raw,format=RGB");
    g_object_set(stillCaps, "caps", rgb, nullptr);
    gst_caps_unref(rgb);
    GstCaps* bgrx = gst_caps_from_string("video/x-raw,format=BGRx");
    g_object_set(previewCaps_, "caps", bgrx, nullptr);
    gst_caps_unref(bgrx);

    GstAppSinkCallbacks stillCallbacks{};
    stillCallbacks.new_sample = CapturePipelineCallbacks::OnStillSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(stillSink), &stillCallbacks, this, nullptr);
    GstAppSinkCallbacks previewCallbacks{};
    previewCallbacks.new_sample = CapturePipelineCallbacks::OnPreviewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(previewSink), &previewCallbacks, this, nullptr);
    for (GstElement* sink : {stillSink, previewSink})
        g_object_set(sink, "sync", FALSE, "max-buffers", 1, "drop", TRUE, "async", FALSE, nullptr);

    if (!gst_element_link_many(source, formatFilter, tee_, nullptr) ||
        !gst_element_link_many(tee_, stillQueue, stillValve_, stillConvert, stillCaps, stillSink, nullptr) ||
        !gst_element_link_many(tee_, previewQueue, previewValve_, previewRate_, previewCrop_, previewScale,
                               previewCaps_, previewSink, nullptr))
        return Result::GenericFailure;

    GstPad* teeSink = gst_element_get_static_pad(tee_, "sink");
    gst_pad_add_probe(teeSink, GST_PAD_PROBE_TYPE_BUFFER, CapturePipelineCallbacks::OnSourceBuffer, this,
                      nullptr);
    gst_pad_add_probe(teeSink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, CapturePipelineCallbacks::OnSourceCaps,
                      this, nullptr);
    gst_object_unref(teeSink);

    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, CapturePipelineCallbacks::OnBusMessage, this, nullptr);
    gst_object_unref(bus);

    // Opening the device happens here, so a device that cannot be opened fails the connection.
    if (gst_element_set_state(pipeline_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE)
        return Result::FromErrno(ENODEV);
    return Result::Ok;
}

bool CapturePipeline::Play()
{
    return pipeline_ && gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
}

void CapturePipeline::Stop()
{
    if (!pipeline_)
        return;
    stopping_ = true;
    // A streaming thread resting between frames must not hold up the state change. Only this
    // pipeline stops resting: the flow goes on with the connection's next one.
    flow_.Wake();
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_);
    // The elements went with the pipeline.
    pipeline_ = source_ = tee_ = stillValve_ = previewValve_ = previewCaps_ = nullptr;
    std::lock_guard lock(cropMutex_);
    previewCrop_ = previewRate_ = nullptr;
}

void CapturePipeline::RequestStill()
{
    if (!stillValve_ || stopping_)
        return;
    stillWanted_ = true;
    g_object_set(stillValve_, "drop", FALSE, nullptr);
}

void CapturePipeline::SetPreviewSize(const QSize& size)
{
    if (!previewCaps_ || size == previewSize_)
        return;
    previewSize_ = size;
    if (size.isEmpty()) {
        g_object_set(previewValve_, "drop", TRUE, nullptr);
        return;
    }
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT,
                                        size.width(), "height", G_TYPE_INT, size.height(),
                                        "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(previewCaps_, "caps", caps, nullptr);
    gst_caps_unref(caps);
    g_object_set(previewRate_, "max-rate", PreviewMaxRate(size), nullptr);
    g_object_set(previewValve_, "drop", FALSE, nullptr);
}

int CapturePipeline::PreviewMaxRate(const QSize& size)
{
    // Scaling each frame is most of the preview's cost: a large preview (a detached window)
    // gets fewer frames a second, so that it costs no more than a page's preview would.
    const qint64 pixels = qint64(std::max(size.width(), 1)) * std::max(size.height(), 1);
    return int(std::clamp<qint64>(PreviewPixelsPerSecond / pixels, MinPreviewRate, MaxPreviewRate));
}

void CapturePipeline::SetSourceRect(const QRect& rect)
{
    {
        std::lock_guard lock(cropMutex_);
        sourceRect_ = rect;
    }
    ApplySourceRect(NativeSize());
}

void CapturePipeline::ApplySourceRect(const QSize& native)
{
    std::lock_guard lock(cropMutex_);
    if (!previewCrop_ || stopping_)
        return;
    // Before the first frame the size is unknown; the caps event applies it then.
    const QRect shown = sourceRect_.isEmpty() || native.isEmpty()
                            ? QRect()
                            : sourceRect_.intersected(QRect(QPoint(0, 0), native));
    const int left = shown.isEmpty() ? 0 : shown.left();
    const int top = shown.isEmpty() ? 0 : shown.top();
    const int right = shown.isEmpty() ? 0 : native.width() - shown.right() - 1;
    const int bottom = shown.isEmpty() ? 0 : native.height() - shown.bottom() - 1;
    g_object_set(previewCrop_, "left", left, "top", top, "right", right, "bottom", bottom, nullptr);
}

QSize CapturePipeline::NativeSize(int* aspectX, int* aspectY) const
{
    if (!tee_)
        return QSize();
    GstPad* pad = gst_element_get_static_pad(tee_, "sink");
    GstCaps* caps = gst_pad_get_current_caps(pad);
    gst_object_unref(pad);
    QSize size;
    if (caps) {
        GstVideoInfo info;
        if (gst_video_info_from_caps(&info, caps)) {
            size = QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
            if (aspectX)
                *aspectX = GST_VIDEO_INFO_PAR_N(&info);
            if (aspectY)
                *aspectY = GST_VIDEO_INFO_PAR_D(&info);
        }
        gst_caps_unref(caps);
    }
    return size;
}

namespace {
void AddRates(const GstStructure* structure, const CaptureFormat& base, QList<CaptureFormat>& formats)
{
    const GValue* rates = gst_structure_get_value(structure, "framerate");
    auto add = [&](int numerator, int denominator) {
        if (numerator <= 0 || denominator <= 0)
            return;
        CaptureFormat format = base;
        format.rateNumerator = numerator;
        format.rateDenominator = denominator;
        if (!formats.contains(format))
            formats.append(format);
    };
    if (!rates)
        return;
    if (GST_VALUE_HOLDS_FRACTION(rates)) {
        add(gst_value_get_fraction_numerator(rates), gst_value_get_fraction_denominator(rates));
    } else if (GST_VALUE_HOLDS_LIST(rates)) {
        for (guint i = 0; i < gst_value_list_get_size(rates); ++i) {
            const GValue* rate = gst_value_list_get_value(rates, i);
            if (GST_VALUE_HOLDS_FRACTION(rate))
                add(gst_value_get_fraction_numerator(rate), gst_value_get_fraction_denominator(rate));
        }
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(rates)) {
        // A continuous range: its fastest rate stands for it.
        const GValue* fastest = gst_value_get_fraction_range_max(rates);
        add(gst_value_get_fraction_numerator(fastest), gst_value_get_fraction_denominator(fastest));
    }
}

// The colour-balance element of a source: the source itself or, for a bin, the child that has
// one.
GstColorBalance* BalanceOf(GstElement* source)
{
    if (!source)
        return nullptr;
    if (GST_IS_COLOR_BALANCE(source))
        return GST_COLOR_BALANCE(gst_object_ref(source));
    if (GST_IS_BIN(source)) {
        if (GstElement* child = gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE))
            return GST_COLOR_BALANCE(child);
    }
    return nullptr;
}
} // namespace

QList<CaptureFormat> CapturePipeline::Formats() const
{
    QList<CaptureFormat> formats;
    if (network_)
        return formats; // the camera's server decides
    if (TestCamera::IsTestCameraPath(devicePath_)) {
        for (const TestCamera::Mode& mode : TestCamera::Modes(devicePath_))
            formats.append({QStringLiteral("YUY2"), mode.size, mode.fps, 1});
        return formats;
    }
    if (!source_)
        return formats;
    GstPad* pad = gst_element_get_static_pad(source_, "src");
    GstCaps* caps = pad ? gst_pad_query_caps(pad, nullptr) : nullptr;
    if (pad)
        gst_object_unref(pad);
    if (!caps)
        return formats;
    constexpr int MostFormats = 500; // a device that claims more is not listed in full
    for (guint i = 0; i < gst_caps_get_size(caps) && formats.size() < MostFormats; ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        int width = 0, height = 0;
        if (!gst_structure_has_name(structure, "video/x-raw") ||
            !gst_structure_get_int(structure, "width", &width) ||
            !gst_structure_get_int(structure, "height", &height))
            continue;
        QStringList pixelFormats;
        const GValue* value = gst_structure_get_value(structure, "format");
        if (value && G_VALUE_HOLDS_STRING(value)) {
            pixelFormats << QString::fromUtf8(g_value_get_string(value));
        } else if (value && GST_VALUE_HOLDS_LIST(value)) {
            for (guint j = 0; j < gst_value_list_get_size(value); ++j) {
                const GValue* item = gst_value_list_get_value(value, j);
                if (G_VALUE_HOLDS_STRING(item))
                    pixelFormats << QString::fromUtf8(g_value_get_string(item));
            }
        }
        for (const QString& pixelFormat : pixelFormats)
            AddRates(structure, CaptureFormat{pixelFormat, QSize(width, height), 0, 1}, formats);
    }
    gst_caps_unref(caps);
    return formats;
}

QList<CaptureControl> CapturePipeline::Controls() const
{
    QList<CaptureControl> controls;
    GstColorBalance* balance = BalanceOf(source_);
    if (!balance)
        return controls;
    for (const GList* item = gst_color_balance_list_channels(balance); item; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        if (!channel->label || channel->min_value >= channel->max_value)
            continue;
        controls.append({QString::fromUtf8(channel->label), channel->min_value, channel->max_value,
                         gst_color_balance_get_value(balance, channel)});
    }
    gst_object_unref(balance);
    return controls;
}

bool CapturePipeline::SetControl(const QString& name, int value)
{
    GstColorBalance* balance = BalanceOf(source_);
    if (!balance)
        return false;
    bool found = false;
    for (const GList* item = gst_color_balance_list_channels(balance); item && !found; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        if (channel->label && QString::fromUtf8(channel->label) == name) {
            gst_color_balance_set_value(balance, channel,
                                        std::clamp(value, channel->min_value, channel->max_value));
            found = true;
        }
    }
    gst_object_unref(balance);
    return found;
}
