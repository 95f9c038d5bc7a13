#include "CertificateFingerprint.h"

#include "UnusableSetting.h"

std::optional<QString> NormaliseCertificateFingerprint(const QString& text)
{
    constexpr qsizetype Digits = 64;
    QString hex;
    for (const QChar c : text) {
        if (c == u':' || c.isSpace())
            continue;
        const bool digit = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!digit || hex.size() == Digits)
            return std::nullopt;
        hex.append(c.toUpper());
    }
    if (hex.isEmpty())
        return QString();
    if (hex.size() != Digits)
        return std::nullopt;
    QString pairs;
    for (qsizetype i = 0; i < Digits; i += 2) {
        if (i > 0)
            pairs.append(u':');
        pairs.append(hex.mid(i, 2));
    }
    return pairs;
}

QString CertificateFingerprintText(const QByteArray& sha256Digest)
{
    return QString::fromLatin1(sha256Digest.toHex(':').toUpper());
}

QString ReadCertificateFingerprintSetting(const SettingsList& list, const QString& key)
{
    const QString text = GetSettingString(list, key, QString());
    if (const std::optional<QString> fingerprint = NormaliseCertificateFingerprint(text))
        return *fingerprint;
    LogUnusableSetting(key, QStringLiteral("= %1 is not a SHA-256 fingerprint").arg(text.left(120)),
                       QStringLiteral("none"));
    return QString();
}
