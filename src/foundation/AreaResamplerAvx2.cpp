// The passes on AVX2, for processors that have it (checked at run time): the SSE2 passes'
// arithmetic on 32 bytes at a time, so every path gives identical results. Only the passes and
// the private helper inlined into them are compiled for AVX2; nothing they share with other
// code is, so no AVX2 code leaks into shared inline functions that older processors would run.
#include "AreaResamplerKernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#include <cstring>
#include <type_traits>

namespace AreaResampling {

bool HaveAvx2Passes()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

namespace {
constexpr int MaxCachedRows = 64;
}

__attribute__((target("avx2"))) void VerticalPassAvx2(const ConstPixelBuffer& source, const AxisTaps& rows,
                                                      int targetRow, int rowBytes, std::int16_t* intermediate)
{
    const int first = rows.first[targetRow];
    const int count = rows.count[targetRow];
    const std::int16_t* weights = &rows.weights[rows.offset[targetRow]];
    if (count > MaxCachedRows) {
        VerticalPassPortable(source, rows, targetRow, rowBytes, intermediate);
        return;
    }
    const std::uint8_t* rowPointers[MaxCachedRows];
    for (int k = 0; k < count; ++k) {
        // A padding tap may point one row past the source; its weight is zero.
        const int row = first + k < source.height ? first + k : source.height - 1;
        rowPointers[k] = source.data + source.pitch * row;
    }
    __m256i pairs[MaxCachedRows / 2];
    for (int k = 0; k < count; k += 2) {
        std::int32_t pair;
        std::memcpy(&pair, weights + k, sizeof pair);
        pairs[k / 2] = _mm256_set1_epi32(pair);
    }

    const __m256i zero = _mm256_setzero_si256();
    const __m256i half = _mm256_set1_epi32(1 << (VerticalShift - 1));
    int x = 0;
    for (; x + 32 <= rowBytes; x += 32) {
        __m256i sum0 = half, sum1 = half, sum2 = half, sum3 = half;
        for (int k = 0; k < count; k += 2) {
            const __m256i pair = pairs[k / 2];
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowPointers[k] + x));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowPointers[k + 1] + x));
            // Unpacking works within each 128-bit half: sum0 holds bytes 0-3 and 16-19, sum1
            // 4-7 and 20-23, sum2 8-11 and 24-27, sum3 12-15 and 28-31.
            const __m256i aLow = _mm256_unpacklo_epi8(a, zero), aHigh = _mm256_unpackhi_epi8(a, zero);
            const __m256i bLow = _mm256_unpacklo_epi8(b, zero), bHigh = _mm256_unpackhi_epi8(b, zero);
            sum0 = _mm256_add_epi32(sum0, _mm256_madd_epi16(_mm256_unpacklo_epi16(aLow, bLow), pair));
            sum1 = _mm256_add_epi32(sum1, _mm256_madd_epi16(_mm256_unpackhi_epi16(aLow, bLow), pair));
            sum2 = _mm256_add_epi32(sum2, _mm256_madd_epi16(_mm256_unpacklo_epi16(aHigh, bHigh), pair));
            sum3 = _mm256_add_epi32(sum3, _mm256_madd_epi16(_mm256_unpackhi_epi16(aHigh, bHigh), pair));
        }
        const __m256i low = _mm256_packs_epi32(_mm256_srai_epi32(sum0, VerticalShift),
                                               _mm256_srai_epi32(sum1, VerticalShift)); // 0-7 | 16-23
        const __m256i high = _mm256_packs_epi32(_mm256_srai_epi32(sum2, VerticalShift),
                                                _mm256_srai_epi32(sum3, VerticalShift)); // 8-15 | 24-31
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(intermediate + x),
                            _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(intermediate + x + 16),
                            _mm256_permute2x128_si256(low, high, 0x31));
    }
    constexpr std::int32_t halfScalar = 1 << (VerticalShift - 1);
    for (; x < rowBytes; ++x) {
        std::int32_t sum = halfScalar;
        for (int k = 0; k < count; ++k)
            sum += weights[k] * rowPointers[k][x];
        intermediate[x] = static_cast<std::int16_t>(sum >> VerticalShift);
    }
}

std::vector<std::int32_t> LaneWeightsAvx2(const AxisTaps& columns, int targetWidth)
{
    const int pairs = columns.uniformCount / 2;
    std::vector<std::int32_t> lanes(static_cast<std::size_t>(targetWidth / 2) * pairs * 8);
    std::int32_t* lane = lanes.data();
    for (int x = 0; x + 1 < targetWidth; x += 2)
        for (int p = 0; p < pairs; ++p)
            for (int pixel = x; pixel <= x + 1; ++pixel) {
                std::int32_t pair;
                std::memcpy(&pair, &columns.weights[columns.offset[pixel] + 2 * p], sizeof pair);
                for (int copy = 0; copy < 4; ++copy)
                    *lane++ = pair;
            }
    return lanes;
}

