#include "NetworkSource.h"

#include "CaptureFlow.h"

#include <gst/gst.h>

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace {
constexpr guint RtspLatencyMs = 200;
// Without UDP packets for this long the RTSP source asks for the stream over TCP instead: a
// third of the camera's limit, so that TCP still has time within it, and at most 3 s.
guint64 RtspUdpTimeoutUs(int connectTimeoutMs)
{
    return guint64(std::clamp(connectTimeoutMs / 3, 300, 3000)) * 1000;
}

// Sets a property when the element has it, converting from milliseconds to the property's
// own unit (RTSP's are microseconds, HTTP's seconds).
void SetIfPresent(GstElement* element, const char* name, const char* text)
{
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), name))
        g_object_set(element, name, text, nullptr);
}

void SetTimeout(GstElement* element, const char* name, int ms)
{
    GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(element), name);
    if (!spec)
        return;
    if (spec->value_type == G_TYPE_UINT64)
        g_object_set(element, name, guint64(ms) * 1000, nullptr);
    else if (spec->value_type == G_TYPE_UINT)
        g_object_set(element, name, guint(std::max(1, (ms + 999) / 1000)), nullptr);
}

// What the signal handlers need, freed with the decoder.
struct SourceContext
{
    NetworkStream stream;
    const CaptureFlow* flow = nullptr;
};

void OnSourceSetup(GstElement*, GstElement* source, gpointer data)
{
    const auto& stream = static_cast<const SourceContext*>(data)->stream;
    if (!stream.user.isEmpty()) {
        SetIfPresent(source, "user-id", stream.user.toUtf8().constData());
        SetIfPresent(source, "user-pw", stream.password.toUtf8().constData());
    }
    GObjectClass* type = G_OBJECT_GET_CLASS(source);
    if (g_object_class_find_property(type, "tcp-timeout")) {
        // RTSP: a server that stops answering fails the connection; late packets are dropped
        // rather than kept.
        SetTimeout(source, "tcp-timeout", stream.connectTimeoutMs);
        g_object_set(source, "timeout", RtspUdpTimeoutUs(stream.connectTimeoutMs), "latency", RtspLatencyMs,
                     nullptr);
        if (g_object_class_find_property(type, "drop-on-latency"))
            g_object_set(source, "drop-on-latency", TRUE, nullptr);
    } else {
        SetTimeout(source, "timeout", stream.connectTimeoutMs);
        if (g_object_class_find_property(type, "is-live"))
            g_object_set(source, "is-live", TRUE, nullptr);
    }
}

// An HTTP camera's MJPEG comes as one multipart stream: told so, the demuxer hands on each
// frame at once instead of waiting for more streams (and megabytes) before the first picture.
// While the capture thread rests, a JPEG frame would be decoded only to be dropped behind it.
GstPadProbeReturn OnJpegFrame(GstPad*, GstPadProbeInfo*, gpointer data)
{
    return static_cast<const CaptureFlow*>(data)->Resting() ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer data)
{
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* name = factory ? GST_OBJECT_NAME(factory) : nullptr;
    if (g_strcmp0(name, "multipartdemux") == 0 &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), "single-stream"))
        g_object_set(element, "single-stream", TRUE, nullptr);
    if (g_strcmp0(name, "jpegdec") == 0 || g_strcmp0(name, "avdec_mjpeg") == 0) {
        if (GstPad* sink = gst_element_get_static_pad(element, "sink")) {
            gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_BUFFER, OnJpegFrame,
                              const_cast<CaptureFlow*>(static_cast<const SourceContext*>(data)->flow),
                              nullptr);
            gst_object_unref(sink);
        }
    }
}

