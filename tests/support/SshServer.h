#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// An OpenSSH server for one test, on 127.0.0.1 at a free port, with its own throw-away host
// key, client keys and configuration (never the system's), serving SFTP to the user running the
// tests. Run as root it also takes a password: the server runs in a mount namespace of its own
// where the password file holds a known password for that user; the system's file is untouched.
class SshServer final
{
public:
    static inline const QString Password = QStringLiteral("sftp-test-password");
    static inline const QString KeyPassphrase = QStringLiteral("key-passphrase");

    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    bool Running() const { return port_ != 0; }
    // Why it is not running, for the test's message.
    QString Trouble() const { return trouble_; }
    quint16 Port() const { return port_; }
    QString User() const { return user_; }
    bool TakesPasswords() const { return takesPasswords_; }
    // A directory the user may write to, for the uploads.
    QString UploadDirectory() const { return directory_.filePath(QStringLiteral("uploads")); }
    QString ClientKeyPath() const { return directory_.filePath(QStringLiteral("client_key")); }
    QString LockedClientKeyPath() const { return directory_.filePath(QStringLiteral("locked_key")); }
    // A known-hosts file that names this server's key; one that names another key for it; one
    // that names neither.
    QString KnownHostsPath() const { return directory_.filePath(QStringLiteral("known_hosts")); }
    QString WrongKnownHostsPath() const { return directory_.filePath(QStringLiteral("wrong_known_hosts")); }
    QString OtherHostsPath() const { return directory_.filePath(QStringLiteral("other_known_hosts")); }
    // "SHA256:..." of the server's host key, as ssh-keygen -l shows it.
    QString HostKeyFingerprint() const { return hostFingerprint_; }

private:
    bool MakeKey(const QString& name, const QString& passphrase);
    bool WriteFiles();
    QString ShadowWithPassword() const;
    bool Start(bool withPassword);

    QTemporaryDir directory_;
    QProcess process_;
    QString user_;
    QString trouble_;
    QString hostFingerprint_;
    quint16 port_ = 0;
    bool takesPasswords_ = false;
};
