#include "Base64.h"

namespace {
constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t LineLength = 76;

constexpr int ValueOf(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::size_t EncodedBase64Length(std::size_t length, unsigned options)
{
    const std::size_t characters = (length + 2) / 3 * 4;
    if (options & Base64Options::NoLineBreaks || characters == 0)
        return characters;
    return characters + 2 * ((characters - 1) / LineLength);
}

QByteArray EncodeBase64(const std::uint8_t* bytes, std::size_t length, unsigned options)
{
    QByteArray out;
    if (length == 0 || !bytes)
        return out;
    out.reserve(static_cast<qsizetype>(EncodedBase64Length(length, options)));
    const bool breakLines = !(options & Base64Options::NoLineBreaks);
    std::size_t lineUsed = 0;
    auto startGroup = [&] {
        // A group that would run past a full line starts the next one.
        if (breakLines && lineUsed == LineLength) {
            out += "\r\n";
            lineUsed = 0;
        }
    };

    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        startGroup();
        const std::uint32_t group =
            (std::uint32_t(bytes[i]) << 16) | (std::uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        out += Alphabet[(group >> 18) & 63];
        out += Alphabet[(group >> 12) & 63];
        out += Alphabet[(group >> 6) & 63];
        out += Alphabet[group & 63];
        lineUsed += 4;
    }
    const std::size_t rest = length - i;
    if (rest > 0) {
        startGroup();
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (rest == 2)
            group |= std::uint32_t(bytes[i + 1]) << 8;
        out += Alphabet[(group >> 18) & 63];
        out += Alphabet[(group >> 12) & 63];
        if (rest == 2)
            out += Alphabet[(group >> 6) & 63];
        if (!(options & Base64Options::NoPadding))
            out += rest == 2 ? "=" : "==";
    }
    return out;
}

QByteArray EncodeBase64(const QByteArray& bytes, unsigned options)
{
    return EncodeBase64(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                        static_cast<std::size_t>(bytes.size()), options);
}

bool DecodeBase64(const char* text, std::size_t length, std::uint8_t* buffer, std::size_t capacity,
                  std::size_t* written)
{
    std::size_t count = 0;
    auto put = [&](std::uint8_t byte) {
        if (count < capacity && buffer)
            buffer[count] = byte;
        ++count;
    };

    std::uint32_t group = 0;
    int collected = 0;
    for (std::size_t i = 0; text && i < length && text[i] != '\0'; ++i) {
        const int value = ValueOf(static_cast<unsigned char>(text[i]));
        if (value < 0)
            continue;
        group = (group << 6) | static_cast<std::uint32_t>(value);
        if (++collected == 4) {
            put(static_cast<std::uint8_t>(group >> 16));
            put(static_cast<std::uint8_t>(group >> 8));
            put(static_cast<std::uint8_t>(group));
            group = 0;
            collected = 0;
        }
    }
    // Two characters complete one byte, three complete two; a lone character completes none.
    if (collected == 2) {
        put(static_cast<std::uint8_t>(group >> 4));
    } else if (collected == 3) {
        put(static_cast<std::uint8_t>(group >> 10));
        put(static_cast<std::uint8_t>(group >> 2));
    }
    if (written)
        *written = count;
    return count <= capacity;
}

QByteArray DecodeBase64(const QByteArray& text)
{
    std::size_t needed = 0;
    DecodeBase64(text.constData(), static_cast<std::size_t>(text.size()), nullptr, 0, &needed);
    QByteArray out(static_cast<qsizetype>(needed), Qt::Uninitialized);
    DecodeBase64(text.constData(), static_cast<std::size_t>(text.size()),
                 reinterpret_cast<std::uint8_t*>(out.data()), needed, &needed);
    return out;
}