namespace {
// Two target pixels, one per 128-bit half: one 16-byte load takes a pixel's pair of taps (3 or
// 4 channels each, the taps adjacent in the row); a byte shuffle puts each channel's two values
// side by side for one multiply-add with the pixel's weight pair. Returns the 32-bit sums,
// shifted down to 8-bit range.
template <int Channels, int FixedPairs>
__attribute__((target("avx2"), always_inline)) inline __m256i
TwoPixelsAvx2(const std::int16_t* a, const std::int16_t* b, const __m256i* weights, int pairs,
              __m256i interleave)
{
    __m256i sum = _mm256_set1_epi32(1 << (HorizontalShift - 1));
    for (int p = 0; p < (FixedPairs > 0 ? FixedPairs : pairs); ++p) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * p * Channels));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * p * Channels));
        const __m256i values =
            _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), interleave);
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(values, _mm256_loadu_si256(weights + p)));
    }
    return _mm256_srai_epi32(sum, HorizontalShift);
}

// Four target pixels at a time, then the last few on the portable pass.
template <int Channels, int FixedPairs>
__attribute__((target("avx2"))) void
HorizontalPassAvx2Channels(const std::int16_t* intermediate, const AxisTaps& columns,
                           const std::int32_t* laneWeights, int targetWidth, std::uint8_t* out)
{
    static_assert(Channels == 3 || Channels == 4);
    const int pairs = FixedPairs > 0 ? FixedPairs : columns.uniformCount / 2;
    const int* first = columns.first.data();
    // For 3 channels the load's last two values belong to the next tap; the shuffle zeroes them.
    const __m256i interleave = Channels == 3
                                   ? _mm256_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1, 0,
                                                      1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1)
                                   : _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0,
                                                      1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m128i dropFourth = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const auto* weights = reinterpret_cast<const __m256i*>(laneWeights);
    const int rowBytes = targetWidth * Channels;
    int x = 0;
    for (; x + 4 <= targetWidth; x += 4) {
        const auto pixel = [&](int i) {
            return intermediate + static_cast<std::ptrdiff_t>(first[x + i]) * Channels;
        };
        const __m256i sums01 =
            TwoPixelsAvx2<Channels, FixedPairs>(pixel(0), pixel(1), weights, pairs, interleave);
        const __m256i sums23 =
            TwoPixelsAvx2<Channels, FixedPairs>(pixel(2), pixel(3), weights + pairs, pairs, interleave);
        weights += 2 * pairs;
        // Per 128-bit half: pixels x and x + 2 in the low half, x + 1 and x + 3 in the high.
        const __m256i words = _mm256_packs_epi32(sums01, sums23);
        const __m256i bytes = _mm256_packus_epi16(words, words);
        const __m128i pixels = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(bytes, inOrder));
        std::uint8_t* target = out + static_cast<std::ptrdiff_t>(x) * Channels;
        if (Channels == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target), pixels);
        } else {
            const __m128i packed = _mm_shuffle_epi8(pixels, dropFourth);
            // Sixteen bytes where the row has room (the last four are written again next step).
            if (x * Channels + 16 <= rowBytes) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(target), packed);
            } else {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(target), packed);
                const auto last = static_cast<std::uint32_t>(_mm_extract_epi32(packed, 2));
                std::memcpy(target + 8, &last, 4);
            }
        }
    }
    HorizontalPassPortable(intermediate, columns, x, targetWidth, Channels, out);
}
} // namespace

__attribute__((target("avx2"))) void HorizontalPassAvx2(const std::int16_t* intermediate,
                                                        const AxisTaps& columns,
                                                        const std::vector<std::int32_t>& laneWeights,
                                                        int targetWidth, int channels, std::uint8_t* out)
{
    // The lanes are laid out for uniform taps only.
    if (columns.uniformCount == 0) {
        HorizontalPassPortable(intermediate, columns, 0, targetWidth, channels, out);
        return;
    }
    auto run = [&](auto channelsTag) {
        constexpr int C = decltype(channelsTag)::value;
        switch (columns.uniformCount) {
        case 2:
            return HorizontalPassAvx2Channels<C, 1>(intermediate, columns, laneWeights.data(), targetWidth,
                                                    out);
        case 4:
            return HorizontalPassAvx2Channels<C, 2>(intermediate, columns, laneWeights.data(), targetWidth,
                                                    out);
        case 6:
            return HorizontalPassAvx2Channels<C, 3>(intermediate, columns, laneWeights.data(), targetWidth,
                                                    out);
        default:
            return HorizontalPassAvx2Channels<C, 0>(intermediate, columns, laneWeights.data(), targetWidth,
                                                    out);
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
bool HaveAvx2Passes()
{
    return false;
}
void VerticalPassAvx2(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                      std::int16_t* intermediate)
{
    VerticalPassPortable(source, rows, targetRow, rowBytes, intermediate);
}
std::vector<std::int32_t> LaneWeightsAvx2(const AxisTaps&, int)
{
    return {};
}
void HorizontalPassAvx2(const std::int16_t* intermediate, const AxisTaps& columns,
                        const std::vector<std::int32_t>&, int targetWidth, int channels, std::uint8_t* out)
{
    HorizontalPassPortable(intermediate, columns, 0, targetWidth, channels, out);
}
} // namespace AreaResampling

#endif
