#pragma once

#include <QAbstractSocket>
#include <QString>

// The mail sender's socket errors keep the numbers users and their logs have always seen:
// Qt's socket errors become those codes, and each code its text ("Socket Error: %d" for codes
// without one).
int SocketErrorCode(QAbstractSocket::SocketError error);
QString SocketErrorText(int code);

namespace SocketErrors {
constexpr int HostNotFound = 10022;
constexpr int NetworkUnreachable = 10051;
constexpr int ConnectionReset = 10054;
constexpr int TimedOut = 10060;
constexpr int Refused = 10061;
} // namespace SocketErrors
