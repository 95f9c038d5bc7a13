#pragma once

#include <QString>

#include <cstdint>

// A colour as stored in settings and log items: red in the low byte, then green, then blue
// (0x00BBGGRR).
using ColourValue = std::uint32_t;

constexpr ColourValue MakeColour(int red, int green, int blue)
{
    return static_cast<ColourValue>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(ColourValue colour)
{
    return static_cast<int>(colour & 0xFF);
}
constexpr int GreenOf(ColourValue colour)
{
    return static_cast<int>((colour >> 8) & 0xFF);
}
constexpr int BlueOf(ColourValue colour)
{
    return static_cast<int>((colour >> 16) & 0xFF);
}

// Field n (from 0) of a delimited text; the whole text for n = 0 without a delimiter; empty
// when the text has fewer than n + 1 fields.
QString ExtractField(const QString& text, int n, QChar delimiter);

// Decimal reading: leading blanks, an optional sign, the digits up to the first other
// character; anything else, or nothing, gives 0.
std::int32_t ReadDecimal(const QString& text);

// "r, g, b" or "r,g,b" to a colour; the low eight bits of each number are used.
ColourValue ColourFromText(const QString& text);
// A colour as "%d,%d,%d".
QString ColourToText(ColourValue colour);
