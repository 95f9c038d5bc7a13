#include "ColourText.h"

#include "NumberText.h"

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
    return ParseLeadingInteger(text, LeadingSpace::Blanks);
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
