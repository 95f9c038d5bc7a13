#include "NumberText.h"

#include <algorithm>
#include <limits>

namespace {
bool IsSkipped(QChar c, LeadingSpace space)
{
    if (c == u' ')
        return true;
    return space == LeadingSpace::WhiteSpace &&
           (c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f');
}
} // namespace

std::int32_t ParseLeadingInteger(QStringView text, LeadingSpace space)
{
    qsizetype i = 0;
    while (i < text.size() && IsSkipped(text[i], space))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing past the 32-bit range, so that an absurd
    // hand-edited value cannot overflow.
    constexpr std::int64_t limit = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        value = std::min(limit, value * 10 + (text[i].unicode() - u'0'));
    if (negative)
        value = -value;
    return static_cast<std::int32_t>(std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}
