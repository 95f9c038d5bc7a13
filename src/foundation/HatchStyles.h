#pragma once

#include <QBrush>
#include <QColor>
#include <QString>

#include <array>
#include <cstdint>

// Hatch styles are stored in the settings by name; values 1 to 52 have names, value 0 (a
// horizontal hatch) has none.
constexpr int HatchStyleMin = 0;
constexpr int HatchStyleMax = 52;
constexpr int HatchStyleDefault = 3; // "HatchStyleBackwardDiagonal"

// The value whose name equals the text exactly; 3 for any other text.
int HatchStyleFromName(const QString& name);
// The name of a value from 1 to 52; "HatchStyleBackwardDiagonal" for any other value.
QString HatchStyleToName(int value);

// The 8x8 pattern of a style, top row first; bit (0x80 >> x) of a row is foreground. Values
// outside 0 to 52 give the default style's pattern.
std::array<std::uint8_t, 8> HatchPattern(int value);

// A two-colour brush of the pattern, repeating every 8 pixels from the painter's brush origin.
QBrush MakeHatchBrush(int value, const QColor& foreground, const QColor& background);
