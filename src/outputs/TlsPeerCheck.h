#pragma once

#include <QString>

// The check of an FTPS server's certificate, on a libcurl handle built with OpenSSL.
// Verification always runs against the system's authorities; with a pinned SHA-256
// fingerprint the server must show exactly that certificate, and then it is taken even though
// no authority vouches for it (a self-signed one) and whatever name it bears. The handshake
// itself proves the server holds the certificate's key.
class TlsPeerCheck final
{
public:
    explicit TlsPeerCheck(const QString& pinnedSha256) : pin_(pinnedSha256) {}
    TlsPeerCheck(const TlsPeerCheck&) = delete;
    TlsPeerCheck& operator=(const TlsPeerCheck&) = delete;

    // Sets the handle's verification options and hooks; the check must outlive the handle.
    // False when the library cannot take the hook (not built on OpenSSL): nothing may go then.
    bool Install(void* curl);
    // Every request starts without what an earlier handshake found.
    void Reset();

    // After a failed request: why the certificate was refused ("Certificate of HOST not
    // trusted - fingerprint SHA-256 ..."), or empty when it was not.
    QString RefusalText(const QString& server) const;

private:
    friend struct TlsPeerCheckHooks; // the library's callbacks

    const QString pin_;
    QString seen_;       // the last server certificate's fingerprint
    QString firstError_; // what the verification said first
    bool mismatch_ = false;
    bool untrusted_ = false;
};
