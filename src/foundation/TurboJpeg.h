#pragma once

#include "ResultCodes.h"

#include <QByteArray>

#include <cstdint>

class ImageFrame;

// JPEG through TurboJPEG, straight between compressed bytes and the frame's rows. Handles are
// kept per thread, so any thread may call these at once.
namespace TurboJpeg {

// Pixels beyond this are refused before any memory is taken: 120 megapixels.
constexpr std::int64_t MaxPixels = 120'000'000;

// True when the bytes start like a JPEG stream.
bool LooksLikeJpeg(const QByteArray& bytes);

// Decodes into a 24-bit frame. Any libjpeg warning (a truncated or damaged stream) fails the
// load. CMYK streams answer Result::InvalidArgument so the caller can use another decoder.
ResultCode Decode(const QByteArray& bytes, ImageFrame& frame);

// Appends the frame (8-, 24- or 32-bit) as a 4:2:0 JPEG of the given quality (0 to 100).
ResultCode Encode(const ImageFrame& frame, int quality, QByteArray& out);

} // namespace TurboJpeg
