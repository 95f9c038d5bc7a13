#pragma once

#include "FtpSettings.h"
#include "SshHostKeyCheck.h"
#include "TlsPeerCheck.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <memory>

// How long a dead or stalled server may hold an upload.
struct FtpLimits
{
    int connectTimeoutMs = 30'000; // the TCP connection, the greeting and the login
    int stallTimeoutMs = 60'000;   // no reply, or less than 1 byte/s moved, for this long
    // Once every byte of a file is handed over, the server may still be reading what the
    // network buffers hold (megabytes, on a slow line minutes of it) before it confirms.
    int finalReplyTimeoutMs = 10 * 60'000;
};

// One FTP, FTPS or SFTP connection on libcurl, used from a single thread: log in, then send
// files one after the other, each into a directory taken relative to wherever the previous one
// left off (an absolute directory starts again from the root; for SFTP a relative one starts
// from the login's home). Active or passive mode, binary transfers.
class FtpSession final
{
public:
    // `cancel` set from another thread aborts whatever the session is waiting for.
    FtpSession(const FtpLimits& limits, const std::atomic<bool>& cancel);
    ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Connects and logs in with the settings' server, port (0: the protocol's own), protocol,
    // mode and credentials (an empty user name logs in to FTP anonymously). An empty text on
    // success, otherwise what went wrong.
    QString Open(const FtpSettings& settings);
    // Changes into the directory, relative to the current one unless it starts with "/"; an
    // empty one stays. An empty text on success; otherwise "Failed to set directory - " and the
    // directory when the server refused it, or what became of the connection when the request
    // did not get that far. On failure the connection stays where it was.
    QString ChangeDirectory(const QString& directory);
    // Sends the local file under the name into the current directory. Under a temporary name,
    // the file is stored as TemporaryName(remoteName) and renamed onto the name once the server
    // has confirmed all of it, so that the name never shows part of a file; a refused rename
    // fails the upload. An empty text on success, otherwise what went wrong (the library's
    // message and the server's refusal).
    QString Put(const QString& localPath, const QString& remoteName, bool underTemporaryName);
    void Close();

    // Why the server's address cannot be used with the chosen protocol (it starts with another
    // scheme, as "sftp://host" with FTP chosen), or empty.
    static QString SchemeMismatch(const FtpSettings& settings);
    // Hidden, plainly ours, and beside the name in the same directory: "a/b.jpg" gives
    // "a/.b.jpg.pixlet-part". Empty for a name without a file part.
    static QString TemporaryName(const QString& remoteName);
    // Server-provided text kept for display: at most MaxServerText characters, "..." when cut.
    static constexpr int MaxServerText = 512;
    static QString BoundedServerText(const QString& text);

private:
    struct Location
    {
        bool absolute = false;
        QStringList segments;
    };
    static Location Enter(const Location& from, const QString& directory);
    QByteArray Url(const Location& location, const QString& name) const;
    QString ErrorText(int code) const;
    void ApplyCommonOptions(const FtpSettings& settings);
    void ApplyCredentials(const FtpSettings& settings);
    bool Sftp() const { return protocol_ == FtpProtocol::Sftp; }
    // The server's path of a name in a location, for SFTP's commands.
    QString SftpPath(const Location& location, const QString& name) const;
    // SFTP: the stored temporary file becomes the name; a server that will not rename onto an
    // existing file (OpenSSH) has the old one removed first.
    QString SftpRename(const Location& into, const QString& from, const QString& to);
    static int OnProgress(void* data, std::int64_t, std::int64_t downloaded, std::int64_t uploadTotal,
                          std::int64_t uploaded);
    // curl_easy_perform, with a stall of the watch reported as a time-out.
    int Perform(void* curl);
    static constexpr int ResponseBackstopSeconds = 60 * 60;
    // Every request starts with no error text and no refusal from an earlier one.
    void BeginRequest();

    const FtpLimits limits_;
    const std::atomic<bool>& cancel_;
    void* curl_ = nullptr;
    // What the progress callback watches: the cancel flag, and when bytes last moved. The
    // library's own reply timer counts the wait for the end of a transfer from its start, so a
    // large image on a slow line failed after a minute while data still flowed; nothing moving
    // for the stall limit, in a transfer or a wait for a reply, is what ends a request now.
    struct Watch
    {
        const std::atomic<bool>* cancel = nullptr;
        std::int64_t stallMs = 0;
        std::int64_t finalReplyMs = 0;
        std::int64_t lastMoveMs = 0;
        std::int64_t lastUp = -1, lastDown = -1;
        bool stalled = false;
    };
    Watch watch_;
    char errorBuffer_[256] = {};
    QByteArray refusal_; // the server's last reply of 400 or more in this request, cut short
    QByteArray base_;    // "ftp://host:port"
    Location location_;
    FtpProtocol protocol_ = FtpProtocol::Ftp;
    QString server_;
    int port_ = 0;
    std::unique_ptr<TlsPeerCheck> tlsCheck_;
    std::unique_ptr<SshHostKeyCheck> hostKeyCheck_;
};
