#include "SettingsFile.h"

#include "AtomicFileWriter.h"
#include "EventLog.h"
#include "NumberText.h"
#include "RegularFile.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

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

// The value of a line that begins with the key. What AppendSetting wrote ("key = value") is
// taken verbatim, so a text that begins with "=" or ":" or has blanks at either end reads back
// as it was. Other forms are hand edits: blanks, one separator ("=", ":" or ":="), blanks, and
// white space off the end.
QString ValueAfterKey(const QString& line, qsizetype keyLength)
{
    if (QStringView(line).mid(keyLength, 3) == u" = ")
        return line.mid(keyLength + 3);
    qsizetype begin = keyLength;
    const auto skipBlanks = [&] {
        while (begin < line.size() && line[begin] == u' ')
            ++begin;
    };
    skipBlanks();
    if (QStringView(line).mid(begin, 2) == u":=")
        begin += 2;
    else if (begin < line.size() && (line[begin] == u'=' || line[begin] == u':'))
        ++begin;
    skipBlanks();
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

SettingsFileRead ReadSettingsFile(SettingsList& list, const QString& path)
{
    SettingsFileRead outcome;
    const auto fail = [&outcome](int error, const QString& why = QString()) {
        outcome.status =
            error == ENOENT ? SettingsFileRead::Status::Missing : SettingsFileRead::Status::Unreadable;
        outcome.reason = why.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : why;
        return outcome;
    };
    QFile file;
    if (const int error = OpenRegularFile(file, QFile::encodeName(path), O_RDONLY, QIODevice::ReadOnly)) {
        // A link whose target is missing (a disk not mounted yet) is somebody's settings too:
        // a first-start save would replace the link with a file of defaults.
        struct stat link
        {
        };
        if (error == ENOENT && ::lstat(QFile::encodeName(path).constData(), &link) == 0 &&
            S_ISLNK(link.st_mode))
            return fail(EINVAL,
                        QStringLiteral("a link to %1, which does not exist").arg(QFile::symLinkTarget(path)));
        return error == ENOTREGULAR ? fail(EINVAL, QStringLiteral("not a regular file")) : fail(error);
    }
    if (file.size() > MaxSettingsFileBytes)
        return fail(EFBIG, QStringLiteral("larger than %1 MB").arg(MaxSettingsFileBytes / (1024 * 1024)));
    // Read in pieces up to one byte past the limit (the file may grow meanwhile): one read of
    // the limit's size would take 16 MB of memory for a file of a few hundred bytes.
    QByteArray bytes;
    while (bytes.size() <= MaxSettingsFileBytes) {
        const QByteArray piece =
            file.read(std::min<qint64>(64 * 1024, MaxSettingsFileBytes + 1 - bytes.size()));
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (file.error() != QFileDevice::NoError)
        return fail(EIO, file.errorString());
    if (bytes.size() > MaxSettingsFileBytes)
        return fail(EFBIG, QStringLiteral("larger than %1 MB").arg(MaxSettingsFileBytes / (1024 * 1024)));

    QString text = DecodeSettingsBytes(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (text.isEmpty())
        return outcome;
    // Lines end in CR LF; LF alone and CR alone (older editors) end a line too. A final line
    // end does not start another line.
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.append(text.mid(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    list.append(lines);
    return outcome;
}

QString SetFileAside(const QString& path, const QDateTime& when, int* errorCode)
{
    const QString base =
        path + QStringLiteral(".unreadable-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString target = attempt == 0 ? base : base + QStringLiteral("-%1").arg(attempt);
        // link + unlink never replaces an existing name, as a rename would.
        const QByteArray from = QFile::encodeName(path), to = QFile::encodeName(target);
        if (::link(from.constData(), to.constData()) == 0) {
            ::unlink(from.constData());
            return target;
        }
        if (errno == EEXIST)
            continue;
        // File systems without hard links: a rename after checking the name is free.
        if ((errno == EPERM || errno == EOPNOTSUPP) && !QFile::exists(target) &&
            ::rename(from.constData(), to.constData()) == 0)
            return target;
        if (errorCode)
            *errorCode = errno;
        return QString();
    }
    if (errorCode)
        *errorCode = EEXIST;
    return QString();
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
    const QString lower = text.trimmed().toLower();
    return lower == QLatin1String("yes") || lower == QLatin1String("1");
}

std::int32_t GetSettingInt(const SettingsList& list, const QString& key, std::int32_t defaultValue,
                           std::int32_t minimum, std::int32_t maximum, bool caseSensitive)
{
    if (maximum < minimum)
        std::swap(minimum, maximum);
    const QString text = GetSettingString(list, key, QString::number(defaultValue), caseSensitive);
    const std::int32_t value = ParseSettingInt(text);
    const std::int32_t bounded = std::clamp(value, minimum, maximum);
    const QString number = text.trimmed();
    const bool digits =
        !number.isEmpty() && (number[0].isDigit() || (number.size() > 1 && number[1].isDigit() &&
                                                      (number[0] == u'-' || number[0] == u'+')));
    if (!number.isEmpty() && !digits) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Settings - %1 = %2 is not a number - using %3")
                                            .arg(key.trimmed(), text.left(40))
                                            .arg(bounded));
    } else if (bounded != value) {
        // A hand-edited or damaged file: say which value was not taken and what is used.
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Settings - %1 = %2 is out of range (%3 to %4) - using %5")
                        .arg(key.trimmed(), text.left(40))
                        .arg(minimum)
                        .arg(maximum)
                        .arg(bounded));
    }
    return bounded;
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
