#include "LogText.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

bool RotateLogFileIfFull(const QString& path, qint64 maxBytes, int keep)
{
    if (maxBytes <= 0 || keep < 1)
        return false;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() < maxBytes)
        return false;
    const auto numbered = [&path](int n) {
        return QFile::encodeName(path + QLatin1Char('.') + QString::number(n));
    };
    std::remove(numbered(keep).constData());
    for (int n = keep - 1; n >= 1; --n)
        std::rename(numbered(n).constData(), numbered(n + 1).constData());
    return std::rename(QFile::encodeName(path).constData(), numbered(1).constData()) == 0;
}

QString EscapeControlCharacters(const QString& text)
{
    const auto isControl = [](char16_t c) {
        // Line and paragraph separators break a line; the direction marks and overrides make a
        // line show other than it reads.
        return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029 || c == 0x200E ||
               c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
    };
    bool any = false;
    for (const QChar c : text)
        any = any || isControl(c.unicode());
    if (!any)
        return text;
    QString escaped;
    escaped.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (!isControl(code)) {
            escaped += c;
            continue;
        }
        switch (code) {
        case u'\n':
            escaped += QLatin1String("\\n");
            break;
        case u'\r':
            escaped += QLatin1String("\\r");
            break;
        case u'\t':
            escaped += QLatin1String("\\t");
            break;
        default:
            escaped += code < 0x100 ? QString::asprintf("\\x%02x", unsigned(code))
                                    : QString::asprintf("\\u%04x", unsigned(code));
        }
    }
    return escaped;
}

QString FileNameForDisplay(const QByteArray& name)
{
    QString shown;
    shown.reserve(name.size());
    qsizetype i = 0;
    while (i < name.size()) {
        const auto lead = static_cast<unsigned char>(name[i]);
        // Doubled, so that a name holding "\x41" cannot pass for one holding a stray byte.
        if (lead == '\\') {
            shown += QLatin1String("\\\\");
            ++i;
            continue;
        }
        const int length = lead < 0x80           ? 1
                           : (lead >> 5) == 0x6  ? 2
                           : (lead >> 4) == 0xE  ? 3
                           : (lead >> 3) == 0x1E ? 4
                                                 : 0;
        bool valid = length > 0 && i + length <= name.size();
        for (int k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(name[i + k]) & 0xC0) == 0x80;
        QString decoded;
        if (valid) {
            decoded = QString::fromUtf8(name.constData() + i, length);
            // Overlong forms and surrogates decode to the replacement character.
            valid = !decoded.contains(QChar(QChar::ReplacementCharacter));
        }
        if (valid) {
            shown += decoded;
            i += length;
        } else {
            shown += QString::asprintf("\\x%02x", unsigned(lead));
            ++i;
        }
    }
    return EscapeControlCharacters(shown);
}
