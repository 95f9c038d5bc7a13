#include "SocketErrorText.h"

#include <QHash>

int SocketErrorCode(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return SocketErrors::Refused;
    case QAbstractSocket::HostNotFoundError:
        return SocketErrors::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return SocketErrors::TimedOut;
    case QAbstractSocket::RemoteHostClosedError:
        return SocketErrors::ConnectionReset;
    case QAbstractSocket::NetworkError:
        return SocketErrors::NetworkUnreachable;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10047;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::OperationError:
        return 10057;
    default:
        return static_cast<int>(error);
    }
}

QString SocketErrorText(int code)
{
    static const QHash<int, QString> texts = {
        {10014, QStringLiteral("The lpSockAddrLen argument is incorrect")},
        {10022, QStringLiteral("The socket is already bound to an address")},
        {10024, QStringLiteral("No more file descriptors are available")},
        {10038, QStringLiteral("The descriptor is a file, not a socket")},
        {10039, QStringLiteral("A destination address is required")},
        {10047, QStringLiteral("Addresses in the specified family cannot be used with this socket")},
        {10048, QStringLiteral("The specified address is already in use")},
        {10049, QStringLiteral("The specified address is not available from the local machine")},
        {10050, QStringLiteral("Network subsystem failed")},
        {10051, QStringLiteral("The network cannot be reached from this host at this time")},
        {10053, QStringLiteral("Connection aborted due to timeout or other failure")},
        {10054, QStringLiteral("Connection reset by remote host")},
        {10055, QStringLiteral("No buffer space is available. The socket cannot be connected")},
        {10056, QStringLiteral("The socket is already connected")},
        {10057, QStringLiteral("The socket is not connected")},
        {10060, QStringLiteral("The attempt to connect timed out without establishing a connection")},
        {10061, QStringLiteral("The attempt to connect was forcefully rejected")},
        {10093, QStringLiteral("Socket not initialised")},
    };
    const auto it = texts.constFind(code);
    return it != texts.cend() ? *it : QString::asprintf("Socket Error: %d", code);
}
