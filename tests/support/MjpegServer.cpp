#include "MjpegServer.h"

#include <QDeadlineTimer>

MjpegServer::MjpegServer(const MjpegServerOptions& options) : options_(options) {}

MjpegServer::~MjpegServer()
{
    Stop();
}

QString MjpegServer::Url() const
{
    return QStringLiteral("http://127.0.0.1:%1/video").arg(port_);
}

bool MjpegServer::Start(quint16 port)
{
    Stop();
    trouble_.clear();
    QStringList arguments = {QStringLiteral(PIXLET_TEST_SUPPORT "/mjpeg_server.py"),
                             QStringLiteral("--port"),
                             QString::number(port),
                             QStringLiteral("--width"),
                             QString::number(options_.width),
                             QStringLiteral("--height"),
                             QString::number(options_.height),
                             QStringLiteral("--fps"),
                             QString::number(options_.fps),
                             QStringLiteral("--stop-after"),
                             QString::number(options_.stopAfterSeconds)};
    if (!options_.user.isEmpty())
        arguments << QStringLiteral("--user") << options_.user << QStringLiteral("--password")
                  << options_.password;
    // Its complaints go to the test's own error output; only the port line is read.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!process_.waitForStarted(10000))
        return Fail(QStringLiteral("python3 did not start: ") + process_.errorString());
    // The frames are made before the port is printed; that takes a few seconds on a busy machine.
    const QDeadlineTimer deadline(30000);
    while (!process_.canReadLine() && !deadline.hasExpired() && process_.state() == QProcess::Running)
        process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    if (!process_.canReadLine())
        return Fail(process_.state() == QProcess::Running ? QStringLiteral("no port named in 30 s")
                                                          : QStringLiteral("the server ended before it took "
                                                                           "connections"));
    const QByteArray line = process_.readLine(64).trimmed();
    bool ok = false;
    const uint number = line.startsWith("PORT ") ? line.mid(5).toUInt(&ok) : 0;
    if (!ok || number == 0 || number > 65535)
        return Fail(QStringLiteral("unexpected first line: ") + QString::fromLatin1(line));
    port_ = static_cast<quint16>(number);
    return true;
}

void MjpegServer::Stop()
{
    port_ = 0;
    if (process_.state() == QProcess::NotRunning)
        return;
    // Closing its input asks it to end, closing its clients' connections; a server that does not
    // is killed.
    process_.closeWriteChannel();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool MjpegServer::Fail(const QString& trouble)
{
    Stop();
    trouble_ = trouble;
    return false;
}
