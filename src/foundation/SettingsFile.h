#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// The lines of the settings file, without their line ends, in file order. Lives for one load
// or one save; each component looks its own keys up in it and appends its own block on save.
using SettingsList = QStringList;

// Appends every line of the file to the list (which is not emptied first). The file is read as
// UTF-8 when it is valid UTF-8, otherwise one byte per character. Returns false, leaving the
// list as it was, when the file cannot be read (or is too large to be a settings file).
bool ReadSettingsFile(SettingsList& list, const QString& path);

// The value of the first line that holds the key, or the default.
QString GetSettingString(const SettingsList& list, const QString& key, const QString& defaultValue,
                         bool caseSensitive = true);
// The value read like atoi and limited to the bounds (swapped first if maximum < minimum).
std::int32_t GetSettingInt(const SettingsList& list, const QString& key, std::int32_t defaultValue,
                           std::int32_t minimum, std::int32_t maximum, bool caseSensitive = true);
// True when the value is "yes" or "1" in any case.
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
