// The network cameras the tests stand up, each played by a real GStreamer client built the way a
// network camera source is: uridecodebin from the address, credentials on its source element.

#include "MjpegServer.h"
#include "RtspTestServer.h"

#include <QElapsedTimer>
#include <QSize>
#include <QString>
#include <QTcpServer>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <gtest/gtest.h>

#include <optional>

namespace {
const QString User = QStringLiteral("viewer");
const QString Password = QStringLiteral("cam-pass");

// How a stream ended, as the bus told it.
struct Ending
{
    bool eos = false;
    QString domain; // of the error, empty for end-of-stream
    int code = 0;
    QString message;
    QString debug;
    QString from;

    bool IsError(GQuark errorDomain, int errorCode) const
    {
        return domain == QString::fromUtf8(g_quark_to_string(errorDomain)) && code == errorCode;
    }
    QString Text() const
    {
        if (eos)
            return QStringLiteral("end-of-stream from ") + from;
        return QStringLiteral("error %1/%2 \"%3\" from %4 (%5)")
            .arg(domain)
            .arg(code)
            .arg(message, from, debug);
    }
};

// uridecodebin ! videoconvert ! appsink, as a network camera source plays an address.
class Player final
{
public:
    Player(const QString& url, const QString& user = {}, const QString& password = {},
           bool rtspOverTcp = false)
        : user_(user.toUtf8()), password_(password.toUtf8()), rtspOverTcp_(rtspOverTcp)
    {
        gst_init(nullptr, nullptr);
        pipeline_ = gst_pipeline_new(nullptr);
        GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
        convert_ = gst_element_factory_make("videoconvert", nullptr);
        sink_ = gst_element_factory_make("appsink", nullptr);
        if (!decode || !convert_ || !sink_)
            return;
        g_object_set(decode, "uri", url.toUtf8().constData(), nullptr);
        g_signal_connect(decode, "source-setup", G_CALLBACK(&Player::SetUpSource), this);
        g_signal_connect(decode, "pad-added", G_CALLBACK(&Player::LinkDecoded), convert_);
        g_signal_connect(pipeline_, "deep-element-added", G_CALLBACK(&Player::SetUpElement), nullptr);
        GstCaps* caps = gst_caps_from_string("video/x-raw,format=BGRx");
        // A slow test must not hold the stream up: only the newest frames are kept.
        g_object_set(sink_, "caps", caps, "sync", FALSE, "max-buffers", 2, "drop", TRUE, nullptr);
        gst_caps_unref(caps);
        gst_bin_add_many(GST_BIN(pipeline_), decode, convert_, sink_, nullptr);
        made_ = gst_element_link(convert_, sink_);
    }
    ~Player()
    {
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        gst_object_unref(pipeline_);
    }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    bool Play()
    {
        return made_ && gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE;
    }
    // The size of the next decoded frame, if one comes in time.
    std::optional<QSize> NextFrameSize(int timeoutMs)
    {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), timeoutMs * GST_MSECOND);
        if (!sample)
            return std::nullopt;
        QSize size;
        const GstStructure* format = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        int width = 0, height = 0;
        if (gst_structure_get_int(format, "width", &width) &&
            gst_structure_get_int(format, "height", &height))
            size = QSize(width, height);
        gst_sample_unref(sample);
        return size;
    }
    // The first error or end-of-stream on the bus, if one comes in time. Frames still arriving
    // are taken and dropped: appsink holds an end-of-stream back until its queue is empty.
    std::optional<Ending> WaitForEnding(int timeoutMs)
    {
        GstBus* bus = gst_element_get_bus(pipeline_);
        QElapsedTimer waiting;
        waiting.start();
        GstMessage* message = nullptr;
        while (!message && waiting.elapsed() < timeoutMs) {
            message = gst_bus_timed_pop_filtered(
                bus, 20 * GST_MSECOND, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
            while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), 0))
                gst_sample_unref(sample);
        }
        gst_object_unref(bus);
        if (!message)
            return std::nullopt;
        Ending ending;
        ending.from = QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message)));
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
            ending.eos = true;
        } else {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            ending.debug = QString::fromUtf8(debug);
            g_free(debug);
            ending.domain = QString::fromUtf8(g_quark_to_string(error->domain));
            ending.code = error->code;
            ending.message = QString::fromUtf8(error->message);
            g_error_free(error);
        }
        gst_message_unref(message);
        return ending;
    }

