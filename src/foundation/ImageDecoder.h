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
// The same for a path in the file system's bytes (a name that is not valid UTF-8 has no QString
// that opens it). Only a regular file is opened, without blocking, so a pipe put in a file's
// place cannot hold it up.
ResultCode LoadImageFileAt(ImageFrame& frame, const QByteArray& encodedPath);
ResultCode LoadImageFromMemory(ImageFrame& frame, const QByteArray& bytes);
