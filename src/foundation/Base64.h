#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace Base64Options {
constexpr unsigned None = 0;
constexpr unsigned NoPadding = 1;    // leave out the "=" of the last group
constexpr unsigned NoLineBreaks = 2; // one line instead of lines of 76 characters
} // namespace Base64Options

// An upper bound of the encoded length: four characters per started group of three bytes,
// plus CR LF per line break when line breaks are on.
std::size_t EncodedBase64Length(std::size_t length, unsigned options);

// Standard alphabet; lines of 76 characters separated by CR LF unless NoLineBreaks.
QByteArray EncodeBase64(const std::uint8_t* bytes, std::size_t length, unsigned options);
QByteArray EncodeBase64(const QByteArray& bytes, unsigned options);

// Decodes up to length characters or a zero character, skipping every character outside the
// alphabet. Writes at most capacity bytes; *written receives the number of bytes the whole text
// decodes to, so a caller whose buffer was too small learns the size it needs. Returns false
// when the output did not fit.
bool DecodeBase64(const char* text, std::size_t length, std::uint8_t* buffer, std::size_t capacity,
                  std::size_t* written);
// Convenience: the whole decoded text.
QByteArray DecodeBase64(const QByteArray& text);
