#pragma once

#include <QStringView>

#include <cstdint>

enum class LeadingSpace
{
    Blanks,     // only " " is skipped before the number
    WhiteSpace, // blank, tab, CR, LF, vertical tab and form feed are skipped, as atoi does
};

// The integer at the start of a text: leading space, an optional sign, then decimal digits up
// to the first other character. No digits give 0; values beyond 32 bits saturate.
std::int32_t ParseLeadingInteger(QStringView text, LeadingSpace space);
