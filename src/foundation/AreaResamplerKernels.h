#pragma once

// Internals of the area resampler, shared by its portable, SSE2 and AVX2 passes.

#include "AreaResampler.h"

#include <cstdint>
#include <vector>

namespace AreaResampling {

constexpr int WeightBits = 14;
constexpr std::uint32_t WeightOne = 1u << WeightBits;
// The vertical pass keeps seven fractional bits in 16-bit intermediates (255 << 7 fits in a
// signed 16-bit lane), so that the horizontal pass still sums within 32 bits.
constexpr int IntermediateFractionBits = 7;
constexpr int VerticalShift = WeightBits - IntermediateFractionBits;
constexpr int HorizontalShift = WeightBits + IntermediateFractionBits;
// Elements of slack behind an intermediate row, so that the SIMD pass may load one pixel past
// the last with a zero weight.
constexpr int IntermediatePadding = 8;

// For one axis: which source indices feed each target index, and with what weight. Each
// target index has an even number of taps (zero weights pad the count), so the SIMD passes can
// take them two at a time; a padding tap's index may lie one past the source.
struct AxisTaps
{
    std::vector<int> first;            // first source index of each target index
    std::vector<int> count;            // number of taps, always even
    std::vector<std::uint32_t> offset; // where its weights start in `weights`
    std::vector<std::int16_t> weights; // fixed-point, summing to WeightOne per target index
    int uniformCount = 0;              // with uniform taps: the count every target index has
};

// Uniform taps give every target index the same count (the axis's largest), moving `first`
// back where needed so no tap starts outside the source: a loop of fixed length, predictable
// for the processor, where the per-pixel work is small.
AxisTaps MakeTaps(int sourceLength, int targetLength, bool uniform = false);

// One target row: the weighted sum of source rows into the 16-bit intermediate.
void VerticalPassPortable(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                          std::int16_t* intermediate);
// One target row, pixels firstTarget to targetWidth - 1: the weighted sum of intermediate pixels
// into target pixels. `out` is the start of the row.
void HorizontalPassPortable(const std::int16_t* intermediate, const AxisTaps& columns, int firstTarget,
                            int targetWidth, int channels, std::uint8_t* out);

bool HaveSse2Passes();
void VerticalPassSse2(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                      std::int16_t* intermediate);
void HorizontalPassSse2(const std::int16_t* intermediate, const AxisTaps& columns, int targetWidth,
                        int channels, std::uint8_t* out);

// The processor's AVX2, asked once.
bool HaveAvx2Passes();
void VerticalPassAvx2(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                      std::int16_t* intermediate);
// The horizontal weights laid out for the AVX2 pass, which works on two target pixels per
// register: for each two pixels and each pair of taps, eight 32-bit lanes, the first pixel's
// weight pair four times and then the second's. Needs uniform taps.
std::vector<std::int32_t> LaneWeightsAvx2(const AxisTaps& columns, int targetWidth);
void HorizontalPassAvx2(const std::int16_t* intermediate, const AxisTaps& columns,
                        const std::vector<std::int32_t>& laneWeights, int targetWidth, int channels,
                        std::uint8_t* out);

} // namespace AreaResampling
