#include "SshHostKeyCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <curl/curl.h>

namespace {
QString KeyTypeName(curl_khtype type)
{
    switch (type) {
    case CURLKHTYPE_RSA1:
    case CURLKHTYPE_RSA:
        return QStringLiteral("RSA");
    case CURLKHTYPE_DSS:
        return QStringLiteral("DSA");
    case CURLKHTYPE_ECDSA:
        return QStringLiteral("ECDSA");
    case CURLKHTYPE_ED25519:
        return QStringLiteral("ED25519");
    case CURLKHTYPE_UNKNOWN:
        break;
    }
    return QStringLiteral("unknown");
}

QString DefaultKnownHosts()
{
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}
} // namespace

struct SshHostKeyCheckHooks
{
    static int OnKey(CURL*, const curl_khkey* known, const curl_khkey* found, curl_khmatch match, void* data);
};

int SshHostKeyCheckHooks::OnKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match,
                                void* data)
{
    auto* check = static_cast<SshHostKeyCheck*>(data);
    if (found && found->key) {
        // The library hands the key raw with its length, or as base64 text without one.
        const QByteArray blob = found->len > 0 ? QByteArray(found->key, static_cast<qsizetype>(found->len))
                                               : QByteArray::fromBase64(QByteArray(found->key));
        check->seen_ = KeyTypeName(found->keytype) + QLatin1Char(' ') + SshHostKeyCheck::KeyFingerprint(blob);
    }
    if (match == CURLKHMATCH_OK)
        return CURLKHSTAT_FINE;
    check->verdict_ = match == CURLKHMATCH_MISMATCH ? SshHostKeyCheck::Verdict::Mismatch
                                                    : SshHostKeyCheck::Verdict::Missing;
    return CURLKHSTAT_REJECT;
}

SshHostKeyCheck::SshHostKeyCheck(const QString& knownHostsFile)
    : file_(knownHostsFile.trimmed().isEmpty() ? DefaultKnownHosts() : knownHostsFile.trimmed())
{
}

void SshHostKeyCheck::Install(void* curl)
{
    CURL* handle = static_cast<CURL*>(curl);
    curl_easy_setopt(handle, CURLOPT_SSH_KNOWNHOSTS, QFile::encodeName(file_).constData());
    curl_easy_setopt(handle, CURLOPT_SSH_KEYFUNCTION, &SshHostKeyCheckHooks::OnKey);
    curl_easy_setopt(handle, CURLOPT_SSH_KEYDATA, this);
}

void SshHostKeyCheck::Reset()
{
    verdict_ = Verdict::None;
    seen_.clear();
}

QString SshHostKeyCheck::RefusalText(const QString& server, int port) const
{
    const QString host = server.left(255);
    switch (verdict_) {
    case Verdict::Mismatch:
        return QStringLiteral(
                   "Host key of %1 does not match the one in %2 - the server shows %3; if the server's "
                   "key was changed on purpose, replace its line in that file")
            .arg(host, file_, seen_);
    case Verdict::Missing: {
        const QString addHint = QFile::exists(file_)
                                    ? QStringLiteral("is not in %1").arg(file_)
                                    : QStringLiteral("cannot be checked: %1 does not exist").arg(file_);
        return QStringLiteral("Host key of %1 %2 - the server shows %3; after checking it, add it with: "
                              "ssh-keyscan -p %4 %1 >> %5")
            .arg(host, addHint, seen_, QString::number(port), file_);
    }
    case Verdict::None:
        break;
    }
    return QString();
}

QString SshHostKeyCheck::KeyFingerprint(const QByteArray& keyBlob)
{
    QByteArray text = QCryptographicHash::hash(keyBlob, QCryptographicHash::Sha256).toBase64();
    while (text.endsWith('='))
        text.chop(1);
    return QStringLiteral("SHA256:") + QString::fromLatin1(text);
}
