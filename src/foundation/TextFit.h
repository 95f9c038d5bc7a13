#pragma once

#include <QString>

class QFontMetrics;

// The text whole when it is at most `wholeWidth` pixels wide; otherwise its longest prefix
// that, with "..." after it, is narrower than `cutWidth`, followed by "...". The prefix is
// found by halving, a few measurements whatever the length, and a text far longer than any
// width could show is not measured whole: an error reply of 30 KB is shortened in a moment.
QString ShortenWithDots(const QString& text, const QFontMetrics& metrics, int wholeWidth, int cutWidth);
