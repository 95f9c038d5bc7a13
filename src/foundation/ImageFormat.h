#pragma once

#include <QString>

// The image formats the program reads and writes.
enum class ImageFormat
{
    None,
    Bmp,
    Jpeg,
    Png,
    Tiff,
    Gif
};

// Extensions compare without the dot and case-insensitively; "a.jpg.tmp" has the extension "tmp".
bool IsJpegFileName(const QString& path);
bool IsImageFileName(const QString& path);
// The format of the name's extension, or the fallback for any other extension.
ImageFormat ImageFormatForFileName(const QString& fileName, ImageFormat fallback);

// The JPEG quality in force for every JPEG the program writes (0 to 100, initially 75).
int JpegQuality();
// Values outside 0 to 100 leave the quality unchanged.
void SetJpegQuality(int quality);
