#include "SmtpServers.h"

#include <QFile>
#include <QTcpSocket>

AiosmtpdServer::AiosmtpdServer()
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(PIXLET_TEST_SUPPORT "/smtp_server.py"), directory_.path()});
    if (!process_.waitForStarted(10000) || !process_.waitForReadyRead(20000))
        return;
    port_ = static_cast<quint16>(process_.readLine().trimmed().toUInt());
}

AiosmtpdServer::~AiosmtpdServer()
{
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QHash<QString, QString> AiosmtpdServer::ParseMessage(const QString& path, const QString& attachment)
{
    QProcess parser;
    parser.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(PIXLET_TEST_SUPPORT "/mime_check.py"), path, attachment});
    parser.waitForFinished(20000);
    QHash<QString, QString> fields;
    for (const QByteArray& line : parser.readAllStandardOutput().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            fields.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
    }
    return fields;
}

ScriptedSmtpServer::ScriptedSmtpServer(Script script) : script_(std::move(script))
{
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedSmtpServer::OnConnection);
    server_.listen(QHostAddress::LocalHost, 0);
}

void ScriptedSmtpServer::OnConnection()
{
    QTcpSocket* socket = server_.nextPendingConnection();
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnData(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { clientClosed = true; });
    if (script_.silent)
        return;
    if (script_.floodBytes > 0) {
        socket->write(QByteArray(script_.floodBytes, 'x'));
        return;
    }
    socket->write(script_.greeting);
}

void ScriptedSmtpServer::OnData(QTcpSocket* socket)
{
    pending_ += socket->readAll();
    for (;;) {
        if (inData_) {
            const qsizetype end = pending_.indexOf("\r\n.\r\n");
            if (end < 0)
                return;
            message = pending_.left(end + 5);
            pending_.remove(0, end + 5);
            inData_ = false;
        } else {
            const qsizetype end = pending_.indexOf("\r\n");
            if (end < 0)
                return;
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 2);
            commands.append(QString::fromUtf8(line));
            if (line == "DATA" && next_ < script_.replies.size() && script_.replies[next_].startsWith("354"))
                inData_ = true;
        }
        if (next_ == script_.hangUpAfter) {
            socket->disconnectFromHost();
            return;
        }
        if (next_ < script_.replies.size()) {
            const QByteArray reply = script_.replies[next_++];
            socket->write(reply);
            if (reply.startsWith("221") && script_.closeAfterQuit) {
                socket->flush();
                socket->disconnectFromHost();
            }
        }
    }
}