private:
    static void SetUpSource(GstElement*, GstElement* source, Player* self)
    {
        GObjectClass* type = G_OBJECT_GET_CLASS(source);
        if (!self->user_.isEmpty() && g_object_class_find_property(type, "user-id"))
            g_object_set(source, "user-id", self->user_.constData(), "user-pw", self->password_.constData(),
                         nullptr);
        // The default two seconds of jitter buffer would only make every test wait longer.
        if (g_object_class_find_property(type, "latency"))
            g_object_set(source, "latency", 100u, nullptr);
        if (self->rtspOverTcp_ && g_object_class_find_property(type, "protocols"))
            gst_util_set_object_arg(G_OBJECT(source), "protocols", "tcp");
    }
    // A multipart demuxer otherwise waits for more streams than the one an MJPEG camera sends,
    // and decodebin shows no picture until megabytes of frames have piled up.
    static void SetUpElement(GstBin*, GstBin*, GstElement* element, gpointer)
    {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (factory && g_str_equal(GST_OBJECT_NAME(factory), "multipartdemux"))
            g_object_set(element, "single-stream", TRUE, nullptr);
    }
    static void LinkDecoded(GstElement*, GstPad* pad, GstElement* convert)
    {
        GstPad* sinkPad = gst_element_get_static_pad(convert, "sink");
        if (!gst_pad_is_linked(sinkPad))
            gst_pad_link(pad, sinkPad);
        gst_object_unref(sinkPad);
    }

    QByteArray user_, password_;
    bool rtspOverTcp_ = false;
    GstElement* pipeline_ = nullptr;
    GstElement* convert_ = nullptr;
    GstElement* sink_ = nullptr;
    bool made_ = false;
};

// Frames come within this long of starting to play; a stopped server is noticed within it too.
constexpr int PlayerTimeoutMs = 10000;

// A port taken by `holder` for as long as it lives.
quint16 TakePort(QTcpServer& holder)
{
    return holder.listen(QHostAddress::LocalHost, 0) ? holder.serverPort() : 0;
}
} // namespace

// --- RTSP ---

// A client without credentials, and one with a wrong password, are refused as not authorized
// and get no frame; what GStreamer said is kept as a test property.
void ExpectRefusedWithoutTheRightPassword(const QString& url, const std::string& protocol)
{
    for (const auto& [user, password] :
         {std::pair(User, QStringLiteral("wrong")), std::pair(QString(), QString())}) {
        SCOPED_TRACE(user.isEmpty() ? "no credentials" : "wrong password");
        Player refused(url, user, password);
        ASSERT_TRUE(refused.Play());
        const std::optional<Ending> ending = refused.WaitForEnding(PlayerTimeoutMs);
        ASSERT_TRUE(ending.has_value()) << "no error in time";
        ::testing::Test::RecordProperty(protocol + (user.isEmpty() ? "_no_credentials" : "_wrong_password"),
                                        ending->Text().toStdString());
        EXPECT_TRUE(ending->IsError(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_AUTHORIZED))
            << ending->Text().toStdString();
        EXPECT_FALSE(refused.NextFrameSize(0).has_value());
    }
}

TEST(RtspTestServer, ServesFramesOfTheSizeAsked)
{
    RtspTestServerOptions options;
    options.width = 176;
    options.height = 144;
    RtspTestServer server(options);
    ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();
    EXPECT_NE(server.Port(), 0);
    EXPECT_EQ(server.Url(), QStringLiteral("rtsp://127.0.0.1:%1/cam").arg(server.Port()));

    Player player(server.Url());
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(player.NextFrameSize(PlayerTimeoutMs), QSize(176, 144));
    EXPECT_EQ(player.NextFrameSize(PlayerTimeoutMs), QSize(176, 144)) << "the stream goes on";
}

TEST(RtspTestServer, LetsOnlyTheUserWithThePasswordIn)
{
    RtspTestServerOptions options;
    options.user = User;
    options.password = Password;
    RtspTestServer server(options);
    ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();

    Player rightful(server.Url(), User, Password);
    ASSERT_TRUE(rightful.Play());
    EXPECT_EQ(rightful.NextFrameSize(PlayerTimeoutMs), QSize(options.width, options.height));

    ExpectRefusedWithoutTheRightPassword(server.Url(), "rtsp");
    EXPECT_EQ(server.PipelinesBuilt(), 1) << "a refused client has no pipeline built";
}

TEST(RtspTestServer, SharedCameraRunsOnePipelineForEveryClient)
{
    for (const bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "shared" : "one pipeline each");
        RtspTestServerOptions options;
        options.shared = shared;
        RtspTestServer server(options);
        ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();
        Player first(server.Url());
        Player second(server.Url());
        ASSERT_TRUE(first.Play());
        ASSERT_TRUE(second.Play());
        EXPECT_TRUE(first.NextFrameSize(PlayerTimeoutMs).has_value());
        EXPECT_TRUE(second.NextFrameSize(PlayerTimeoutMs).has_value());
        EXPECT_EQ(server.PipelinesBuilt(), shared ? 1 : 2);
    }
}

