#pragma once

#include "CertificateFingerprint.h"
#include "SettingsFile.h"

#include <QString>

#include <cstdint>
#include <optional>

// How the connection to the mail server is protected.
enum class SmtpSecurity
{
    None,     // plain text throughout; no password is ever sent
    StartTls, // plain connection, upgraded by STARTTLS before anything else is said
    Tls,      // encrypted from the first byte (implicit TLS, usually port 465)
};

// The e-mail sender's settings; each mailing works on its own copy.
struct SmtpSettings
{
    static constexpr qsizetype MaxUserNameLength = 256;
    static constexpr qsizetype MaxPasswordLength = 256;

    QString fromAddress;
    QString toAddress; // one or more addresses separated by commas, as typed
    QString server;
    std::uint16_t port = 25;
    QString filename = QStringLiteral("Pixlet Image.jpg"); // a time-token template
    QString subject;                                       // a time-token template
    SmtpSecurity security = SmtpSecurity::None;
    QString userName; // empty: no login, as before the key
    QString password; // plain text in memory; scrambled in the file when scramblePassword
    bool savePassword = true;
    bool scramblePassword = true;
    // The SHA-256 fingerprint of a server certificate trusted although no authority vouches
    // for it: upper-case hex pairs joined by colons, or empty.
    QString certificateSha256;

    friend bool operator==(const SmtpSettings&, const SmtpSettings&) = default;

    // The twelve keys; the port keeps the low 16 bits of the number. A value the new keys
    // cannot take is logged and replaced by its default.
    static SmtpSettings Read(const SettingsList& list);
    // Server, port, subject, file name, recipients, sender, then security, user name, the
    // password only when it is to be saved, its two switches and the fingerprint, then one
    // empty line.
    void Write(SettingsList& list) const;
};

// The recipients: the comma-separated fields in order, each trimmed, up to the first empty one
// (a field of blanks alone is not empty: it gives an empty address).
QStringList SplitRecipients(const QString& toAddress);

// "None", "STARTTLS", "TLS", as in the file.
QString SmtpSecurityName(SmtpSecurity security);
std::optional<SmtpSecurity> ParseSmtpSecurity(const QString& text);
