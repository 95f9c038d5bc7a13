// The resampler's passes on SSE2 (every x86-64 processor has it): pairs of taps are summed
// with one multiply-add of 16-bit values into 32-bit sums. Same arithmetic as the portable
// passes, so both give identical results.
#include "AreaResamplerKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstring>
#include <type_traits>

namespace AreaResampling {

bool HaveSse2Passes()
{
    return true;
}

namespace {
// Two adjacent 16-bit weights as one 32-bit lane pattern (first weight in the low half).
inline __m128i WeightPair(const std::int16_t* weights)
{
    std::int32_t pair;
    std::memcpy(&pair, weights, sizeof pair);
    return _mm_set1_epi32(pair);
}

constexpr int MaxCachedRows = 64;
} // namespace

void VerticalPassSse2(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                      std::int16_t* intermediate)
{
    const int first = rows.first[targetRow];
    const int count = rows.count[targetRow];
    const std::int16_t* weights = &rows.weights[rows.offset[targetRow]];
    if (count > MaxCachedRows) {
        // Reductions by more than 64 are rare enough for the plain loop.
        VerticalPassPortable(source, rows, targetRow, rowBytes, intermediate);
        return;
    }
    const std::uint8_t* rowPointers[MaxCachedRows];
    for (int k = 0; k < count; ++k) {
        // A padding tap may point one row past the source; its weight is zero.
        rowPointers[k] = source.data + source.pitch * std::min(first + k, source.height - 1);
    }

    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi32(1 << (VerticalShift - 1));
    int x = 0;
    for (; x + 16 <= rowBytes; x += 16) {
        __m128i sum0 = half, sum1 = half, sum2 = half, sum3 = half;
        for (int k = 0; k < count; k += 2) {
            const __m128i pair = WeightPair(weights + k);
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowPointers[k] + x));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rowPointers[k + 1] + x));
            const __m128i aLow = _mm_unpacklo_epi8(a, zero), aHigh = _mm_unpackhi_epi8(a, zero);
            const __m128i bLow = _mm_unpacklo_epi8(b, zero), bHigh = _mm_unpackhi_epi8(b, zero);
            sum0 = _mm_add_epi32(sum0, _mm_madd_epi16(_mm_unpacklo_epi16(aLow, bLow), pair));
            sum1 = _mm_add_epi32(sum1, _mm_madd_epi16(_mm_unpackhi_epi16(aLow, bLow), pair));
            sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_unpacklo_epi16(aHigh, bHigh), pair));
            sum3 = _mm_add_epi32(sum3, _mm_madd_epi16(_mm_unpackhi_epi16(aHigh, bHigh), pair));
        }
        sum0 = _mm_srai_epi32(sum0, VerticalShift);
        sum1 = _mm_srai_epi32(sum1, VerticalShift);
        sum2 = _mm_srai_epi32(sum2, VerticalShift);
        sum3 = _mm_srai_epi32(sum3, VerticalShift);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(intermediate + x), _mm_packs_epi32(sum0, sum1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(intermediate + x + 8), _mm_packs_epi32(sum2, sum3));
    }
    constexpr std::int32_t halfScalar = 1 << (VerticalShift - 1);
    for (; x < rowBytes; ++x) {
        std::int32_t sum = halfScalar;
        for (int k = 0; k < count; ++k)
            sum += weights[k] * rowPointers[k][x];
        intermediate[x] = static_cast<std::int16_t>(sum >> VerticalShift);
    }
}

// FixedTaps > 0 unrolls the tap loop for the common counts; 0 takes the count at run time.
template <int Channels, int FixedTaps>
void HorizontalPassSse2Channels(const std::int16_t* intermediate, const AxisTaps& columns, int targetWidth,
                                std::uint8_t* out)
{
    // Plain pointers, so that the stores to `out` do not make the compiler reload the vectors.
    const int* first = columns.first.data();
    const int* count = columns.count.data();
    const std::uint32_t* offset = columns.offset.data();
    const std::int16_t* allWeights = columns.weights.data();
    const __m128i half = _mm_set1_epi32(1 << (HorizontalShift - 1));
    for (int x = 0; x < targetWidth; ++x) {
        const std::int16_t* in = intermediate + static_cast<std::ptrdiff_t>(first[x]) * Channels;
        const std::int16_t* weights = allWeights + offset[x];
        const int taps = FixedTaps > 0 ? FixedTaps : count[x];
        __m128i sum = half;
        for (int k = 0; k < taps; k += 2) {
            // Four 16-bit lanes of a pixel (a 3-channel load takes one lane of the next pixel,
            // which the fourth sum collects and nobody reads).
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + k * Channels));
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + (k + 1) * Channels));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), WeightPair(weights + k)));
        }
        sum = _mm_srai_epi32(sum, HorizontalShift);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(sum, sum), sum);
        const auto pixel = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bytes));
        // One 4-byte store; for 3 channels its last byte is the next pixel's, written again
        // in the next step. The row's last pixel must not reach past the row.
        if (Channels == 4 || x + 1 < targetWidth)
            std::memcpy(out, &pixel, 4);
        else
            std::memcpy(out, &pixel, Channels);
        out += Channels;
    }
}

void HorizontalPassSse2(const std::int16_t* intermediate, const AxisTaps& columns, int targetWidth,
                        int channels, std::uint8_t* out)
{
    auto run = [&](auto channelsTag) {
        constexpr int C = decltype(channelsTag)::value;
        switch (columns.uniformCount) {
        case 2:
            return HorizontalPassSse2Channels<C, 2>(intermediate, columns, targetWidth, out);
        case 4:
            return HorizontalPassSse2Channels<C, 4>(intermediate, columns, targetWidth, out);
        case 6:
            return HorizontalPassSse2Channels<C, 6>(intermediate, columns, targetWidth, out);
        default:
            return HorizontalPassSse2Channels<C, 0>(intermediate, columns, targetWidth, out);
        }
    };
    if (channels == 3)
        run(std::integral_constant<int, 3>{});
    else
        run(std::integral_constant<int, 4>{});
}

} // namespace AreaResampling

#else

namespace AreaResampling {
bool HaveSse2Passes()
{
    return false;
}
void VerticalPassSse2(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                      std::int16_t* intermediate)
{
    VerticalPassPortable(source, rows, targetRow, rowBytes, intermediate);
}
void HorizontalPassSse2(const std::int16_t* intermediate, const AxisTaps& columns, int targetWidth,
                        int channels, std::uint8_t* out)
{
    HorizontalPassPortable(intermediate, columns, 0, targetWidth, channels, out);
}
} // namespace AreaResampling

#endif
