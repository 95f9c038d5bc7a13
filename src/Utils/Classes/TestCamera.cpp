#include "TestCamera.h"

#include <QHash>
#include <QRegularExpression>

#include <gst/gst.h>

#include <mutex>

namespace TestCamera {
namespace {
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
    static const QRegularExpression pattern(QStringLiteral("^pixlet-test-camera:(\\d{1,5})x(\\d{1,5})@(\\d{1,3})$"));
    const QRegularExpressionMatch match = pattern.match(path);
    if (!match.hasMatch())
        return false;
    mode.size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    mode.fps = match.captured(3).toInt();
    return !mode.size.isEmpty() && mode.fps > 0;
}

GstElement* MakeSource(const QString& path)
{
    Mode mode;
    if (!ParseMode(path, mode) || IsGone(path))
        return nullptr;
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    if (!bin || !source || !filter) {
        for (GstElement* element : {bin, source, filter}) {
            if (element)
                gst_object_unref(element);
        }
        return nullptr;
    }
    g_object_set(source, "is-live", TRUE, "pattern", 18 /* ball */, nullptr);
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "YUY2", "width", G_TYPE_INT,
                                        mode.size.width(), "height", G_TYPE_INT, mode.size.height(), "framerate",
                                        GST_TYPE_FRACTION, mode.fps, 1, nullptr);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), source, filter, nullptr);
    gst_element_link(source, filter);
    GstPad* out = gst_element_get_static_pad(filter, "src");
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
