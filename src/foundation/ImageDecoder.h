#pragma once

#include "ResultCodes.h"

#include <QByteArray>
#include <QString>

class ImageFrame;

// Decodes JPEG, BMP, PNG, TIFF or GIF by content, not by name. JPEG gives a 24-bit frame,
// palette images an 8-bit frame with their palette, images with alpha a 32-bit frame with the
// alpha flag, everything else 24- or 32-bit. A missing, empty, truncated, unknown or oversized
// (over 120 megapixels) file gives a negative result and an empty frame.
ResultCode LoadImageFile(ImageFrame& frame, const QString& path);
ResultCode LoadImageFromMemory(ImageFrame& frame, const QByteArray& bytes);
