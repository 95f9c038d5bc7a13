#pragma once

#include <QByteArray>

// A photo-like JPEG (quality 90) of the given size: smooth shading, texture, noise and hard
// edges, so that the decoder and encoder work as hard as on a camera still.
QByteArray MakePhotoLikeJpeg(int width, int height);
