#include "CaptionSettings.h"

#include "HatchStyles.h"

#include <limits>

namespace CaptionSettings {
namespace {
constexpr int Lowest = std::numeric_limits<int>::min();
constexpr int Highest = std::numeric_limits<int>::max();

QString Key(int index, const char* suffix)
{
    return QStringLiteral("Caption%1%2").arg(index).arg(QLatin1String(suffix));
}

std::uint8_t ReadAlpha(const SettingsList& list, const QString& key)
{
    // Only the low eight bits count: 300 reads as 44.
    return static_cast<std::uint8_t>(
        ReadDecimal(ExtractField(GetSettingString(list, key, QString()), 0, u',')) & 0xFF);
}
} // namespace

std::vector<CCaptionData> ReadCaptions(const SettingsList& list)
{
    const int count = GetSettingInt(list, QStringLiteral("CaptionNumberOfCaptions"), 0, Lowest, Highest);
    std::vector<CCaptionData> captions;
    for (int i = 0; i < count; ++i) {
        CCaptionData caption;
        caption.text = GetSettingString(list, Key(i, "Text"), QString());
        caption.textColour = GetSettingString(list, Key(i, "TextColour"), QString());
        caption.backgroundColour = GetSettingString(list, Key(i, "BackgroundColour"), QString());
        caption.textAlpha = ReadAlpha(list, Key(i, "TextAlpha"));
        caption.backgroundAlpha = ReadAlpha(list, Key(i, "BackgroundAlpha"));
        const QString position = GetSettingString(list, Key(i, "Position"), QString());
        caption.positionX = ReadDecimal(ExtractField(position, 0, u','));
        caption.positionY = ReadDecimal(ExtractField(position, 1, u','));
        caption.justify = GetSettingInt(list, Key(i, "Justify"), 0, Lowest, Highest);
        caption.fontName = GetSettingString(list, Key(i, "Font"), QString());
        caption.fontSize = GetSettingInt(list, Key(i, "FontSize"), 0, Lowest, Highest);
        caption.fontItalic = GetSettingBool(list, Key(i, "FontItalic"), false);
        caption.fontWeight = GetSettingInt(list, Key(i, "FontWeight"), 0, Lowest, Highest);
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
