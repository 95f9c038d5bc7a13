#pragma once

#include "SettingsFile.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A fingerprint as typed or copied (hex digits in either case, with or without colons and
// blanks between them) in the form kept in the settings: "AB:CD:...", 32 pairs. Empty stays
// empty; anything that is not 64 hex digits gives nothing.
std::optional<QString> NormaliseCertificateFingerprint(const QString& text);

// A SHA-256 digest in that form.
QString CertificateFingerprintText(const QByteArray& sha256Digest);

// The fingerprint under the key, normalised; one that is not a fingerprint is logged and
// gives none.
QString ReadCertificateFingerprintSetting(const SettingsList& list, const QString& key);
