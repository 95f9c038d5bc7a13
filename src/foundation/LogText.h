#pragma once

#include <QString>

// Keeps a log file from filling the disk in a run of months: once it has reached maxBytes, it
// becomes "<path>.1", the older ones move up one number, and the one past `keep` is removed.
// maxBytes <= 0 never rotates. Returns true when the file was rotated.
bool RotateLogFileIfFull(const QString& path, qint64 maxBytes, int keep);

// The text with every control character (C0, DEL, C1, line and paragraph separators) shown
// escaped ("\n", "\r", "\t", "\x1b", "\u2028"), so that a file name or a server reply can never
// start a log line of its own or reach a terminal as a command.
QString EscapeControlCharacters(const QString& text);

// A file name as the file system holds it (bytes), for the log: valid UTF-8 as its characters,
// every byte that is not as "\xNN", a backslash doubled, control characters escaped as above.
QString FileNameForDisplay(const QByteArray& name);
