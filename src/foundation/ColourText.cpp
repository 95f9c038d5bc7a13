#include "ColourText.h"

#include <limits>

QString ExtractField(const QString& text, int n, QChar delimiter)
{
    if (n < 0)
        return QString();
    qsizetype start = 0;
    for (int field = 0; field < n; ++field) {
        const qsizetype next = text.indexOf(delimiter, start);
        if (next < 0)
            return QString();
        start = next + 1;
    }
    const qsizetype end = text.indexOf(delimiter, start);
    return end < 0 ? text.mid(start) : text.mid(start, end - start);
}

std::int32_t ReadDecimal(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min(limit, value * 10 + (text[i].unicode() - u'0'));
    if (negative)
        value = -value;
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

ColourValue ColourFromText(const QString& text)
{
    return MakeColour(ReadDecimal(ExtractField(text, 0, u',')), ReadDecimal(ExtractField(text, 1, u',')),
                      ReadDecimal(ExtractField(text, 2, u',')));
}

QString ColourToText(ColourValue colour)
{
    return QStringLiteral("%1,%2,%3").arg(RedOf(colour)).arg(GreenOf(colour)).arg(BlueOf(colour));
}
