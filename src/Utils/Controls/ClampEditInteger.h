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

// The number a numeric edit's text stands for: its leading integer, or nothing when it holds
// no digits (emptied, or a lone sign while the user was still typing).
std::optional<std::int32_t> EditedInteger(const QString& text);

// What a numeric edit applies: its number, or the value in force when it holds none, which the
// edit then shows again (without telling its page of a change). An emptied field must never
// apply as 0: a cycle time of 0 would flood every server, a JPEG quality of 0 ruin every image.
std::int32_t ApplyEditInteger(QLineEdit* edit, std::int32_t inForce);

} // namespace Utils::Controls
