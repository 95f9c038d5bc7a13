#pragma once

#include "ResultCodes.h"

#include <QString>

// The system's message text for an error: an errno value (1 to 4095), a result code that wraps
// one, or one of the generic result codes. Line breaks are removed; a code with no text gives
// "0x%08x".
QString SystemErrorText(std::int64_t code);
