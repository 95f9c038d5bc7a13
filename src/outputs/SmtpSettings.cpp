#include "SmtpSettings.h"

#include <limits>

namespace {
const QString KeyFrom = QStringLiteral("EmailFrom Address");
const QString KeyTo = QStringLiteral("EmailToAddress");
const QString KeyServer = QStringLiteral("EmailServer");
const QString KeyPort = QStringLiteral("EmailPort");
const QString KeyFilename = QStringLiteral("EmailFilename");
const QString KeySubject = QStringLiteral("EmailSubject");
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
