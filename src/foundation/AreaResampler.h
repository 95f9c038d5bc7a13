#pragma once

#include <cstddef>
#include <cstdint>

// Exact area-averaging resampling: each target pixel is the coverage-weighted mean of the
// source area it maps onto, for any scale factor up or down on either axis. Separable,
// fixed-point (results within one level of the exact mean), channels interleaved.
struct PixelBuffer
{
    std::uint8_t* data = nullptr;
    std::ptrdiff_t pitch = 0; // bytes from one row to the next
    int width = 0;
    int height = 0;
};

struct ConstPixelBuffer
{
    const std::uint8_t* data = nullptr;
    std::ptrdiff_t pitch = 0;
    int width = 0;
    int height = 0;
};

enum class ResampleKernel
{
    Fastest,  // AVX2 or SSE2, whichever is the best the processor has
    Sse2,     // SSE2 even where AVX2 is there, so that the tests reach both paths
    Portable, // plain C++; the same results, kept for other processors and as the tests' check
};

// Stretches the whole source buffer onto the whole target buffer. Both hold pixels of
// bytesPerPixel channels (3 or 4), every channel averaged alike. Returns false when a size is
// not positive, the channel count is unsupported or scratch memory cannot be had.
bool AreaResample(const ConstPixelBuffer& source, const PixelBuffer& target, int bytesPerPixel,
                  ResampleKernel kernel = ResampleKernel::Fastest);
