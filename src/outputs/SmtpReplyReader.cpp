#include "SmtpReplyReader.h"

#include <cctype>

namespace {
bool IsContinuation(const QByteArray& line)
{
    // "250-..." : three digits and a hyphen.
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == '-';
}

int LeadingNumber(const QByteArray& text)
{
    int code = 0;
    for (qsizetype i = 0; i < text.size() && i < 9 && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        code = code * 10 + (text[i] - '0');
    return code;
}
} // namespace

std::optional<SmtpReplyReader::Reply> SmtpReplyReader::Take()
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', start);
        if (end < 0)
            return std::nullopt;
        const QByteArray line = buffer_.mid(start, end - start);
        start = end + 1;
        if (!IsContinuation(line))
            break;
    }
    const QByteArray text = buffer_.left(start);
    buffer_.remove(0, start);
    return Reply{LeadingNumber(text), QString::fromUtf8(text)};
}
