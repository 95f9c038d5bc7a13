#include "SmtpSettings.h"

#include "EventLog.h"
#include "PasswordScrambler.h"
#include "UnusableSetting.h"

#include <limits>

namespace {
const QString KeyFrom = QStringLiteral("EmailFrom Address");
const QString KeyTo = QStringLiteral("EmailToAddress");
const QString KeyServer = QStringLiteral("EmailServer");
const QString KeyPort = QStringLiteral("EmailPort");
const QString KeyFilename = QStringLiteral("EmailFilename");
const QString KeySubject = QStringLiteral("EmailSubject");
const QString KeySecurity = QStringLiteral("EmailSecurity");
const QString KeyUser = QStringLiteral("EmailUsername");
const QString KeyPassword = QStringLiteral("EmailPassword");
const QString KeySavePassword = QStringLiteral("EmailSavePassword");
const QString KeyScramble = QStringLiteral("EmailEncryptPassword");
const QString KeyFingerprint = QStringLiteral("EmailCertificateSHA256");

SmtpSecurity ReadSecurity(const SettingsList& list)
{
    const QString text = GetSettingString(list, KeySecurity, QString());
    if (text.trimmed().isEmpty())
        return SmtpSecurity::None;
    if (const std::optional<SmtpSecurity> security = ParseSmtpSecurity(text))
        return *security;
    // Whoever wrote something else meant some protection: mailing in plain text instead would
    // fail open. STARTTLS refuses a server that cannot give it.
    LogUnusableSetting(KeySecurity, QStringLiteral("= %1 is not None, STARTTLS or TLS").arg(text.left(40)),
                       SmtpSecurityName(SmtpSecurity::StartTls));
    return SmtpSecurity::StartTls;
}

// A user name goes into the login exchange: bounded, and no control characters (a zero
// would split AUTH PLAIN's fields).
QString ReadUserName(const SettingsList& list)
{
    const QString text = GetSettingString(list, KeyUser, QString());
    if (text.size() > SmtpSettings::MaxUserNameLength) {
        LogUnusableSetting(KeyUser, QStringLiteral("is %1 characters long").arg(text.size()),
                           QStringLiteral("none"));
        return QString();
    }
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            LogUnusableSetting(KeyUser, QStringLiteral("holds a control character"), QStringLiteral("none"));
            return QString();
        }
    }
    return text;
}

} // namespace

SmtpSettings SmtpSettings::Read(const SettingsList& list)
{
    const SmtpSettings defaults;
    SmtpSettings s;
    s.fromAddress = GetSettingString(list, KeyFrom, defaults.fromAddress);
    s.toAddress = GetSettingString(list, KeyTo, defaults.toAddress);
    s.server = GetSettingString(list, KeyServer, defaults.server);
    // Any number gives a port: its low sixteen bits, as files have always been read.
    s.port = static_cast<std::uint16_t>(GetSettingInt(list, KeyPort, defaults.port,
                                                      std::numeric_limits<std::int32_t>::min(),
                                                      std::numeric_limits<std::int32_t>::max()) &
                                        0xFFFF);
    s.filename = GetSettingString(list, KeyFilename, defaults.filename);
    s.subject = GetSettingString(list, KeySubject, defaults.subject);
    s.security = ReadSecurity(list);
    s.userName = ReadUserName(list);
    s.savePassword = GetSettingBool(list, KeySavePassword, defaults.savePassword);
    s.scramblePassword = GetSettingBool(list, KeyScramble, defaults.scramblePassword);
    s.password = ReadStoredPassword(list, KeyPassword, s.scramblePassword, MaxPasswordLength);
    s.certificateSha256 = ReadCertificateFingerprintSetting(list, KeyFingerprint);
    return s;
}

void SmtpSettings::Write(SettingsList& list) const
{
    AppendSetting(list, KeyServer, server);
    AppendSetting(list, KeyPort, static_cast<std::int32_t>(port));
    AppendSetting(list, KeySubject, subject);
    AppendSetting(list, KeyFilename, filename);
    AppendSetting(list, KeyTo, toAddress);
    AppendSetting(list, KeyFrom, fromAddress);
    AppendSetting(list, KeySecurity, SmtpSecurityName(security));
    AppendSetting(list, KeyUser, userName);
    if (savePassword)
        AppendSetting(list, KeyPassword, scramblePassword ? ScramblePassword(password) : password);
    AppendSetting(list, KeySavePassword, savePassword);
    AppendSetting(list, KeyScramble, scramblePassword);
    AppendSetting(list, KeyFingerprint, certificateSha256);
    EndSettingsBlock(list);
}

QStringList SplitRecipients(const QString& toAddress)
{
    QStringList recipients;
    for (const QString& field : toAddress.split(QLatin1Char(','))) {
        if (field.isEmpty())
            break;
        recipients.append(field.trimmed());
    }
    return recipients;
}

QString SmtpSecurityName(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::StartTls:
        return QStringLiteral("STARTTLS");
    case SmtpSecurity::Tls:
        return QStringLiteral("TLS");
    case SmtpSecurity::None:
        break;
    }
    return QStringLiteral("None");
}

std::optional<SmtpSecurity> ParseSmtpSecurity(const QString& text)
{
    for (const SmtpSecurity security : {SmtpSecurity::None, SmtpSecurity::StartTls, SmtpSecurity::Tls}) {
        if (text.trimmed().compare(SmtpSecurityName(security), Qt::CaseInsensitive) == 0)
            return security;
    }
    // What mail programs call implicit TLS.
    for (const char* name : {"SSL", "SSL/TLS"}) {
        if (text.trimmed().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return SmtpSecurity::Tls;
    }
    return std::nullopt;
}