TEST(RtspTestServer, StopEndsTheClientsStreamAndAStartServesTheSamePortAgain)
{
    for (const bool overTcp : {false, true}) {
        SCOPED_TRACE(overTcp ? "RTP over the RTSP connection" : "RTP over UDP");
        RtspTestServer server;
        ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();
        const quint16 port = server.Port();
        const QString url = server.Url();
        Player player(url, {}, {}, overTcp);
        ASSERT_TRUE(player.Play());
        ASSERT_TRUE(player.NextFrameSize(PlayerTimeoutMs).has_value());

        QElapsedTimer stopping;
        stopping.start();
        server.Stop();
        EXPECT_LT(stopping.elapsed(), 1000) << "Stop() took too long";
        EXPECT_FALSE(server.Running());
        const std::optional<Ending> ending = player.WaitForEnding(PlayerTimeoutMs);
        ASSERT_TRUE(ending.has_value()) << "the client did not notice the server going";
        RecordProperty(overTcp ? "rtsp_tcp_server_stopped" : "rtsp_udp_server_stopped",
                       ending->Text().toStdString());

        ASSERT_TRUE(server.Start(port)) << server.Trouble().toStdString();
        EXPECT_EQ(server.Url(), url);
        Player again(url, {}, {}, overTcp);
        ASSERT_TRUE(again.Play());
        EXPECT_TRUE(again.NextFrameSize(PlayerTimeoutMs).has_value());
    }
}

TEST(RtspTestServer, APortInUseIsTroubleNotAServer)
{
    QTcpServer holder;
    const quint16 port = TakePort(holder);
    ASSERT_NE(port, 0);
    RtspTestServer server;
    EXPECT_FALSE(server.Start(port));
    EXPECT_FALSE(server.Running());
    EXPECT_FALSE(server.Trouble().isEmpty());

    RtspTestServerOptions absurd;
    absurd.width = 100000;
    RtspTestServer tooLarge(absurd);
    EXPECT_FALSE(tooLarge.Start());
    EXPECT_FALSE(tooLarge.Trouble().isEmpty());
}

// --- HTTP (MJPEG) ---

TEST(MjpegServer, ServesFramesOfTheSizeAsked)
{
    MjpegServerOptions options;
    options.width = 208;
    options.height = 120;
    MjpegServer server(options);
    ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();
    EXPECT_EQ(server.Url(), QStringLiteral("http://127.0.0.1:%1/video").arg(server.Port()));

    Player player(server.Url());
    ASSERT_TRUE(player.Play());
    EXPECT_EQ(player.NextFrameSize(PlayerTimeoutMs), QSize(208, 120));
    EXPECT_EQ(player.NextFrameSize(PlayerTimeoutMs), QSize(208, 120)) << "the stream goes on";
}

TEST(MjpegServer, LetsOnlyTheUserWithThePasswordIn)
{
    MjpegServerOptions options;
    options.user = User;
    options.password = Password;
    MjpegServer server(options);
    ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();

    Player rightful(server.Url(), User, Password);
    ASSERT_TRUE(rightful.Play());
    EXPECT_EQ(rightful.NextFrameSize(PlayerTimeoutMs), QSize(options.width, options.height));

    ExpectRefusedWithoutTheRightPassword(server.Url(), "http");
}

TEST(MjpegServer, StopEndsTheClientsStreamAndAStartServesTheSamePortAgain)
{
    MjpegServer server;
    ASSERT_TRUE(server.Start()) << server.Trouble().toStdString();
    const quint16 port = server.Port();
    const QString url = server.Url();
    Player player(url);
    ASSERT_TRUE(player.Play());
    ASSERT_TRUE(player.NextFrameSize(PlayerTimeoutMs).has_value());

    QElapsedTimer stopping;
    stopping.start();
    server.Stop();
    EXPECT_LT(stopping.elapsed(), 3000) << "Stop() took too long";
    EXPECT_FALSE(server.Running());
    const std::optional<Ending> ending = player.WaitForEnding(PlayerTimeoutMs);
    ASSERT_TRUE(ending.has_value()) << "the client did not notice the server going";
    RecordProperty("http_server_stopped", ending->Text().toStdString());

    ASSERT_TRUE(server.Start(port)) << server.Trouble().toStdString();
    EXPECT_EQ(server.Url(), url);
    Player again(url);
    ASSERT_TRUE(again.Play());
    EXPECT_TRUE(again.NextFrameSize(PlayerTimeoutMs).has_value());
}

TEST(MjpegServer, APortInUseIsTroubleNotAServer)
{
    QTcpServer holder;
    const quint16 port = TakePort(holder);
    ASSERT_NE(port, 0);
    MjpegServer server;
    EXPECT_FALSE(server.Start(port));
    EXPECT_FALSE(server.Running());
    EXPECT_FALSE(server.Trouble().isEmpty());
}
