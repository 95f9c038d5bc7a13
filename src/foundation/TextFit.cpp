#include "TextFit.h"

#include <QFontMetrics>

#include <algorithm>

QString ShortenWithDots(const QString& text, const QFontMetrics& metrics, int wholeWidth, int cutWidth)
{
    if (text.isEmpty())
        return text;
    // No character is narrower than a pixel: beyond this many, nothing more could show.
    const qsizetype longest = std::min<qsizetype>(text.size(), std::max({wholeWidth, cutWidth, 0}) + 1);
    if (longest == text.size() && metrics.horizontalAdvance(text) <= wholeWidth)
        return text;
    const QString dots = QStringLiteral("...");
    qsizetype fits = 0, tooLong = longest + 1;
    while (tooLong - fits > 1) {
        const qsizetype middle = fits + (tooLong - fits) / 2;
        if (metrics.horizontalAdvance(text.left(middle) + dots) < cutWidth)
            fits = middle;
        else
            tooLong = middle;
    }
    return text.left(fits) + dots;
}
