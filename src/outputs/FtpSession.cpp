#include "FtpSession.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <chrono>
#include <type_traits>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {
CURL* Handle(void* curl)
{
    return static_cast<CURL*>(curl);
}

void GlobalInitOnce()
{
    // curl_global_init is not thread-safe; every session goes through here first.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::int64_t SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A host as typed: a leading "ftp://" (or ftps://, sftp://) and trailing slashes are forgiven,
// an IPv6 address is bracketed for the URL.
QByteArray HostPart(QString server)
{
    server = server.trimmed();
    for (const char* scheme : {"ftp://", "ftps://", "sftp://"}) {
        if (server.startsWith(QLatin1String(scheme), Qt::CaseInsensitive))
            server.remove(0, static_cast<qsizetype>(qstrlen(scheme)));
    }
    while (server.endsWith(QLatin1Char('/')))
        server.chop(1);
    if (server.contains(QLatin1Char(':')) && !server.startsWith(QLatin1Char('[')))
        server = QLatin1Char('[') + server + QLatin1Char(']');
    return QUrl::toPercentEncoding(server, "[]:");
}

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct ListFreer
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The library hands every reply line of the control connection here. Only a reply's last line
// ("550 text"; "550-text" lines go before it) counts: a refusal is kept until a positive reply
// follows. The farewell to QUIT (221) is no answer to anything that failed, so it clears nothing.
size_t OnReplyLine(char* data, size_t size, size_t count, void* refusal)
{
    const size_t length = size * count;
    if (length < 4 || !IsDigit(data[0]) || !IsDigit(data[1]) || !IsDigit(data[2]) || data[3] != ' ')
        return length;
    auto* kept = static_cast<QByteArray*>(refusal);
    if (data[0] == '4' || data[0] == '5') {
        // Enough bytes for MaxServerText characters of UTF-8 and a sign that there was more.
        constexpr size_t MaxBytes = 4 * FtpSession::MaxServerText + 4;
        *kept = QByteArray(data, static_cast<qsizetype>(std::min(length, MaxBytes)));
    } else if (!(data[0] == '2' && data[1] == '2' && data[2] == '1')) {
        kept->clear();
    }
    return length;
}

// A path for SFTP's commands, in double quotes: a quote or backslash in it is escaped.
QByteArray QuotedPath(const QString& path)
{
    QByteArray quoted = path.toUtf8();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

bool HoldsLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

// What became of a request that failed before the server could answer it.
QString ConnectionTrouble(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("the server could not be reached");
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
        return QStringLiteral("the connection to the server was lost");
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("the server stopped answering");
    case CURLE_LOGIN_DENIED:
        return QStringLiteral("the server refused the login again");
    case CURLE_ABORTED_BY_CALLBACK:
        return QStringLiteral("the upload was cancelled");
    default:
        return QStringLiteral("the request failed");
    }
}
} // namespace

static_assert(std::is_same_v<curl_off_t, std::int64_t>, "the progress callback is declared with int64_t");

int FtpSession::Perform(void* curl)
{
    const CURLcode code = curl_easy_perform(static_cast<CURL*>(curl));
    // The watch's stall limit is a time-out, not a cancellation.
    return code == CURLE_ABORTED_BY_CALLBACK && watch_.stalled ? CURLE_OPERATION_TIMEDOUT : code;
}

int FtpSession::OnProgress(void* data, std::int64_t, std::int64_t downloaded, std::int64_t uploadTotal,
                           std::int64_t uploaded)
{
    auto* watch = static_cast<Watch*>(data);
    if (watch->cancel->load())
        return 1;
    const std::int64_t now = SteadyMs();
    if (uploaded != watch->lastUp || downloaded != watch->lastDown) {
        watch->lastUp = uploaded;
        watch->lastDown = downloaded;
        watch->lastMoveMs = now;
    } else if (now - watch->lastMoveMs >=
               (uploadTotal > 0 && uploaded >= uploadTotal ? watch->finalReplyMs : watch->stallMs)) {
        watch->stalled = true;
        return 1;
    }
    return 0;
}

FtpSession::FtpSession(const FtpLimits& limits, const std::atomic<bool>& cancel)
    : limits_(limits), cancel_(cancel)
{
    watch_.cancel = &cancel_;
    watch_.stallMs = limits_.stallTimeoutMs;
    watch_.finalReplyMs = std::max(limits_.finalReplyTimeoutMs, limits_.stallTimeoutMs);
    GlobalInitOnce();
}

FtpSession::~FtpSession()
{
    Close();
}

