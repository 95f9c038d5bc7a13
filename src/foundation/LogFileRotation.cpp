#include "LogFileRotation.h"

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
        return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
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
