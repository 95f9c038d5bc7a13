#include "TlsPeerCheck.h"

#include "CertificateFingerprint.h"

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace {
int ContextIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

QString Fingerprint(X509* certificate)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!certificate || X509_digest(certificate, EVP_sha256(), digest, &length) != 1)
        return QString();
    return CertificateFingerprintText(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)));
}
} // namespace

struct TlsPeerCheckHooks
{
    static CURLcode OnContext(CURL*, void* sslContext, void* check);
    static int OnVerify(int preverified, X509_STORE_CTX* store);
};

bool TlsPeerCheck::Install(void* curl)
{
    CURL* handle = static_cast<CURL*>(curl);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    // A pinned certificate is this server's whatever name it bears (often a bare address).
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, pin_.isEmpty() ? 2L : 0L);
    const CURLcode hooked = curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, &TlsPeerCheckHooks::OnContext);
    curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, this);
    return hooked == CURLE_OK;
}

void TlsPeerCheck::Reset()
{
    seen_.clear();
    firstError_.clear();
    mismatch_ = untrusted_ = false;
}

CURLcode TlsPeerCheckHooks::OnContext(CURL*, void* sslContext, void* check)
{
    // Called for each connection (control and data) after the library's own set-up.
    auto* context = static_cast<SSL_CTX*>(sslContext);
    SSL_CTX_set_ex_data(context, ContextIndex(), check);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &TlsPeerCheckHooks::OnVerify);
    return CURLE_OK;
}

int TlsPeerCheckHooks::OnVerify(int preverified, X509_STORE_CTX* store)
{
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check =
        ssl ? static_cast<TlsPeerCheck*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), ContextIndex())) : nullptr;
    if (!check)
        return preverified;
    const int depth = X509_STORE_CTX_get_error_depth(store);
    if (depth == 0)
        check->seen_ = Fingerprint(X509_STORE_CTX_get_current_cert(store));
    if (!preverified && check->firstError_.isEmpty())
        check->firstError_ =
            QString::fromUtf8(X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
    if (check->pin_.isEmpty()) {
        if (!preverified)
            check->untrusted_ = true;
        return preverified;
    }
    // Pinned: only the server's own certificate decides. Its issuers' troubles are excused
    // here and the verdict comes when the chain reaches it, at depth 0.
    if (depth > 0 || check->seen_ == check->pin_) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    check->mismatch_ = true;
    return 0;
}

QString TlsPeerCheck::RefusalText(const QString& server) const
{
    if (!mismatch_ && !untrusted_)
        return QString();
    QString text =
        QStringLiteral("Certificate of %1 %2")
            .arg(server.left(255), mismatch_ ? QStringLiteral("does not match the pinned fingerprint")
                                             : QStringLiteral("not trusted"));
    if (untrusted_ && !firstError_.isEmpty())
        text += QStringLiteral(" (%1)").arg(firstError_.left(400));
    if (!seen_.isEmpty())
        text += QStringLiteral(" - fingerprint SHA-256 ") + seen_;
    return text;
}
