#include "CaptionSettings.h"

#include "EventLog.h"
#include "HatchStyles.h"

#include <QHash>

#include <algorithm>
#include <limits>

namespace CaptionSettings {
namespace {
constexpr int Lowest = std::numeric_limits<int>::min();
constexpr int Highest = std::numeric_limits<int>::max();

QString Key(int index, const char* suffix)
{
    return QStringLiteral("Caption%1%2").arg(index).arg(QLatin1String(suffix));
}

std::uint8_t ReadAlpha(const QString& value)
{
    // Only the low eight bits count: 300 reads as 44.
    return static_cast<std::uint8_t>(ReadDecimal(ExtractField(value, 0, u',')) & 0xFF);
}

// Every "Caption..." line by its key, the first of each, found in one pass: looking each of
// thousands of keys up through the whole list would take time quadratic in the captions.
QHash<QString, SettingsList> IndexCaptionLines(const SettingsList& list)
{
    QHash<QString, SettingsList> index;
    for (const QString& line : list) {
        if (!line.startsWith(QLatin1String("Caption")))
            continue;
        qsizetype end = 0;
        while (end < line.size() && line[end] != u' ' && line[end] != u'=' && line[end] != u':')
            ++end;
        const QString key = line.left(end);
        if (!index.contains(key))
            index.insert(key, SettingsList{line});
    }
    return index;
}

std::int32_t BoundedDecimal(const QString& key, const QString& field, std::int32_t value, std::int32_t limit)
{
    const std::int32_t bounded = std::clamp(value, -limit, limit);
    if (bounded != value) {
        AddLogEntry(LogCategory::Error, QStringLiteral("Settings - %1 %2 = %3 is out of range - using %4")
                                            .arg(key, field)
                                            .arg(value)
                                            .arg(bounded));
    }
    return bounded;
}
} // namespace

std::vector<CCaptionData> ReadCaptions(const SettingsList& list)
{
    const QHash<QString, SettingsList> index = IndexCaptionLines(list);
    const auto lines = [&index](const QString& key) { return index.value(key); };
    const int count = GetSettingInt(lines(QStringLiteral("CaptionNumberOfCaptions")),
                                    QStringLiteral("CaptionNumberOfCaptions"), 0, 0, MaxCaptions);
    std::vector<CCaptionData> captions;
    captions.reserve(count);
    for (int i = 0; i < count; ++i) {
        CCaptionData caption;
        const QString textKey = Key(i, "Text");
        caption.text = GetSettingString(lines(textKey), textKey, QString());
        if (caption.text.size() > MaxTextLength) {
            AddLogEntry(LogCategory::Error,
                        QStringLiteral("Settings - %1 is %2 characters long - using its first %3")
                            .arg(textKey)
                            .arg(caption.text.size())
                            .arg(MaxTextLength));
            caption.text.truncate(MaxTextLength);
        }
        caption.textColour = GetSettingString(lines(Key(i, "TextColour")), Key(i, "TextColour"), QString());
        caption.backgroundColour =
            GetSettingString(lines(Key(i, "BackgroundColour")), Key(i, "BackgroundColour"), QString());
        caption.textAlpha =
            ReadAlpha(GetSettingString(lines(Key(i, "TextAlpha")), Key(i, "TextAlpha"), QString()));
        caption.backgroundAlpha = ReadAlpha(
            GetSettingString(lines(Key(i, "BackgroundAlpha")), Key(i, "BackgroundAlpha"), QString()));
        const QString positionKey = Key(i, "Position");
        const QString position = GetSettingString(lines(positionKey), positionKey, QString());
        caption.positionX = BoundedDecimal(positionKey, QStringLiteral("X"),
                                           ReadDecimal(ExtractField(position, 0, u',')), MaxPosition);
        caption.positionY = BoundedDecimal(positionKey, QStringLiteral("Y"),
                                           ReadDecimal(ExtractField(position, 1, u',')), MaxPosition);
        caption.justify = GetSettingInt(lines(Key(i, "Justify")), Key(i, "Justify"), 0, Lowest, Highest);
        caption.fontName =
            GetSettingString(lines(Key(i, "Font")), Key(i, "Font"), QString()).left(MaxFontNameLength);
        caption.fontSize = GetSettingInt(lines(Key(i, "FontSize")), Key(i, "FontSize"), 0, 0, MaxFontSize);
        caption.fontItalic = GetSettingBool(lines(Key(i, "FontItalic")), Key(i, "FontItalic"), false);
        caption.fontWeight =
            GetSettingInt(lines(Key(i, "FontWeight")), Key(i, "FontWeight"), 0, 0, MaxFontWeight);
        captions.push_back(std::move(caption));
    }
    return captions;
}

std::array<ColourValue, 16> ReadCustomColours(const SettingsList& list)
{
    std::array<ColourValue, 16> colours{};
    for (int j = 0; j < 16; ++j)
        colours[j] =
            ColourFromText(GetSettingString(list, QStringLiteral("CaptionCustomColour%1").arg(j), QString()));
    return colours;
}

int ReadSampleBorderHatchStyle(const SettingsList& list)
{
    return HatchStyleFromName(
        GetSettingString(list, QStringLiteral("CaptionSampleBorderHatchStyle"), QString()));
}

void Write(SettingsList& list, const std::vector<CCaptionData>& captions,
           const std::array<ColourValue, 16>& customColours, int sampleBorderHatchStyle)
{
    AppendSetting(list, QStringLiteral("CaptionNumberOfCaptions"),
                  static_cast<std::int32_t>(captions.size()));
    EndSettingsBlock(list);
    for (int i = 0; i < static_cast<int>(captions.size()); ++i) {
        const CCaptionData& caption = captions[i];
        AppendSetting(list, Key(i, "Text"), caption.text);
        AppendSetting(list, Key(i, "TextColour"), caption.textColour);
        AppendSetting(list, Key(i, "TextAlpha"), static_cast<std::int32_t>(caption.textAlpha));
        AppendSetting(list, Key(i, "BackgroundColour"), caption.backgroundColour);
        AppendSetting(list, Key(i, "BackgroundAlpha"), static_cast<std::int32_t>(caption.backgroundAlpha));
        AppendSetting(list, Key(i, "Position"),
                      QStringLiteral("%1,%2").arg(caption.positionX).arg(caption.positionY));
        AppendSetting(list, Key(i, "Justify"), caption.justify);
        AppendSetting(list, Key(i, "Font"), caption.fontName);
        AppendSetting(list, Key(i, "FontSize"), caption.fontSize);
        AppendSetting(list, Key(i, "FontItalic"), caption.fontItalic);
        AppendSetting(list, Key(i, "FontWeight"), caption.fontWeight);
        EndSettingsBlock(list);
    }
    for (int j = 0; j < 16; ++j)
        AppendSetting(list, QStringLiteral("CaptionCustomColour%1").arg(j), ColourToText(customColours[j]));
    EndSettingsBlock(list);
    AppendSetting(list, QStringLiteral("CaptionSampleBorderHatchStyle"),
                  HatchStyleToName(sampleBorderHatchStyle));
    EndSettingsBlock(list);
}

} // namespace CaptionSettings
