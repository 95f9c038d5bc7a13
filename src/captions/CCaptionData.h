#pragma once

#include <QString>

#include <cstdint>

// One caption: its text (a template of time tokens and a file-line token), colours and
// opacities, font, anchor and justification. A plain value: copies are deep.
struct CCaptionData
{
    QString text;
    QString textColour = QStringLiteral("0, 0, 0");
    QString backgroundColour = QStringLiteral("255, 255, 255");
    std::uint8_t textAlpha = 255;
    std::uint8_t backgroundAlpha = 0; // 0: no box behind the text
    QString fontName = QStringLiteral("Arial");
    std::int32_t fontWeight = 400; // 400 normal, 700 bold
    bool fontItalic = false;
    std::int32_t fontSize = 20; // drawn as pixels
    std::int32_t positionX = 0; // left end, centre or right end of the text, by justify
    std::int32_t positionY = 0; // top of the text
    std::int32_t justify = 0;   // 0 left, 1 centre, 2 right

    friend bool operator==(const CCaptionData&, const CCaptionData&) = default;

    // The two captions a first start shows.
    static CCaptionData FirstExample();
    static CCaptionData SecondExample();
};
