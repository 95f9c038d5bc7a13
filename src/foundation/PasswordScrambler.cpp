#include "PasswordScrambler.h"

#include "Base64.h"

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