// The decoder's video goes to the newest-frame queue; anything else (the camera's sound) is
// taken and dropped, so that an unlinked stream does not stop the whole.
void OnDecodedPad(GstElement* decoder, GstPad* pad, gpointer data)
{
    auto* queue = static_cast<GstElement*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps)
        caps = gst_pad_query_caps(pad, nullptr);
    const bool video = caps && gst_caps_get_size(caps) > 0 &&
                       g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/");
    if (caps)
        gst_caps_unref(caps);
    GstPad* queueSink = gst_element_get_static_pad(queue, "sink");
    if (video && !gst_pad_is_linked(queueSink)) {
        gst_pad_link(pad, queueSink);
    } else if (GstObject* bin = gst_element_get_parent(decoder)) {
        GstElement* sink = gst_element_factory_make("fakesink", nullptr);
        if (sink) {
            g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
            gst_bin_add(GST_BIN(bin), sink);
            GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
            gst_pad_link(pad, sinkPad);
            gst_object_unref(sinkPad);
            gst_element_sync_state_with_parent(sink);
        }
        gst_object_unref(bin);
    }
    gst_object_unref(queueSink);
}
} // namespace

GstElement* NetworkSource::Make(const NetworkStream& stream, const CaptureFlow& flow)
{
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* decoder = gst_element_factory_make("uridecodebin", nullptr);
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    if (!bin || !decoder || !queue) {
        for (GstElement* element : {bin, decoder, queue}) {
            if (element)
                gst_object_unref(element);
        }
        return nullptr;
    }
    gst_bin_add_many(GST_BIN(bin), decoder, queue, nullptr);
    g_object_set(decoder, "uri", stream.url.toUtf8().constData(), nullptr);
    // Decoded in ordinary memory, whatever hardware decoders the system offers.
    GstCaps* raw = gst_caps_from_string("video/x-raw; audio/x-raw");
    g_object_set(decoder, "caps", raw, nullptr);
    gst_caps_unref(raw);
    g_object_set(queue, "max-size-buffers", 1, "max-size-bytes", 0, "max-size-time", guint64(0), "leaky", 2,
                 nullptr);
    GstPad* queueSource = gst_element_get_static_pad(queue, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("src", queueSource));
    gst_object_unref(queueSource);
    auto* context = new SourceContext{stream, &flow};
    g_signal_connect_data(
        decoder, "source-setup", G_CALLBACK(OnSourceSetup), context,
        [](gpointer data, GClosure*) { delete static_cast<SourceContext*>(data); }, GConnectFlags(0));
    // Disconnected with the decoder, like the handler above that owns the context.
    g_signal_connect(decoder, "deep-element-added", G_CALLBACK(OnElementAdded), context);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(OnDecodedPad), queue);
    return bin;
}

QString NetworkSource::ShownUrl(const QString& url)
{
    QUrl parsed(url);
    if (!parsed.isValid())
        return QStringLiteral("(an address that cannot be read)");
    parsed.setUserInfo(QString());
    if (parsed.hasQuery())
        parsed.setQuery(QStringLiteral("..."));
    // Some cameras take credentials in the path too ("/user=admin&password=x&channel=1").
    static const QRegularExpression credential(
        QStringLiteral("((?:user|username|usr|password|passwd|pass|pwd|pw|token|key)=)[^&;/]*"),
        QRegularExpression::CaseInsensitiveOption);
    QString shown = parsed.toString();
    const qsizetype pathStart = shown.indexOf(QLatin1Char('/'), shown.indexOf(QLatin1String("//")) + 2);
    if (pathStart > 0)
        shown = shown.left(pathStart) + shown.mid(pathStart).replace(credential, QStringLiteral("\\1..."));
    return shown;
}

QString NetworkSource::Masked(const QString& text, const NetworkStream& stream)
{
    QString masked = text;
    if (!stream.url.isEmpty())
        masked.replace(stream.url, ShownUrl(stream.url));
    for (const QString& secret :
         {stream.password, QString::fromLatin1(QUrl::toPercentEncoding(stream.password))}) {
        if (secret.size() >= 3)
            masked.replace(secret, QStringLiteral("..."));
    }
    return masked;
}
