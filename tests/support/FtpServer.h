#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// How the test server behaves beyond plain FTP.
struct FtpServerOptions
{
    int uploadBytesPerSecond = 0; // 0: as fast as it can
    bool refuseRenames = false;
    int loginRefusalPadding = 0; // characters added to the reply that refuses a wrong password
    enum class Tls
    {
        None,
        Explicit, // AUTH TLS, then TLS required for the login and every file
        Implicit, // TLS from the first byte
    };
    Tls tls = Tls::None;
    QString certificatePath, keyPath; // the server's, for TLS
    quint16 port = 0;                 // 0: a free one
};

// A pyftpdlib server on 127.0.0.1 at a free port, for one test: started by the constructor,
// stopped by Stop() or the destructor. Files land in Home().
class FtpServer final
{
public:
    static inline const QString User = QStringLiteral("camera");
    static inline const QString Password = QStringLiteral("s3cret");

    explicit FtpServer(const FtpServerOptions& options = FtpServerOptions());
    ~FtpServer();
    bool Running() const { return port_ != 0; }
    quint16 Port() const { return port_; }
    QString Home() const { return home_.path(); }
    // The commands the clients sent so far to set up data connections, in order: PORT or EPRT
    // for active transfers, PASV or EPSV for passive ones, each with " TLS" when it came over
    // TLS; with TLS served, also "AUTH TLS" and "PROT P" (or "PROT C").
    QStringList DataConnectionCommands() const;
    // Those and every PASS ("PASS", or "PASS TLS" when the password came over TLS).
    QStringList Commands() const;
    void Stop();
    // Ends the server at once (SIGKILL), in the middle of whatever it was doing.
    void Kill();
    // Stops the server process where it stands (SIGSTOP): connections are accepted by the
    // kernel and then nothing more happens, like a frozen host. Thaw() lets it go on.
    void Freeze();
    void Thaw();

private:
    QTemporaryDir home_;
    QTemporaryDir logDirectory_;
    QProcess process_;
    quint16 port_ = 0;
};
