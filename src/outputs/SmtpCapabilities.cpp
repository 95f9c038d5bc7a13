#include "SmtpCapabilities.h"

SmtpCapabilities SmtpCapabilities::Parse(const QString& reply)
{
    SmtpCapabilities capabilities;
    const QStringList lines = reply.split(QLatin1Char('\n'));
    // The first line greets with the server's name; the offers follow.
    for (qsizetype i = 1; i < lines.size() && i <= MaxLines; ++i) {
        const QString line = lines[i].trimmed();
        if (line.size() < 4 || line.size() > MaxLineLength)
            continue;
        const QStringList words = line.mid(4).toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        QString keyword = words.first();
        QStringList parameters = words.mid(1);
        // "AUTH=LOGIN PLAIN" from servers that predate the standard form.
        if (keyword.startsWith(QLatin1String("AUTH="))) {
            parameters.prepend(keyword.mid(5));
            keyword = QStringLiteral("AUTH");
        }
        if (!capabilities.keywords_.contains(keyword))
            capabilities.keywords_.append(keyword);
        if (keyword == QLatin1String("AUTH")) {
            for (const QString& mechanism : parameters) {
                if (!mechanism.isEmpty() && !capabilities.mechanisms_.contains(mechanism))
                    capabilities.mechanisms_.append(mechanism);
            }
        }
    }
    return capabilities;
}
