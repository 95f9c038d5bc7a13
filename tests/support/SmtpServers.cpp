#include "SmtpServers.h"

#include "TestCertificate.h"

#include <QDir>
#include <QFile>
#include <QSslSocket>

AiosmtpdServer::AiosmtpdServer(const AiosmtpdOptions& options)
{
    QStringList arguments = {QStringLiteral(PIXLET_TEST_SUPPORT "/smtp_server.py"), directory_.path()};
    if (options.port != 0)
        arguments << QString::number(options.port);
    if (options.certificate)
        arguments << "--cert"
                  << (options.sendIssuer ? options.certificate->ChainPath()
                                         : options.certificate->CertificatePath())
                  << "--key" << options.certificate->KeyPath();
    if (options.startTls)
        arguments << "--starttls";
    if (options.implicitTls)
        arguments << "--implicit-tls";
    if (!options.login.isEmpty())
        arguments << "--login" << options.login;
    if (options.loginInPlainText)
        arguments << "--login-in-plain-text";
    if (options.noPlain)
        arguments << "--no-plain";
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
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

QStringList AiosmtpdServer::Commands() const
{
    QFile log(QDir(directory_.path()).filePath(QStringLiteral("commands.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(log.read(64 * 1024)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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

void ScriptedSmtpServer::Listener::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

void ScriptedSmtpServer::StartTls(QSslSocket* socket)
{
    socket->setLocalCertificate(script_.certificate->Certificate());
    socket->setPrivateKey(script_.certificate->Key());
    socket->startServerEncryption();
}

void ScriptedSmtpServer::OnConnection()
{
    auto* socket = static_cast<QSslSocket*>(server_.nextPendingConnection());
    socket->setParent(this);
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { OnData(socket); });
    connect(socket, &QSslSocket::disconnected, this, [this] { clientClosed = true; });
    connect(socket, &QSslSocket::encrypted, this, [this] { encrypted = true; });
    if (script_.silent)
        return;
    if (script_.certificate && script_.implicitTls)
        StartTls(socket); // the greeting waits for the handshake
    if (script_.floodBytes > 0) {
        socket->write(QByteArray(script_.floodBytes, 'x'));
        return;
    }
    socket->write(script_.greeting);
}

void ScriptedSmtpServer::OnData(QSslSocket* socket)
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
            if (!commands.isEmpty() && commands.last() == "STARTTLS" && reply.startsWith("220") &&
                script_.certificate) {
                socket->flush();
                pending_.clear();
                StartTls(socket);
                return;
            }
        }
    }
}