void FtpSession::ApplyCommonOptions(const FtpSettings& settings)
{
    CURL* curl = Handle(curl_);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer_);
    // Active mode opens our port from the control connection's address; passive mode asks the
    // server for one (EPSV, then PASV). FTPS is always passive: the library of Debian 12 sends
    // the file over an active data connection without TLS (in the clear, which the server then
    // refuses).
    const bool passive = settings.passiveMode || settings.protocol == FtpProtocol::FtpsExplicit ||
                         settings.protocol == FtpProtocol::FtpsImplicit;
    curl_easy_setopt(curl, CURLOPT_FTPPORT, passive ? nullptr : "-");
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPRT, 1L);
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeoutMs));
    // Only a backstop: the progress watch below ends a request on which nothing moves.
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(ResponseBackstopSeconds));
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(limits_.stallTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>((limits_.stallTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &FtpSession::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch_);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnReplyLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &refusal_);
}

void FtpSession::ApplyCredentials(const FtpSettings& settings)
{
    CURL* curl = Handle(curl_);
    if (!settings.userName.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERNAME, settings.userName.toUtf8().constData());
    if (!Sftp()) {
        if (!settings.userName.isEmpty())
            curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.password.toUtf8().constData());
        return;
    }
    const QString key = settings.privateKeyFile.trimmed();
    if (key.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PASSWORD));
        curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.password.toUtf8().constData());
        return;
    }
    // With a key the password is the key's passphrase, and never goes to the server.
    curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PUBLICKEY));
    curl_easy_setopt(curl, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(key).constData());
    if (!settings.password.isEmpty())
        curl_easy_setopt(curl, CURLOPT_KEYPASSWD, settings.password.toUtf8().constData());
}

void FtpSession::BeginRequest()
{
    if (tlsCheck_)
        tlsCheck_->Reset();
    if (hostKeyCheck_)
        hostKeyCheck_->Reset();
    errorBuffer_[0] = '\0';
    refusal_.clear();
    watch_.lastMoveMs = SteadyMs();
    watch_.lastUp = watch_.lastDown = -1;
    watch_.stalled = false;
}

QString FtpSession::BoundedServerText(const QString& text)
{
    if (text.size() <= MaxServerText)
        return text;
    return text.left(MaxServerText - 3) + QStringLiteral("...");
}

QString FtpSession::ErrorText(int code) const
{
    QString text = QString::fromUtf8(curl_easy_strerror(static_cast<CURLcode>(code)));
    // A refused certificate or host key is what the user must act on: it comes first.
    QString refusal = tlsCheck_ ? tlsCheck_->RefusalText(server_) : QString();
    if (refusal.isEmpty() && hostKeyCheck_)
        refusal = hostKeyCheck_->RefusalText(server_, port_);
    if (!refusal.isEmpty())
        text = refusal + QStringLiteral(" - ") + text;
    const QString detail = BoundedServerText(QString::fromUtf8(errorBuffer_).trimmed());
    // The library keeps only the first error text of a request, and in active mode that is a
    // note that it cannot print the address of the data socket before the server connects to
    // it: harmless, and no word about what went wrong after it. The server's refusal below
    // says that instead.
    if (!detail.isEmpty() && detail != text && !detail.contains(QLatin1String("inet_ntop() failed")))
        text += QStringLiteral(" - ") + detail;
    const QString reply = BoundedServerText(QString::fromUtf8(refusal_).trimmed());
    if (!reply.isEmpty())
        text += QStringLiteral(" - ") + reply;
    return text;
}

QString FtpSession::TemporaryName(const QString& remoteName)
{
    const qsizetype leaf = remoteName.lastIndexOf(QLatin1Char('/')) + 1;
    if (leaf == remoteName.size())
        return QString();
    return remoteName.left(leaf) + QLatin1Char('.') + remoteName.mid(leaf) + QStringLiteral(".pixlet-part");
}

QString FtpSession::SchemeMismatch(const FtpSettings& settings)
{
    const QString server = settings.server.trimmed();
    const qsizetype end = server.indexOf(QLatin1String("://"));
    if (end < 0)
        return QString();
    const QString scheme = server.left(end).toLower();
    QStringList allowed;
    switch (settings.protocol) {
    case FtpProtocol::Ftp:
        allowed = {QStringLiteral("ftp")};
        break;
    case FtpProtocol::FtpsExplicit:
        allowed = {QStringLiteral("ftp"), QStringLiteral("ftps")};
        break;
    case FtpProtocol::FtpsImplicit:
        allowed = {QStringLiteral("ftps")};
        break;
    case FtpProtocol::Sftp:
        allowed = {QStringLiteral("sftp")};
        break;
    }
    if (allowed.contains(scheme))
        return QString();
    // Never the weaker of the two: "ftps://host" with plain FTP chosen would send the password
    // in the clear.
    return QStringLiteral(
               "The server address %1 names another protocol than the one chosen (%2) - choose the "
               "protocol on the FTP page, or give the address without \"%3://\"")
        .arg(server.left(255), FtpProtocolName(settings.protocol), scheme.left(16));
}

