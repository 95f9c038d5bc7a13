#pragma once

#include "ImageFormat.h"
#include "ResultCodes.h"

#include <QByteArray>
#include <QString>

class ImageFrame;

// Appends the encoded frame to the stream: JPEG at the quality, other formats with their
// encoder's defaults (alpha kept where the format can hold it). ImageFormat::None fails.
ResultCode EncodeImageToStream(const ImageFrame& frame, QByteArray& stream, ImageFormat format, int quality);

// Writes the frame as JPEG at the quality, atomically (temporary name, then rename).
ResultCode SaveJpegFile(const ImageFrame& frame, const QString& path, int quality);

// Writes the frame in the format of the path's extension (JPEG at JpegQuality()), atomically.
// An extension no encoder declares fails with Result::GenericFailure and writes nothing.
// Failures of the file system come back as wrapped errno values.
ResultCode SaveImageFile(const ImageFrame& frame, const QString& path);
