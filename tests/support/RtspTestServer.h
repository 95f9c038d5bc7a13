#pragma once

#include <QString>

#include <atomic>
#include <thread>
#include <vector>

// GLib and GStreamer types, kept out of the tests that only start and stop the server.
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GSource GSource;
typedef struct _GstRTSPServer GstRTSPServer;
typedef struct _GstRTSPMedia GstRTSPMedia;

struct RtspTestServerOptions
{
    int width = 320;
    int height = 240;
    int fps = 10;
    QString pattern = QStringLiteral("ball"); // videotestsrc's; a moving one, so frames differ
    QString path = QStringLiteral("/cam");
    // With a user, basic authentication is required and only that user may play the stream.
    QString user;
    QString password;
    // One pipeline for every client, as a camera has one sensor; otherwise one each.
    bool shared = true;
};

// An RTSP camera on 127.0.0.1: a test pattern as MJPEG over RTP at one path. The server runs on
// a main loop of its own, on a thread this object owns; Stop() closes every client connection
// and ends every pipeline, so a connected client sees the camera go, and Start() may then serve
// the same port again.
class RtspTestServer final
{
public:
    explicit RtspTestServer(const RtspTestServerOptions& options = RtspTestServerOptions());
    ~RtspTestServer();
    RtspTestServer(const RtspTestServer&) = delete;
    RtspTestServer& operator=(const RtspTestServer&) = delete;

    // Serves `port`, or a free one for 0. False, with Trouble() saying why, when it cannot.
    bool Start(quint16 port = 0);
    void Stop();

    bool Running() const { return thread_.joinable(); }
    QString Trouble() const { return trouble_; }
    quint16 Port() const { return port_; }
    // rtsp://127.0.0.1:PORT/cam, without credentials.
    QString Url() const;
    // How many pipelines the clients have had built since the server was made.
    int PipelinesBuilt() const { return pipelinesBuilt_; }

private:
    bool Fail(const QString& trouble);
    void TearDownInLoop();
    void Release();

    RtspTestServerOptions options_;
    QString trouble_;
    quint16 port_ = 0;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    GstRTSPServer* server_ = nullptr;
    GSource* listener_ = nullptr;
    std::thread thread_;
    // Every pipeline built, touched only on the server's thread (and after it has ended).
    std::vector<GstRTSPMedia*> media_;
    std::atomic<int> pipelinesBuilt_{0};
};
