#pragma once

#include "ImageFrame.h"

#include <cstdint>
#include <random>

// Frames for tests: random noise, flat colours and smooth photo-like content.
ImageFrame RandomFrame(int width, int height, int bitsPerPixel, std::uint32_t seed);
ImageFrame FlatFrame(int width, int height, int bitsPerPixel, int red, int green, int blue);
ImageFrame GradientFrame(int width, int height, int bitsPerPixel);

// The red, green and blue of a pixel, whatever the frame's depth.
struct Rgb
{
    int red, green, blue;
};
Rgb PixelAt(const ImageFrame& frame, int x, int y);
