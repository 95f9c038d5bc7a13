#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTemporaryDir>

// A throw-away certificate for 127.0.0.1 and its key, made by the openssl tool in a directory
// of its own and gone with it. Self-signed, or signed by another TestCertificate made as an
// authority. No key is ever kept in the source tree.
class TestCertificate final
{
public:
    enum class Kind
    {
        Server,    // for 127.0.0.1
        Authority, // may sign others
    };
    explicit TestCertificate(Kind kind = Kind::Server, const TestCertificate* issuer = nullptr);

    bool Made() const { return made_; }
    QString CertificatePath() const { return directory_.filePath(QStringLiteral("cert.pem")); }
    QString KeyPath() const { return directory_.filePath(QStringLiteral("key.pem")); }
    // The certificate followed by its issuer's, as many servers send them (the issuer's own
    // file when there is none).
    QString ChainPath() const { return directory_.filePath(QStringLiteral("chain.pem")); }
    // The SHA-256 fingerprint as the openssl tool prints it: "AB:CD:...".
    QString Sha256() const { return sha256_; }
    QSslCertificate Certificate() const;
    QSslKey Key() const;

private:
    bool Run(const QStringList& arguments) const;

    QTemporaryDir directory_;
    bool made_ = false;
    QString sha256_;
};

// One of each for a whole test program, made on first use: a self-signed server certificate, and
// another one whose fingerprint is a pin that does not fit.
const TestCertificate& SharedSelfSigned();
const TestCertificate& SharedStranger();
