#include "SystemErrorText.h"

#include <cstring>

namespace {
constexpr int MaxErrno = 4095;

QString ErrnoText(int error)
{
    char buffer[256] = {};
    // The GNU variant may return a static string instead of filling the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? QString::fromLocal8Bit(text) : QString();
}

QString Hex(std::int64_t code)
{
    return QString::asprintf("0x%08x", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
}
} // namespace

QString SystemErrorText(std::int64_t code)
{
    QString text;
    if (code == Result::Ok) {
        text = QStringLiteral("The operation completed successfully.");
    } else if (code == Result::GenericFailure) {
        text = QStringLiteral("Unspecified error");
    } else if (code == Result::OutOfMemory) {
        text = QStringLiteral("Not enough memory resources are available to complete this operation.");
    } else if (code == Result::InvalidArgument) {
        text = QStringLiteral("The parameter is incorrect.");
    } else if (code > 0 && code <= MaxErrno) {
        text = ErrnoText(static_cast<int>(code));
    } else if (code >= INT32_MIN && code <= UINT32_MAX) {
        const int error = Result::ToErrno(static_cast<ResultCode>(static_cast<std::uint32_t>(code)));
        if (error > 0 && error <= MaxErrno)
            text = ErrnoText(error);
    }
    // glibc answers "Unknown error N" for codes it has no text for.
    if (text.isEmpty() || text.startsWith(QLatin1String("Unknown error")))
        return Hex(code);
    text.remove(QStringLiteral("\r\n"));
    return text;
}
