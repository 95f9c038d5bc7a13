#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QLineEdit;

namespace Utils::Controls {

// Keeps a numeric edit within bounds while the user types. Blanks are trimmed; an empty text
// or a lone "-" is left alone (the user is still typing); otherwise the leading integer
// (optional sign, digits; none gives 0) is limited to the bounds and written back only when
// its "%d" form differs, with the cursor and selection kept.
void ClampEditInteger(QLineEdit* edit, std::int32_t minimum, std::int32_t maximum);

// The text the edit should hold instead, or nothing when it is to be left as it is.
std::optional<QString> ClampedIntegerText(const QString& text, std::int32_t minimum, std::int32_t maximum);

} // namespace Utils::Controls
