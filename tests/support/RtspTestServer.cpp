#include "RtspTestServer.h"

#include <QByteArray>

#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

namespace {
constexpr const char* UserRole = "camera-user";

GstRTSPFilterResult RemoveClient(GstRTSPServer*, GstRTSPClient*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult RemoveSession(GstRTSPSessionPool*, GstRTSPSession*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}
} // namespace

RtspTestServer::RtspTestServer(const RtspTestServerOptions& options) : options_(options) {}

RtspTestServer::~RtspTestServer()
{
    Stop();
}

QString RtspTestServer::Url() const
{
    return QStringLiteral("rtsp://127.0.0.1:%1%2").arg(port_).arg(options_.path);
}

bool RtspTestServer::Start(quint16 port)
{
    Stop();
    trouble_.clear();
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        const QString why = QString::fromUtf8(error->message);
        g_error_free(error);
        return Fail(QStringLiteral("GStreamer cannot start: ") + why);
    }
    if (options_.width < 16 || options_.width > 4096 || options_.height < 16 || options_.height > 4096 ||
        options_.fps < 1 || options_.fps > 60)
        return Fail(QStringLiteral("no test pattern of %1x%2 at %3 fps")
                        .arg(options_.width)
                        .arg(options_.height)
                        .arg(options_.fps));
    if (!options_.path.startsWith(QLatin1Char('/')))
        return Fail(QStringLiteral("the stream's path must start with '/': ") + options_.path);

    context_ = g_main_context_new();
    server_ = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server_, "127.0.0.1");
    gst_rtsp_server_set_service(server_, QByteArray::number(port).constData());
    // Clients are served on this object's own loop, not on threads of the server's pool, so that
    // Stop() can close them all from that loop and nothing of theirs runs on afterwards.
    GstRTSPThreadPool* threads = gst_rtsp_server_get_thread_pool(server_);
    gst_rtsp_thread_pool_set_max_threads(threads, 0);
    g_object_unref(threads);

    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    const QByteArray launch = QStringLiteral("( videotestsrc is-live=true pattern=%1 ! "
                                             "video/x-raw,format=I420,width=%2,height=%3,framerate=%4/1 ! "
                                             "jpegenc ! rtpjpegpay name=pay0 pt=96 )")
                                  .arg(options_.pattern)
                                  .arg(options_.width)
                                  .arg(options_.height)
                                  .arg(options_.fps)
                                  .toUtf8();
    gst_rtsp_media_factory_set_launch(factory, launch.constData());
    gst_rtsp_media_factory_set_shared(factory, options_.shared);
    g_signal_connect(factory, "media-configure",
                     G_CALLBACK(+[](GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer self) {
                         auto* server = static_cast<RtspTestServer*>(self);
                         server->media_.push_back(GST_RTSP_MEDIA(g_object_ref(media)));
                         ++server->pipelinesBuilt_;
                     }),
                     this);

    if (!options_.user.isEmpty()) {
        // Only the one user may see or build the stream; with no default token, a client without
        // credentials (or with wrong ones) is refused.
        GstRTSPAuth* auth = gst_rtsp_auth_new();
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, UserRole, nullptr);
        gchar* basic = gst_rtsp_auth_make_basic(options_.user.toUtf8().constData(),
                                                options_.password.toUtf8().constData());
        gst_rtsp_auth_add_basic(auth, basic, token);
        g_free(basic);
        gst_rtsp_token_unref(token);
        gst_rtsp_server_set_auth(server_, auth);
        g_object_unref(auth);
        gst_rtsp_media_factory_add_role(factory, UserRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN,
                                        TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE,
                                        nullptr);
    }

    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    gst_rtsp_mount_points_add_factory(mounts, options_.path.toUtf8().constData(), factory);
    g_object_unref(mounts);

    listener_ = gst_rtsp_server_create_source(server_, nullptr, &error);
    if (!listener_) {
        const QString why = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
        g_clear_error(&error);
        return Fail(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(why));
    }
    g_source_attach(listener_, context_);
    const int bound = gst_rtsp_server_get_bound_port(server_);
    if (bound <= 0 || bound > 65535)
        return Fail(QStringLiteral("the server's port is unknown"));
    port_ = static_cast<quint16>(bound);

    loop_ = g_main_loop_new(context_, FALSE);
    thread_ = std::thread([this] {
        g_main_context_push_thread_default(context_);
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    return true;
}

void RtspTestServer::Stop()
{
    if (thread_.joinable()) {
        // The teardown runs on the server's own loop, where the clients live; the loop then ends.
        GSource* idle = g_idle_source_new();
        g_source_set_priority(idle, G_PRIORITY_HIGH);
        g_source_set_callback(
            idle,
            [](gpointer self) -> gboolean {
                static_cast<RtspTestServer*>(self)->TearDownInLoop();
                return G_SOURCE_REMOVE;
            },
            this, nullptr);
        g_source_attach(idle, context_);
        g_source_unref(idle);
        thread_.join();
    }
    Release();
}

void RtspTestServer::TearDownInLoop()
{
    // No new connections; the listening socket itself closes when its source is freed.
    g_source_destroy(listener_);
    // Every client's connection is closed, so a player sees the camera go rather than waiting
    // on a silent connection.
    GList* removed = gst_rtsp_server_client_filter(server_, RemoveClient, nullptr);
    g_list_free_full(removed, g_object_unref);
    GstRTSPSessionPool* sessions = gst_rtsp_server_get_session_pool(server_);
    removed = gst_rtsp_session_pool_filter(sessions, RemoveSession, nullptr);
    g_list_free_full(removed, g_object_unref);
    g_object_unref(sessions);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server_);
    gst_rtsp_mount_points_remove_factory(mounts, options_.path.toUtf8().constData());
    g_object_unref(mounts);
    // A pipeline still running (a shared one some session kept) stops here, not at some later
    // session timeout.
    for (GstRTSPMedia* media : media_) {
        gst_rtsp_media_unprepare(media);
        g_object_unref(media);
    }
    media_.clear();
    g_main_loop_quit(loop_);
}

bool RtspTestServer::Fail(const QString& trouble)
{
    Release();
    trouble_ = trouble;
    return false;
}

void RtspTestServer::Release()
{
    for (GstRTSPMedia* media : media_) {
        gst_rtsp_media_unprepare(media);
        g_object_unref(media);
    }
    media_.clear();
    if (listener_) {
        g_source_destroy(listener_);
        g_source_unref(listener_);
        listener_ = nullptr;
    }
    if (server_) {
        g_object_unref(server_);
        server_ = nullptr;
    }
    if (loop_) {
        g_main_loop_unref(loop_);
        loop_ = nullptr;
    }
    if (context_) {
        g_main_context_unref(context_);
        context_ = nullptr;
    }
    port_ = 0;
}
