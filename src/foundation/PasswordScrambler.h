#pragma once

#include "SettingsFile.h"

#include <QString>

// Keeps a password out of plain sight in the settings file: the UTF-8 bytes XORed with a
// fixed three-letter key, then Base64 without padding. This hides it from a glance over a
// shoulder, nothing more: anyone with the file and this code can read it.
//
// The stored text has no line breaks, so a long password still fits on its settings line;
// unscrambling skips any it finds, and stops at the first zero byte.
QString ScramblePassword(const QString& password);
QString UnscramblePassword(const QString& text);

// The password kept under `key` in a settings block, unscrambled when `scrambled`: bounded
// before unscrambling (so a huge line costs no more than its reading) and after, and without a
// zero character. Otherwise none, with a log line that never shows the value.
QString ReadStoredPassword(const SettingsList& list, const QString& key, bool scrambled, qsizetype maxLength);
