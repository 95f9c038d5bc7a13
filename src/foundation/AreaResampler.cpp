#include "AreaResampler.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {
constexpr int WeightBits = 14;
constexpr std::uint32_t WeightOne = 1u << WeightBits;
// The vertical pass keeps seven fractional bits in 16-bit intermediates (255 << 7 fits), so
// that the horizontal pass still sums within 32 bits.
constexpr int IntermediateFractionBits = 7;
constexpr int VerticalShift = WeightBits - IntermediateFractionBits;
constexpr int HorizontalShift = WeightBits + IntermediateFractionBits;

// For one axis: which source indices feed each target index, and with what weight.
struct AxisTaps
{
    std::vector<int> first;                // first source index of each target index
    std::vector<int> count;                // number of source indices
    std::vector<std::uint32_t> offset;     // where its weights start in `weights`
    std::vector<std::uint16_t> weights;    // fixed-point, summing to WeightOne per target index
};

// Target index i covers the source interval [i*S/T, (i+1)*S/T). Working in units of 1/T keeps
// every boundary an integer, so the coverages are exact before they are rounded to fixed point.
AxisTaps MakeTaps(int sourceLength, int targetLength)
{
    AxisTaps taps;
    taps.first.resize(static_cast<std::size_t>(targetLength));
    taps.count.resize(static_cast<std::size_t>(targetLength));
    taps.offset.resize(static_cast<std::size_t>(targetLength));
    taps.weights.reserve(static_cast<std::size_t>(targetLength) * (sourceLength / targetLength + 2));
    const std::int64_t S = sourceLength;
    const std::int64_t T = targetLength;
    for (std::int64_t i = 0; i < T; ++i) {
        const std::int64_t begin = i * S;
        const std::int64_t end = begin + S;
        const std::int64_t firstSource = begin / T;
        const std::int64_t lastSource = std::min<std::int64_t>((end - 1) / T, S - 1);
        taps.first[i] = static_cast<int>(firstSource);
        taps.count[i] = static_cast<int>(lastSource - firstSource + 1);
        taps.offset[i] = static_cast<std::uint32_t>(taps.weights.size());

        std::uint32_t sum = 0;
        std::size_t largest = taps.weights.size();
        std::uint32_t largestWeight = 0;
        for (std::int64_t j = firstSource; j <= lastSource; ++j) {
            const std::int64_t overlap = std::min(end, (j + 1) * T) - std::max(begin, j * T);
            const auto weight = static_cast<std::uint32_t>((overlap * WeightOne + S / 2) / S);
            if (weight > largestWeight) {
                largestWeight = weight;
                largest = taps.weights.size();
            }
            taps.weights.push_back(static_cast<std::uint16_t>(weight));
            sum += weight;
        }
        // Rounding may leave the sum a little off one; the largest weight absorbs the rest, so a
        // flat colour stays exactly that colour.
        taps.weights[largest] = static_cast<std::uint16_t>(taps.weights[largest] + WeightOne - sum);
    }
    return taps;
}

// Weighted sum of source rows into one 16-bit row of the intermediate.
void VerticalPass(const ConstPixelBuffer& source, const AxisTaps& taps, int targetRow, int rowBytes,
                  std::uint32_t* accumulator, std::uint16_t* intermediate)
{
    const int first = taps.first[targetRow];
    const int count = taps.count[targetRow];
    const std::uint16_t* weights = &taps.weights[taps.offset[targetRow]];
    if (count == 1) {
        // A whole-row copy (weight one), common when the height does not change.
        const std::uint8_t* row = source.data + source.pitch * first;
        for (int x = 0; x < rowBytes; ++x)
            intermediate[x] = static_cast<std::uint16_t>(row[x] << IntermediateFractionBits);
        return;
    }
    {
        const std::uint8_t* row = source.data + source.pitch * first;
        const std::uint32_t w = weights[0];
        for (int x = 0; x < rowBytes; ++x)
            accumulator[x] = w * row[x];
    }
    for (int k = 1; k < count; ++k) {
        const std::uint8_t* row = source.data + source.pitch * (first + k);
        const std::uint32_t w = weights[k];
        for (int x = 0; x < rowBytes; ++x)
            accumulator[x] += w * row[x];
    }
    constexpr std::uint32_t half = 1u << (VerticalShift - 1);
    for (int x = 0; x < rowBytes; ++x)
        intermediate[x] = static_cast<std::uint16_t>((accumulator[x] + half) >> VerticalShift);
}

template <int Channels>
void HorizontalPass(const std::uint16_t* intermediate, const AxisTaps& taps, int targetWidth, std::uint8_t* out)
{
    constexpr std::uint32_t half = 1u << (HorizontalShift - 1);
    for (int x = 0; x < targetWidth; ++x) {
        const std::uint16_t* in = intermediate + static_cast<std::ptrdiff_t>(taps.first[x]) * Channels;
        const std::uint16_t* weights = &taps.weights[taps.offset[x]];
        const int count = taps.count[x];
        std::uint32_t sum[Channels] = {};
        for (int k = 0; k < count; ++k) {
            const std::uint32_t w = weights[k];
            for (int c = 0; c < Channels; ++c)
                sum[c] += w * in[c];
            in += Channels;
        }
        for (int c = 0; c < Channels; ++c)
            out[c] = static_cast<std::uint8_t>((sum[c] + half) >> HorizontalShift);
        out += Channels;
    }
}
} // namespace

bool AreaResample(const ConstPixelBuffer& source, const PixelBuffer& target, int bytesPerPixel)
{
    if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0 || !source.data ||
        !target.data || (bytesPerPixel != 3 && bytesPerPixel != 4))
        return false;
    try {
        const AxisTaps rows = MakeTaps(source.height, target.height);
        const AxisTaps columns = MakeTaps(source.width, target.width);
        const int rowBytes = source.width * bytesPerPixel;
        std::vector<std::uint32_t> accumulator(static_cast<std::size_t>(rowBytes));
        std::vector<std::uint16_t> intermediate(static_cast<std::size_t>(rowBytes));
        for (int y = 0; y < target.height; ++y) {
            VerticalPass(source, rows, y, rowBytes, accumulator.data(), intermediate.data());
            std::uint8_t* out = target.data + target.pitch * y;
            if (bytesPerPixel == 3)
                HorizontalPass<3>(intermediate.data(), columns, target.width, out);
            else
                HorizontalPass<4>(intermediate.data(), columns, target.width, out);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
