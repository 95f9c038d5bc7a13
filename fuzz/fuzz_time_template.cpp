// Time-template expansion: any template, at a fixed moment and in two locales.
#include "FuzzSupport.h"
#include "TimeTemplate.h"

#include <QDateTime>
#include <QLocale>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    const QString text = Text(data, size);
    const QDateTime moment(QDate(2026, 12, 10), QTime(23, 59, 58, 999));
    const QString expanded = ExpandTimeTemplate(text, moment);
    // Expansion never grows a text without bound: each token stands for a few characters.
    if (expanded.size() > text.size() * 64 + 64)
        __builtin_trap();
    return 0;
}
