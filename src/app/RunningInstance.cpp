#include "RunningInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr char ShowCommand[] = "show\n";
}

RunningInstance::RunningInstance(const QString& serverName, QObject* parent) : QObject(parent)
{
    QLocalServer::removeServer(serverName);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName))
        return; // a second start is then only refused
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                // One short command; anything else, or more of it, is not listened to.
                const QByteArray line = socket->read(16);
                if (line == ShowCommand)
                    emit ShowRequested();
                socket->disconnectFromServer();
            });
        }
    });
}

RunningInstance::~RunningInstance() = default;

bool RunningInstance::AskToShow(const QString& serverName, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(ShowCommand);
    return socket.waitForBytesWritten(timeoutMs);
}
