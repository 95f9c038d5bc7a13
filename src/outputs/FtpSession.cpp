#include "FtpSession.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

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

int OnProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

// A host as typed: a leading "ftp://" and trailing slashes are forgiven, an IPv6 address is
// bracketed for the URL.
QByteArray HostPart(QString server)
{
    server = server.trimmed();
    if (server.startsWith(QLatin1String("ftp://"), Qt::CaseInsensitive))
        server.remove(0, 6);
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
} // namespace

FtpSession::FtpSession(const FtpLimits& limits, const std::atomic<bool>& cancel) : limits_(limits), cancel_(cancel)
{
    GlobalInitOnce();
}

FtpSession::~FtpSession()
{
    Close();
}

void FtpSession::ApplyCommonOptions()
{
    CURL* curl = Handle(curl_);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(curl, CURLOPT_FTPPORT, "-"); // active mode, from the control connection's address
    curl_easy_setopt(curl, CURLOPT_FTP_USE_EPRT, 1L);
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>((limits_.stallTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(limits_.stallTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>((limits_.stallTimeoutMs + 999) / 1000));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&cancel_));
}

QString FtpSession::ErrorText(int code) const
{
    QString text = QString::fromUtf8(curl_easy_strerror(static_cast<CURLcode>(code)));
    const QString detail = QString::fromUtf8(errorBuffer_).trimmed();
    if (!detail.isEmpty() && detail != text)
        text += QStringLiteral(" - ") + detail;
    return text;
}

QString FtpSession::Open(const QString& server, std::uint16_t port, const QString& user, const QString& password)
{
    Close();
    curl_ = curl_easy_init();
    if (!curl_)
        return QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT));
    ApplyCommonOptions();
    base_ = "ftp://" + HostPart(server) + ':' + QByteArray::number(port == 0 ? 21 : port);
    location_ = Location();
    CURL* curl = Handle(curl_);
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    }
    // Logging in without a transfer: the connection stays open for the files that follow.
    const QByteArray url = base_ + '/';
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    errorBuffer_[0] = '\0';
    const CURLcode result = curl_easy_perform(curl);
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

bool FtpSession::ChangeDirectory(const QString& directory)
{
    if (!curl_)
        return false;
    const Location target = Enter(location_, directory);
    if (target.absolute == location_.absolute && target.segments == location_.segments)
        return true;
    // A request without a transfer: the library changes directory and stops there.
    CURL* curl = Handle(curl_);
    const QByteArray url = Url(target, QString());
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    errorBuffer_[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    if (code != CURLE_OK)
        return false;
    location_ = target;
    return true;
}

QString FtpSession::Put(const QString& localPath, const QString& remoteName)
{
    if (!curl_)
        return QString::fromUtf8(curl_easy_strerror(CURLE_COULDNT_CONNECT));
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    if (!file)
        return QString::fromUtf8(curl_easy_strerror(CURLE_READ_ERROR)) + QStringLiteral(" - ") + localPath;
    std::fseek(file.get(), 0, SEEK_END);
    const long size = std::ftell(file.get());
    std::rewind(file.get());

    CURL* curl = Handle(curl_);
    const QByteArray url = Url(location_, remoteName);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size < 0 ? 0 : size));
    errorBuffer_[0] = '\0';
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    return code == CURLE_OK ? QString() : ErrorText(code);
}

void FtpSession::Close()
{
    if (curl_) {
        curl_easy_cleanup(Handle(curl_));
        curl_ = nullptr;
    }
}
