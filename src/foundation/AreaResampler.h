#pragma once

#include <cstddef>
#include <cstdint>

// Exact area-averaging resampling: each target pixel is the coverage-weighted mean of the
// source area it maps onto, for any scale factor up or down on either axis. Separable,
// channels interleaved, fixed-point with 14-bit weights: every weight lies within 1/16384 of
// its exact value and a target pixel's weights sum to exactly one. So a flat colour stays
// exactly that colour, and a result is within one level of the exact mean wherever a target
// pixel draws on at most about 128 source pixels across and down together (reductions up to
// about 60:1 on each axis), and on smooth images (gradients, photographs) at any factor. Only
// fine detail under a far larger reduction can be off by more, by at most about (pixels across
// + pixels down) / 256 levels: 4 at 1000:1, on a pattern that lines up with the weights.
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
