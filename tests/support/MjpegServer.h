#pragma once

#include <QProcess>
#include <QString>

struct MjpegServerOptions
{
    int width = 320;
    int height = 240;
    int fps = 10;
    // With a user, basic authentication is required.
    QString user;
    QString password;
    // The server ends itself after this long whatever happens, so none outlives a test run.
    int stopAfterSeconds = 120;
};

// An HTTP camera on 127.0.0.1 (mjpeg_server.py): an MJPEG stream at /video. Stop() ends the
// process, which closes every client's connection; Start() may then serve the same port again.
class MjpegServer final
{
public:
    explicit MjpegServer(const MjpegServerOptions& options = MjpegServerOptions());
    ~MjpegServer();
    MjpegServer(const MjpegServer&) = delete;
    MjpegServer& operator=(const MjpegServer&) = delete;

    // Serves `port`, or a free one for 0. False, with Trouble() saying why, when it cannot.
    bool Start(quint16 port = 0);
    void Stop();

    bool Running() const { return port_ != 0; }
    QString Trouble() const { return trouble_; }
    quint16 Port() const { return port_; }
    // http://127.0.0.1:PORT/video, without credentials.
    QString Url() const;

private:
    bool Fail(const QString& trouble);

    MjpegServerOptions options_;
    QProcess process_;
    QString trouble_;
    quint16 port_ = 0;
};