QString FtpSession::Open(const FtpSettings& settings)
{
    Close();
    if (const QString mismatch = SchemeMismatch(settings); !mismatch.isEmpty())
        return mismatch;
    curl_ = curl_easy_init();
    if (!curl_)
        return QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT));
    protocol_ = settings.protocol;
    server_ = settings.server.trimmed();
    port_ = settings.port == 0 ? DefaultFtpPort(protocol_) : settings.port;
    ApplyCommonOptions(settings);
    CURL* curl = Handle(curl_);
    const char* scheme = "ftp://";
    switch (protocol_) {
    case FtpProtocol::FtpsExplicit:
        // TLS for the login and every file, or nothing at all.
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        [[fallthrough]];
    case FtpProtocol::FtpsImplicit:
        if (protocol_ == FtpProtocol::FtpsImplicit)
            scheme = "ftps://";
        tlsCheck_ = std::make_unique<TlsPeerCheck>(settings.certificateSha256);
        if (!tlsCheck_->Install(curl)) {
            Close();
            return QStringLiteral(
                "FTPS is not available: this system's libcurl cannot check certificates here");
        }
        break;
    case FtpProtocol::Sftp:
        scheme = "sftp://";
        hostKeyCheck_ = std::make_unique<SshHostKeyCheck>(settings.knownHostsFile);
        hostKeyCheck_->Install(curl);
        break;
    case FtpProtocol::Ftp:
        break;
    }
    ApplyCredentials(settings);
    base_ = scheme + HostPart(settings.server) + ':' + QByteArray::number(port_);
    location_ = Location();
    // Logging in without a transfer: the connection stays open for the files that follow.
    // For SFTP the home directory's listing is asked for and not read.
    const QByteArray url = base_ + (Sftp() ? "/~/" : "/");
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    BeginRequest();
    const auto result = static_cast<CURLcode>(Perform(curl));
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    if (result != CURLE_OK) {
        const QString text = ErrorText(result);
        Close();
        return text;
    }
    return QString();
}

FtpSession::Location FtpSession::Enter(const Location& from, const QString& directory)
{
    if (directory.isEmpty())
        return from;
    Location to = directory.startsWith(QLatin1Char('/')) ? Location{true, {}} : from;
    for (const QString& segment : directory.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        to.segments.append(segment);
    return to;
}

QByteArray FtpSession::Url(const Location& location, const QString& name) const
{
    if (Sftp()) {
        QByteArray path = base_ + (location.absolute ? "/" : "/~/");
        for (const QString& segment : location.segments)
            path += QUrl::toPercentEncoding(segment) + '/';
        return path + QUrl::toPercentEncoding(name);
    }
    QByteArray path = base_ + '/';
    // %2F as the first segment makes the path start at the server's root instead of the
    // login directory.
    if (location.absolute)
        path += "%2F";
    QByteArrayList parts;
    for (const QString& segment : location.segments)
        parts.append(QUrl::toPercentEncoding(segment));
    path += parts.join('/');
    if (!parts.isEmpty() || location.absolute)
        path += '/';
    return path + QUrl::toPercentEncoding(name);
}

QString FtpSession::ChangeDirectory(const QString& directory)
{
    const QString refused = QStringLiteral("Failed to set directory - ") + directory;
    if (!curl_)
        return refused;
    const Location target = Enter(location_, directory);
    if (target.absolute == location_.absolute && target.segments == location_.segments)
        return QString();
    if (Sftp()) {
        // SFTP has no current directory: the files name theirs, and a missing one fails them.
        location_ = target;
        return QString();
    }
    // A request without a transfer: the library changes directory and stops there.
    CURL* curl = Handle(curl_);
    const QByteArray url = Url(target, QString());
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    BeginRequest();
    const auto code = static_cast<CURLcode>(Perform(curl));
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    if (code == CURLE_OK) {
        location_ = target;
        return QString();
    }
    // Only a refusal of the directory itself blames the directory; a connection that broke
    // down on the way says so (the library reconnects for this request if it finds the old
    // connection dead, and that may fail too).
    if (code == CURLE_REMOTE_ACCESS_DENIED)
        return refused;
    return QStringLiteral("Could not change to directory %1: %2 - %3")
        .arg(directory, ConnectionTrouble(code), ErrorText(code));
}

QString FtpSession::Put(const QString& localPath, const QString& remoteName, bool underTemporaryName)
{
    if (!curl_)
        return QString::fromUtf8(curl_easy_strerror(CURLE_COULDNT_CONNECT));
    const std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    if (!file)
        return QString::fromUtf8(curl_easy_strerror(CURLE_READ_ERROR)) + QStringLiteral(" - ") + localPath;
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::rewind(file.get());

    // The file is stored into the directory of the name's last "/". Under a temporary name it
    // is renamed once the server has confirmed the whole file (never after a failed transfer).
    const QString temporaryName = underTemporaryName ? TemporaryName(remoteName) : QString();
    const QString storedName = temporaryName.isEmpty() ? remoteName : temporaryName;
    const QString from = temporaryName.mid(temporaryName.lastIndexOf(QLatin1Char('/')) + 1);
    const QString to = remoteName.mid(remoteName.lastIndexOf(QLatin1Char('/')) + 1);
    // A line break would end a command early and start another of the name's choosing.
    if (HoldsLineBreak(remoteName))
        return QStringLiteral("A file name with a line break cannot be sent - ") + remoteName;
    const QString renameText = QStringLiteral("Failed to rename %1 to %2 after the upload").arg(from, to);
    // FTP renames in the same request, from the directory the file went to: both sides are the
    // bare names.
    std::unique_ptr<curl_slist, ListFreer> rename;
    if (!temporaryName.isEmpty() && !Sftp()) {
        rename.reset(curl_slist_append(nullptr, QByteArray("RNFR " + from.toUtf8()).constData()));
        if (!rename || !curl_slist_append(rename.get(), QByteArray("RNTO " + to.toUtf8()).constData()))
            return QString::fromUtf8(curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    }

    CURL* curl = Handle(curl_);
    const QByteArray url = Url(location_, storedName);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size < 0 ? 0 : size));
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, rename.get());
    BeginRequest();
    const auto code = static_cast<CURLcode>(Perform(curl));
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    if (code == CURLE_OK) {
        if (temporaryName.isEmpty() || !Sftp())
            return QString();
        const Location into = Enter(location_, remoteName.left(remoteName.lastIndexOf(QLatin1Char('/')) + 1));
        const QString error = SftpRename(into, from, to);
        return error.isEmpty() ? QString() : renameText + QStringLiteral(" - ") + error;
    }
    // Only the commands after the transfer are quoted: this is the rename, the file itself is
    // on the server under its temporary name.
    if (code == CURLE_QUOTE_ERROR && !temporaryName.isEmpty())
        return renameText + QStringLiteral(" - ") + ErrorText(code);
    return ErrorText(code);
}

