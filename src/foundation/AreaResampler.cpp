#include "AreaResampler.h"

#include "AreaResamplerKernels.h"

#include <algorithm>
#include <new>

namespace AreaResampling {

// Target index i covers the source interval [i*S/T, (i+1)*S/T). Working in units of 1/T keeps
// every boundary an integer, so the coverages are exact before they are rounded to fixed point.
AxisTaps MakeTaps(int sourceLength, int targetLength, bool uniform)
{
    const auto targets = static_cast<std::size_t>(targetLength);
    const std::int64_t S = sourceLength;
    const std::int64_t T = targetLength;
    std::vector<int> firsts(targets), counts(targets);
    std::vector<std::int16_t> exact;
    exact.reserve(targets * (static_cast<std::size_t>(sourceLength / targetLength) + 2));
    int largestCount = 0;
    for (std::int64_t i = 0; i < T; ++i) {
        const std::int64_t begin = i * S;
        const std::int64_t end = begin + S;
        const std::int64_t firstSource = begin / T;
        const std::int64_t lastSource = std::min<std::int64_t>((end - 1) / T, S - 1);
        firsts[i] = static_cast<int>(firstSource);
        counts[i] = static_cast<int>(lastSource - firstSource + 1);
        largestCount = std::max(largestCount, counts[i]);

        // Each weight is the difference of the rounded running coverage at its two ends: the
        // weights sum to exactly one (a flat colour stays exactly that colour), no weight is
        // more than one step off its exact value, and the rounding errors do not pile up on
        // one tap, which at a reduction of 1000 to 1 would pull the mean several levels.
        std::int64_t roundedBefore = 0;
        for (std::int64_t j = firstSource; j <= lastSource; ++j) {
            const std::int64_t covered = std::min(end, (j + 1) * T) - begin;
            const std::int64_t rounded = (covered * WeightOne + S / 2) / S;
            exact.push_back(static_cast<std::int16_t>(rounded - roundedBefore));
            roundedBefore = rounded;
        }
    }

    AxisTaps taps;
    taps.first.resize(targets);
    taps.count.resize(targets);
    taps.offset.resize(targets);
    const int even = largestCount + largestCount % 2;
    taps.uniformCount = uniform ? even : 0;
    taps.weights.reserve(uniform ? targets * static_cast<std::size_t>(even) : exact.size() + targets);
    std::size_t read = 0;
    for (std::size_t i = 0; i < targets; ++i) {
        int count = counts[i];
        int lead = 0;
        int first = firsts[i];
        int padded = count + count % 2;
        if (uniform) {
            padded = even;
            lead = std::max(0, first - std::max(0, sourceLength - even));
            lead = std::min(lead, first);
            first -= lead;
        }
        taps.first[i] = first;
        taps.count[i] = padded;
        taps.offset[i] = static_cast<std::uint32_t>(taps.weights.size());
        taps.weights.insert(taps.weights.end(), static_cast<std::size_t>(lead), 0);
        taps.weights.insert(taps.weights.end(), exact.begin() + static_cast<std::ptrdiff_t>(read),
                            exact.begin() + static_cast<std::ptrdiff_t>(read + count));
        taps.weights.insert(taps.weights.end(), static_cast<std::size_t>(padded - lead - count), 0);
        read += static_cast<std::size_t>(count);
    }
    return taps;
}

void VerticalPassPortable(const ConstPixelBuffer& source, const AxisTaps& rows, int targetRow, int rowBytes,
                          std::int16_t* intermediate)
{
    const int first = rows.first[targetRow];
    const std::int16_t* weights = &rows.weights[rows.offset[targetRow]];
    const int count = rows.count[targetRow];
    constexpr std::int32_t half = 1 << (VerticalShift - 1);
    for (int x = 0; x < rowBytes; ++x) {
        std::int32_t sum = half;
        for (int k = 0; k < count; ++k) {
            // A padding tap may point one row past the source; its weight is zero.
            const int row = std::min(first + k, source.height - 1);
            sum += weights[k] * source.data[source.pitch * row + x];
        }
        intermediate[x] = static_cast<std::int16_t>(sum >> VerticalShift);
    }
}

void HorizontalPassPortable(const std::int16_t* intermediate, const AxisTaps& columns, int firstTarget,
                            int targetWidth, int channels, std::uint8_t* out)
{
    constexpr std::int32_t half = 1 << (HorizontalShift - 1);
    out += static_cast<std::ptrdiff_t>(firstTarget) * channels;
    for (int x = firstTarget; x < targetWidth; ++x) {
        const std::int16_t* in = intermediate + static_cast<std::ptrdiff_t>(columns.first[x]) * channels;
        const std::int16_t* weights = &columns.weights[columns.offset[x]];
        const int count = columns.count[x];
        for (int c = 0; c < channels; ++c) {
            std::int32_t sum = 0;
            for (int k = 0; k < count; ++k)
                sum += weights[k] * in[k * channels + c];
            out[c] = static_cast<std::uint8_t>((sum + half) >> HorizontalShift);
        }
        out += channels;
    }
}

} // namespace AreaResampling

bool AreaResample(const ConstPixelBuffer& source, const PixelBuffer& target, int bytesPerPixel,
                  ResampleKernel kernel)
{
    using namespace AreaResampling;
    if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0 || !source.data ||
        !target.data || (bytesPerPixel != 3 && bytesPerPixel != 4))
        return false;
    const bool simd = kernel != ResampleKernel::Portable && HaveSse2Passes();
    const bool wide = simd && kernel == ResampleKernel::Fastest && HaveAvx2Passes();
    try {
        const AxisTaps rows = MakeTaps(source.height, target.height);
        const AxisTaps columns = MakeTaps(source.width, target.width, true);
        const std::vector<std::int32_t> laneWeights =
            wide ? LaneWeightsAvx2(columns, target.width) : std::vector<std::int32_t>();
        const int rowBytes = source.width * bytesPerPixel;
        std::vector<std::int16_t> intermediate(static_cast<std::size_t>(rowBytes) + IntermediatePadding, 0);
        for (int y = 0; y < target.height; ++y) {
            std::uint8_t* out = target.data + target.pitch * y;
            if (wide) {
                VerticalPassAvx2(source, rows, y, rowBytes, intermediate.data());
                HorizontalPassAvx2(intermediate.data(), columns, laneWeights, target.width, bytesPerPixel,
                                   out);
            } else if (simd) {
                VerticalPassSse2(source, rows, y, rowBytes, intermediate.data());
                HorizontalPassSse2(intermediate.data(), columns, target.width, bytesPerPixel, out);
            } else {
                VerticalPassPortable(source, rows, y, rowBytes, intermediate.data());
                HorizontalPassPortable(intermediate.data(), columns, 0, target.width, bytesPerPixel, out);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
