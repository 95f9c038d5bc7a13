// The colour and field parsers of the settings values: any text.
#include "ColourText.h"
#include "FuzzSupport.h"
#include "NumberText.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    const QString text = Text(data, size);
    const ColourValue colour = ColourFromText(text);
    // What a parsed colour writes back reads as the same colour.
    if (ColourFromText(ColourToText(colour)) != colour)
        __builtin_trap();
    for (int n = -1; n < 5; ++n)
        ExtractField(text, n, QLatin1Char(','));
    ReadDecimal(text);
    ParseLeadingInteger(text, LeadingSpace::Blanks);
    ParseLeadingInteger(text, LeadingSpace::WhiteSpace);
    return 0;
}