QString FtpSession::SftpPath(const Location& location, const QString& name) const
{
    QString path = location.absolute ? QStringLiteral("/") : QStringLiteral("/~/");
    for (const QString& segment : location.segments)
        path += segment + QLatin1Char('/');
    return path + name;
}

QString FtpSession::SftpRename(const Location& into, const QString& from, const QString& to)
{
    const QByteArray rename =
        "rename " + QuotedPath(SftpPath(into, from)) + ' ' + QuotedPath(SftpPath(into, to));
    CURL* curl = Handle(curl_);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    // The commands run on their own, before a listing that is not read.
    auto run = [&](curl_slist* commands) {
        const QByteArray url = Url(into, QString());
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_QUOTE, commands);
        BeginRequest();
        const auto code = static_cast<CURLcode>(Perform(curl));
        curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        return code;
    };
    // Whether a file is there, without touching it: the statistics of its file system can
    // only be had for a path that exists.
    auto exists = [&](const QString& name) {
        std::unique_ptr<curl_slist, ListFreer> stat(curl_slist_append(
            nullptr, QByteArray("statvfs " + QuotedPath(SftpPath(into, name))).constData()));
        return stat && run(stat.get()) == CURLE_OK;
    };
    std::unique_ptr<curl_slist, ListFreer> first(curl_slist_append(nullptr, rename.constData()));
    CURLcode code = first ? run(first.get()) : CURLE_OUT_OF_MEMORY;
    const QString firstError = code == CURLE_OK ? QString() : ErrorText(code);
    // Only a refusal to rename onto the file there now may take the old file away.
    const bool retried = code == CURLE_QUOTE_ERROR && exists(from) && exists(to);
    if (retried) {
        // SFTP's rename leaves an existing file alone on many servers. The old file goes first:
        // for a moment the name shows nothing, but never part of a file.
        std::unique_ptr<curl_slist, ListFreer> second(
            curl_slist_append(nullptr, QByteArray("*rm " + QuotedPath(SftpPath(into, to))).constData()));
        if (second && curl_slist_append(second.get(), rename.constData()))
            code = run(second.get());
        else
            code = CURLE_OUT_OF_MEMORY;
    }
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    if (code == CURLE_OK)
        return QString();
    return retried ? ErrorText(code) : firstError;
}

void FtpSession::Close()
{
    if (curl_) {
        curl_easy_cleanup(Handle(curl_));
        curl_ = nullptr;
    }
    tlsCheck_.reset();
    hostKeyCheck_.reset();
}
