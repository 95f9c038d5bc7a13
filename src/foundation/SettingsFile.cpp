#include "SettingsFile.h"

#include "AtomicFileWriter.h"
#include "NumberText.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <limits>

namespace {
// A settings file is a few kilobytes; anything far larger is not ours and is not loaded whole.
constexpr qint64 MaxSettingsFileBytes = 16 * 1024 * 1024;

QString DecodeSettingsBytes(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

bool IsLineWhiteSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f';
}

// The value of a line that begins with the key: separators off the front, white space off the end.
QString ValueAfterKey(const QString& line, qsizetype keyLength)
{
    qsizetype begin = keyLength;
    while (begin < line.size() && (line[begin] == u':' || line[begin] == u'=' || line[begin] == u' '))
        ++begin;
    qsizetype end = line.size();
    while (end > begin && IsLineWhiteSpace(line[end - 1]))
        --end;
    return line.mid(begin, end - begin);
}

bool LineHoldsKey(const QString& line, const QString& key)
{
    if (!line.startsWith(key) || line.size() == key.size())
        return false;
    const QChar next = line[key.size()];
    return next == u' ' || next == u'=' || next == u':';
}
} // namespace

bool ReadSettingsFile(SettingsList& list, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() > MaxSettingsFileBytes)
        return false;
    const QByteArray bytes = file.read(MaxSettingsFileBytes + 1);
    if (bytes.size() > MaxSettingsFileBytes || file.error() != QFileDevice::NoError)
        return false;

    QString text = DecodeSettingsBytes(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (text.isEmpty())
        return true;
    // Lines end in CR LF; a bare LF is taken as a line end too. A final line end does not
    // start another line.
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        list.append(line);
    }
    return true;
}

QString GetSettingString(const SettingsList& list, const QString& key, const QString& defaultValue,
                         bool caseSensitive)
{
    const QString wanted = caseSensitive ? key : key.toLower();
    for (const QString& original : list) {
        const QString line = caseSensitive ? original : original.toLower();
        if (LineHoldsKey(line, wanted))
            return ValueAfterKey(line, wanted.size());
    }
    return defaultValue;
}

std::int32_t ParseSettingInt(const QString& text)
{
    return ParseLeadingInteger(text, LeadingSpace::WhiteSpace);
}

bool ParseSettingBool(const QString& text)
{
    const QString lower = text.toLower();
    return lower == QLatin1String("yes") || lower == QLatin1String("1");
}

std::int32_t GetSettingInt(const SettingsList& list, const QString& key, std::int32_t defaultValue,
                           std::int32_t minimum, std::int32_t maximum, bool caseSensitive)
{
    if (maximum < minimum)
        std::swap(minimum, maximum);
    const std::int32_t value =
        ParseSettingInt(GetSettingString(list, key, QString::number(defaultValue), caseSensitive));
    return std::clamp(value, minimum, maximum);
}

bool GetSettingBool(const SettingsList& list, const QString& key, bool defaultValue, bool caseSensitive)
{
    const QString fallback = defaultValue ? QStringLiteral("Yes") : QStringLiteral("No");
    return ParseSettingBool(GetSettingString(list, key, fallback, caseSensitive));
}

void AppendSetting(SettingsList& list, const QString& key, const QString& value)
{
    // A line break inside a value would end its line and let the rest read as a setting of
    // its own (a caption text could set the FTP server), so breaks become blanks.
    QString line = key + QLatin1String(" = ") + value;
    for (QChar& c : line) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    list.append(line);
}

void AppendSetting(SettingsList& list, const QString& key, const char* value)
{
    AppendSetting(list, key, QString::fromUtf8(value));
}

void AppendSetting(SettingsList& list, const QString& key, std::int32_t value)
{
    AppendSetting(list, key, QString::number(value));
}

void AppendSetting(SettingsList& list, const QString& key, bool value)
{
    AppendSetting(list, key, value ? QStringLiteral("Yes") : QStringLiteral("No"));
}

void EndSettingsBlock(SettingsList& list)
{
    list.append(QString());
}

bool WriteSettingsFile(const SettingsList& list, const QString& path, int* errorCode)
{
    QByteArray bytes;
    for (const QString& line : list) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    // The file may hold a password: only its owner may read it.
    const int error = WriteFileAtomically(path, bytes, 0600);
    if (errorCode)
        *errorCode = error;
    return error == 0;
}
