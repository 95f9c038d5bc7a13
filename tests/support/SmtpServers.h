#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

#include <functional>

class QSslSocket;
class TestCertificate;

struct AiosmtpdOptions
{
    const TestCertificate* certificate = nullptr; // needed by both kinds of TLS
    bool startTls = false;                        // offered, and required before anything else
    bool implicitTls = false;                     // TLS from the first byte
    QString login;                                // "user:password": a login is required
    bool loginInPlainText = false;                // AUTH offered without TLS as well
    bool noPlain = false;                         // AUTH LOGIN only
    bool sendIssuer = false;                      // the issuer's certificate goes with the server's
    quint16 port = 0;                             // 0: a free one
};

// aiosmtpd on 127.0.0.1 at a free port; each accepted message lands in Directory() as
// <n>.eml, its envelope as <n>.env.
class AiosmtpdServer final
{
public:
    explicit AiosmtpdServer(const AiosmtpdOptions& options = AiosmtpdOptions());
    ~AiosmtpdServer();
    bool Running() const { return port_ != 0; }
    quint16 Port() const { return port_; }
    QString Directory() const { return directory_.path(); }
    // The name of every command the server read, in order, whether it took it or not.
    QStringList Commands() const;
    // The message parsed by Python's email package: "key=value" lines; the attachment's bytes
    // are written to `attachment`.
    static QHash<QString, QString> ParseMessage(const QString& path, const QString& attachment);

private:
    QTemporaryDir directory_;
    QProcess process_;
    quint16 port_ = 0;
};

// A small SMTP server of our own, on the test's thread, for the replies real servers seldom
// give. It sends the greeting, then one scripted reply per command (for DATA's text, one when
// its closing dot arrives). It records every command line and the message text.
class ScriptedSmtpServer final : public QObject
{
public:
    struct Script
    {
        QByteArray greeting = "220 scripted ESMTP\r\n";
        QList<QByteArray> replies; // one per command, in order
        bool closeAfterQuit = true;
        bool silent = false;      // accept and never say a word
        qsizetype floodBytes = 0; // instead of the greeting: this many bytes without a line end
        int hangUpAfter = -1;     // close the connection, without a word, after this many replies
        // With a certificate, a reply to STARTTLS that starts with 220 is followed by the
        // handshake (anything written after the 220 in the same reply goes out in plain text
        // first); with implicitTls as well, the handshake comes before the greeting.
        const TestCertificate* certificate = nullptr;
        bool implicitTls = false;
    };

    explicit ScriptedSmtpServer(Script script);
    quint16 Port() const { return server_.serverPort(); }
    QStringList commands;
    QByteArray message;
    bool clientClosed = false;
    bool encrypted = false; // a handshake finished

private:
    // Hands out QSslSockets, so that a connection can turn to TLS.
    class Listener final : public QTcpServer
    {
    protected:
        void incomingConnection(qintptr descriptor) override;
    };

    void OnConnection();
    void OnData(QSslSocket* socket);
    void StartTls(QSslSocket* socket);

    Script script_;
    Listener server_;
    QByteArray pending_;
    bool inData_ = false;
    int next_ = 0;
};
