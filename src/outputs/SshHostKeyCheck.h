#pragma once

#include <QString>

// The check of an SFTP server's host key against a known-hosts file (OpenSSH's format, hashed
// names and "[host]:port" entries included), on a libcurl handle. A key that differs from the
// one on file, or a host not on file, is refused: nothing is sent to a server that cannot
// show it is the one meant.
class SshHostKeyCheck final
{
public:
    // An empty file name means the user's ~/.ssh/known_hosts.
    explicit SshHostKeyCheck(const QString& knownHostsFile);
    SshHostKeyCheck(const SshHostKeyCheck&) = delete;
    SshHostKeyCheck& operator=(const SshHostKeyCheck&) = delete;

    // Sets the handle's options; the check must outlive the handle.
    void Install(void* curl);
    void Reset();
    QString KnownHostsFile() const { return file_; }

    // After a failed request: why the server was refused, or empty when it was not.
    QString RefusalText(const QString& server, int port) const;

    // "SHA256:..." as ssh-keygen -l shows it, for a key blob as the SSH protocol carries it.
    static QString KeyFingerprint(const QByteArray& keyBlob);

private:
    friend struct SshHostKeyCheckHooks; // the library's callback

    enum class Verdict
    {
        None,
        Mismatch,
        Missing,
    };
    const QString file_;
    Verdict verdict_ = Verdict::None;
    QString seen_; // the server's key: its type and fingerprint
};
