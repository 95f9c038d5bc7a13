#include "TestCamera.h"

#include "TestCameraFrames.h"

#include <QHash>
#include <QRegularExpression>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace TestCamera {
namespace {
constexpr int MaxSide = 8192;
constexpr int MaxFps = 240;

struct Condition
{
    bool stalled = false;
    bool gone = false;
};

std::mutex& Lock()
{
    static std::mutex mutex;
    return mutex;
}

QHash<int, std::function<void()>>& Listeners()
{
    static QHash<int, std::function<void()>> listeners;
    return listeners;
}

QHash<QString, Condition>& Conditions()
{
    static QHash<QString, Condition> conditions;
    return conditions;
}

Condition Current(const QString& path)
{
    std::lock_guard lock(Lock());
    return Conditions().value(path);
}

// The frames a camera replays and where it is in the loop; touched by its streaming thread only.
struct Feed
{
    std::shared_ptr<const TestCameraFrames> frames;
    std::size_t next = 0;
    GstClockTime frameDuration = 0;
    GstClockTime lastTime = GST_CLOCK_TIME_NONE;
};

// Each frame is stamped with the next frame boundary of the running time, so after the
// consumer has held the stream up the camera carries on from now rather than racing through
// the frames it "missed", as a driver that drops frames nobody fetched would.
void OnNeedData(GstAppSrc* source, guint, gpointer data)
{
    auto* feed = static_cast<Feed*>(data);
    const auto& buffers = feed->frames->Buffers();
    GstBuffer* buffer = gst_buffer_copy(buffers[feed->next++ % buffers.size()]);
    GstClockTime time = feed->lastTime == GST_CLOCK_TIME_NONE ? 0 : feed->lastTime + feed->frameDuration;
    if (GstClock* clock = gst_element_get_clock(GST_ELEMENT(source))) {
        const GstClockTime now = gst_clock_get_time(clock);
        const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(source));
        gst_object_unref(clock);
        if (now > base) {
            const GstClockTime running = now - base;
            const GstClockTime boundary =
                (running + feed->frameDuration - 1) / feed->frameDuration * feed->frameDuration;
            time = std::max(time, boundary);
        }
    }
    feed->lastTime = time;
    GST_BUFFER_PTS(buffer) = time;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(buffer) = feed->frameDuration;
    gst_app_src_push_buffer(source, buffer);
}

struct ProbeData
{
    QString path;
    bool reportedGone = false;
};

GstPadProbeReturn OnBuffer(GstPad* pad, GstPadProbeInfo*, gpointer data)
{
    auto* probe = static_cast<ProbeData*>(data);
    const Condition condition = Current(probe->path);
    if (condition.gone) {
        if (!probe->reportedGone) {
            probe->reportedGone = true;
            GstElement* element = gst_pad_get_parent_element(pad);
            GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                                                "The test camera has been disconnected");
            gst_element_post_message(element, gst_message_new_error(GST_OBJECT(element), error, "unplugged"));
            g_error_free(error);
            gst_object_unref(element);
        }
        return GST_PAD_PROBE_DROP;
    }
    return condition.stalled ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}
} // namespace

bool IsTestCameraPath(const QString& path)
{
    return path.startsWith(PathPrefix);
}

bool ParseMode(const QString& path, Mode& mode)
{
    if (path == PathPrefix)
        return true;
    static const QRegularExpression pattern(
        QStringLiteral("^pixlet-test-camera:(\\d{1,5})x(\\d{1,5})@(\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(path);
    if (!match.hasMatch())
        return false;
    mode.size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    mode.fps = match.captured(3).toInt();
    // A path from a hand-edited settings file must not ask for a loop of gigabyte frames.
    return !mode.size.isEmpty() && mode.size.width() <= MaxSide && mode.size.height() <= MaxSide &&
           mode.fps > 0 && mode.fps <= MaxFps;
}

QList<Mode> Modes(const QString& path)
{
    Mode own;
    if (!ParseMode(path, own))
        return {};
    QList<Mode> modes{own};
    for (const Mode& common : {Mode{{320, 240}, 15}, Mode{{640, 480}, 30}, Mode{{1280, 720}, 30}}) {
        if (common.size != own.size || common.fps != own.fps)
            modes.append(common);
    }
    return modes;
}

GstElement* MakeSource(const QString& path, const Mode* chosen)
{
    Mode mode;
    if (!ParseMode(path, mode) || IsGone(path))
        return nullptr;
    if (chosen) {
        if (chosen->size.isEmpty() || chosen->size.width() > MaxSide || chosen->size.height() > MaxSide ||
            chosen->fps <= 0 || chosen->fps > MaxFps)
            return nullptr;
        mode = *chosen;
    }
    auto feed = std::make_unique<Feed>();
    feed->frames = TestCameraFrames::ForMode(mode.size, mode.fps);
    feed->frameDuration = GST_SECOND / static_cast<GstClockTime>(mode.fps);
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstElement* pace = gst_element_factory_make("clocksync", nullptr);
    // Passes frames through untouched until a control leaves its middle setting.
    GstElement* balance = gst_element_factory_make("videobalance", nullptr);
    if (!feed->frames || !bin || !source || !pace || !balance) {
        for (GstElement* element : {bin, source, pace, balance}) {
            if (element)
                gst_object_unref(element);
        }
        return nullptr;
    }
    g_object_set(source, "is-live", TRUE, "format", GST_FORMAT_TIME, "caps", feed->frames->Caps(), nullptr);
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = OnNeedData;
    gst_app_src_set_callbacks(GST_APP_SRC(source), &callbacks, feed.release(),
                              [](gpointer data) { delete static_cast<Feed*>(data); });
    gst_bin_add_many(GST_BIN(bin), source, pace, balance, nullptr);
    gst_element_link_many(source, pace, balance, nullptr);
    // Dropped frames are dropped after the pacing, so a stalled camera idles instead of spinning.
    GstPad* out = gst_element_get_static_pad(balance, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("src", out));
    gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, OnBuffer, new ProbeData{path},
                      [](gpointer data) { delete static_cast<ProbeData*>(data); });
    gst_object_unref(out);
    return bin;
}

void SetStalled(const QString& path, bool stalled)
{
    std::lock_guard lock(Lock());
    Conditions()[path].stalled = stalled;
}

void SetGone(const QString& path, bool gone)
{
    QList<std::function<void()>> listeners;
    {
        std::lock_guard lock(Lock());
        Conditions()[path].gone = gone;
        listeners = Listeners().values();
    }
    for (const auto& listener : listeners)
        listener();
}

int AddChangeListener(std::function<void()> listener)
{
    static int next = 0;
    std::lock_guard lock(Lock());
    Listeners().insert(next, std::move(listener));
    return next++;
}

void RemoveChangeListener(int id)
{
    std::lock_guard lock(Lock());
    Listeners().remove(id);
}

bool IsGone(const QString& path)
{
    return Current(path).gone;
}

} // namespace TestCamera
