#pragma once

#include "ResultCodes.h"

#include <QByteArray>

class ImageFrame;

// Appends the frame as a GIF (8-bit palette) through giflib. Palette frames keep their
// palette; others are reduced to 256 colours by median cut. Alpha is not kept.
ResultCode EncodeGif(const ImageFrame& frame, QByteArray& out);
