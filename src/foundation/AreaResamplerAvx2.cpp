// The vertical pass on AVX2, for processors that have it (checked at run time): the SSE2
// pass's arithmetic on 32 bytes at a time, so every path gives identical results. Only this
// function is compiled for AVX2; nothing it calls is, so no AVX2 code leaks into shared inline
// functions that older processors would run.
#include "AreaResamplerKernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

#include <cstring>

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
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(intermediate + x), _mm256_permute2x128_si256(low, high, 0x20));
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
} // namespace AreaResampling

#endif
