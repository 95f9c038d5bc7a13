#pragma once

#include "ResultCodes.h"

#include <QByteArray>

class ImageFrame;

// True when the bytes start like a GIF stream.
bool LooksLikeGif(const QByteArray& bytes);

// Decodes the first image of a GIF through giflib onto its logical screen. Without a
// transparent colour the frame is 8-bit with the image's palette; with one it is 32-bit with
// alpha. Truncated streams, missing palettes and sizes over 120 megapixels are refused.
ResultCode DecodeGif(const QByteArray& bytes, ImageFrame& frame);
