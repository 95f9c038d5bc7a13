#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

// The lines of the settings file, without their line ends, in file order. Lives for one load
// or one save; each component looks its own keys up in it and appends its own block on save.
using SettingsList = QStringList;

// How a read of the settings file went. A missing file is a first start; a file that exists
// but cannot be read (no permission, an I/O error, too large, not a regular file) holds
// somebody's settings and must never be replaced without keeping it.
struct SettingsFileRead
{
    enum class Status
    {
        Read,
        Missing,
        Unreadable,
    };
    Status status = Status::Read;
    QString reason; // why it could not be read, for the log
    explicit operator bool() const { return status == Status::Read; }
};

// Appends every line of the file to the list (which is not emptied first). The file is read as
// UTF-8 when it is valid UTF-8, otherwise one byte per character; CR LF, LF and CR alone all
// end a line. On failure the list is left as it was. Only a regular file is opened, without
// blocking, so a pipe in its place cannot hold up the start.
SettingsFileRead ReadSettingsFile(SettingsList& list, const QString& path);

// Moves an existing file aside under a dated name in the same directory ("Pixlet.ini" becomes
// "Pixlet.ini.unreadable-20261210-142501", with a number added if that is taken). Returns the
// new path, or an empty text with the errno value in errorCode when it could not be moved.
QString SetFileAside(const QString& path, const QDateTime& when, int* errorCode = nullptr);

// The value of the first line that holds the key, or the default. A line written by
// AppendSetting ("key = value") gives its value back exactly as it was written; lines edited
// by hand may also separate key and value by "=", ":", ":=" or blanks alone, with blanks
// around the separator and white space at the end of the line ignored.
QString GetSettingString(const SettingsList& list, const QString& key, const QString& defaultValue,
                         bool caseSensitive = true);
// The value read like atoi and limited to the bounds (swapped first if maximum < minimum); a
// value outside them is logged with the key and the value used.
std::int32_t GetSettingInt(const SettingsList& list, const QString& key, std::int32_t defaultValue,
                           std::int32_t minimum, std::int32_t maximum, bool caseSensitive = true);
// True when the value is "yes" or "1" in any case (blanks around it ignored).
bool GetSettingBool(const SettingsList& list, const QString& key, bool defaultValue,
                    bool caseSensitive = true);

// The integer reading of settings values: leading white space, an optional sign, the digits up
// to the first other character; no digits give 0. Saturates at the 32-bit limits.
std::int32_t ParseSettingInt(const QString& text);
bool ParseSettingBool(const QString& text);

// Writing: each setting is one "key = value" line; a component ends its block with an empty line.
void AppendSetting(SettingsList& list, const QString& key, const QString& value);
void AppendSetting(SettingsList& list, const QString& key, const char* value);
void AppendSetting(SettingsList& list, const QString& key, std::int32_t value);
void AppendSetting(SettingsList& list, const QString& key, bool value);
void EndSettingsBlock(SettingsList& list);

// Writes every line followed by CR LF, as UTF-8, replacing the file atomically and readable by
// its owner only. Creates missing parent directories. On failure the previous file is left
// as it was, the function returns false and errorCode (if given) receives the errno value.
bool WriteSettingsFile(const SettingsList& list, const QString& path, int* errorCode = nullptr);
