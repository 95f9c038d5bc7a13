#pragma once

#include "CCaptionData.h"
#include "ColourText.h"
#include "SettingsFile.h"

#include <array>
#include <vector>

// The captions' keys in the settings file: "Caption" + index + suffix for each caption, the
// sixteen custom colours and the sample border's hatch style.
namespace CaptionSettings {

// Limits of what is read from the file (a hand-edited or damaged file must not stall the
// start or the drawing); a value beyond them is logged with the key and the value used.
constexpr int MaxCaptions = 256;
constexpr int MaxTextLength = 4096;
constexpr int MaxFontNameLength = 256;
constexpr int MaxFontSize = 1000;
constexpr int MaxFontWeight = 1000;
constexpr int MaxPosition = 100000;

// The captions the file holds. A missing key gives the key's own fallback (an empty text,
// alpha 0, an empty font name, ...), not the record default. Alphas keep their low eight
// bits; counts, sizes, weights and positions are bounded as above. Linear in the file's size.
std::vector<CCaptionData> ReadCaptions(const SettingsList& list);
std::array<ColourValue, 16> ReadCustomColours(const SettingsList& list);
int ReadSampleBorderHatchStyle(const SettingsList& list);

// "CaptionNumberOfCaptions", an empty line, eleven lines and an empty line per caption, the
// custom colours and an empty line, the hatch style and an empty line.
void Write(SettingsList& list, const std::vector<CCaptionData>& captions,
           const std::array<ColourValue, 16>& customColours, int sampleBorderHatchStyle);

} // namespace CaptionSettings
