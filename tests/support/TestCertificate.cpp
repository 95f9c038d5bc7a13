#include "TestCertificate.h"

#include <QFile>
#include <QProcess>

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

bool TestCertificate::Run(const QStringList& arguments) const
{
    QProcess openssl;
    openssl.setWorkingDirectory(directory_.path());
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        qWarning("openssl %s: %s", qPrintable(arguments.join(' ')), openssl.readAll().constData());
        return false;
    }
    return true;
}

TestCertificate::TestCertificate(Kind kind, const TestCertificate* issuer)
{
    if (!directory_.isValid())
        return;
    // Elliptic-curve keys: made at once, unlike RSA ones.
    const QStringList key = {"-newkey", "ec",      "-pkeyopt", "ec_paramgen_curve:prime256v1",
                             "-nodes",  "-keyout", "key.pem"};
    const QString subject = kind == Kind::Authority ? "/CN=Pixlet Test Authority" : "/CN=127.0.0.1";
    bool ok = false;
    if (kind == Kind::Authority) {
        ok =
            Run(QStringList{"req", "-x509"} + key +
                QStringList{"-out", "cert.pem", "-days", "2", "-subj", subject, "-addext",
                            "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"});
    } else if (!issuer) {
        ok = Run(QStringList{"req", "-x509"} + key +
                 QStringList{"-out", "cert.pem", "-days", "2", "-subj", subject, "-addext",
                             "subjectAltName=IP:127.0.0.1"});
    } else {
        QFile extensions(directory_.filePath("extensions"));
        ok = extensions.open(QIODevice::WriteOnly) && extensions.write("subjectAltName=IP:127.0.0.1\n") > 0;
        extensions.close();
        ok = ok &&
             Run(QStringList{"req", "-new"} + key + QStringList{"-out", "request.pem", "-subj", subject}) &&
             Run({"x509", "-req", "-in", "request.pem", "-CA", issuer->CertificatePath(), "-CAkey",
                  issuer->KeyPath(), "-CAcreateserial", "-days", "2", "-extfile", "extensions", "-out",
                  "cert.pem"});
    }
    if (!ok)
        return;
    QFile chain(ChainPath());
    if (!chain.open(QIODevice::WriteOnly) ||
        !chain.write(ReadAll(CertificatePath()) +
                     (issuer ? ReadAll(issuer->CertificatePath()) : QByteArray())))
        return;
    chain.close();
    QProcess fingerprint;
    fingerprint.start(QStringLiteral("openssl"),
                      {"x509", "-in", CertificatePath(), "-noout", "-fingerprint", "-sha256"});
    if (!fingerprint.waitForFinished(30000))
        return;
    // "sha256 Fingerprint=AB:CD:..." (older tools say "SHA256").
    const QByteArray line = fingerprint.readAllStandardOutput().trimmed();
    sha256_ = QString::fromLatin1(line.mid(line.indexOf('=') + 1));
    made_ = sha256_.size() == 95;
}

QSslCertificate TestCertificate::Certificate() const
{
    return QSslCertificate(ReadAll(CertificatePath()), QSsl::Pem);
}

QSslKey TestCertificate::Key() const
{
    return QSslKey(ReadAll(KeyPath()), QSsl::Ec, QSsl::Pem);
}

const TestCertificate& SharedSelfSigned()
{
    static const TestCertificate certificate;
    return certificate;
}

const TestCertificate& SharedStranger()
{
    static const TestCertificate certificate;
    return certificate;
}
