#include "CaptureFormat.h"

#include <QRegularExpression>

QString CaptureFormat::Text() const
{
    const double rate = rateDenominator > 0 ? double(rateNumerator) / rateDenominator : 0.0;
    return QStringLiteral("%1 x %2, %3 fps, %4")
        .arg(size.width())
        .arg(size.height())
        .arg(rate, 0, 'f', 2)
        .arg(pixelFormat);
}

QString CaptureFormat::ToSetting() const
{
    if (IsEmpty())
        return QString();
    return QStringLiteral("%1 %2x%3 %4/%5")
        .arg(pixelFormat)
        .arg(size.width())
        .arg(size.height())
        .arg(rateNumerator)
        .arg(rateDenominator);
}

CaptureFormat CaptureFormat::FromSetting(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*([A-Za-z0-9_]{1,16})\\s+(\\d{1,5})x(\\d{1,5})\\s+(\\d{1,6})/(\\d{1,6})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    CaptureFormat format;
    if (!match.hasMatch())
        return format;
    format.pixelFormat = match.captured(1);
    format.size = QSize(match.captured(2).toInt(), match.captured(3).toInt());
    format.rateNumerator = match.captured(4).toInt();
    format.rateDenominator = match.captured(5).toInt();
    if (format.IsEmpty() || format.rateDenominator <= 0)
        return CaptureFormat();
    return format;
}
