#include "PasswordScrambler.h"

#include "Base64.h"
#include "EventLog.h"

namespace {
constexpr char Key[] = "QZV";

QByteArray Xor(QByteArray bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ Key[i % 3]);
    return bytes;
}
} // namespace

QString ScramblePassword(const QString& password)
{
    if (password.isEmpty())
        return QString();
    return QString::fromLatin1(
        EncodeBase64(Xor(password.toUtf8()), Base64Options::NoPadding | Base64Options::NoLineBreaks));
}

QString UnscramblePassword(const QString& text)
{
    QByteArray bytes = Xor(DecodeBase64(text.toLatin1()));
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

QString ReadStoredPassword(const SettingsList& list, const QString& key, bool scrambled, qsizetype maxLength)
{
    const auto refuse = [&](const QString& why) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Settings - %1 %2 - using none").arg(key, why));
        return QString();
    };
    const QString stored = GetSettingString(list, key, QString());
    // Scrambled text is a third longer than the password; the margin only spares a decode.
    if (stored.size() > 8 * maxLength)
        return refuse(QStringLiteral("is %1 characters long").arg(stored.size()));
    const QString password = scrambled ? UnscramblePassword(stored) : stored;
    if (password.size() > maxLength)
        return refuse(QStringLiteral("is %1 characters long").arg(password.size()));
    if (password.contains(QChar(0)))
        return refuse(QStringLiteral("holds a zero character"));
    return password;
}
