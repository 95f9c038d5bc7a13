#include "AreaResampler.h"
#include "AreaResamplerKernels.h"
#include "ImageOperations.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {
// The exact area average, in double precision, straight from the definition: each target pixel
// is the mean of the source area it covers, weighted by how much of each source pixel it covers.
std::vector<double> AxisWeights(int source, int target, int index)
{
    std::vector<double> weights(static_cast<std::size_t>(source), 0.0);
    const double scale = static_cast<double>(source) / target;
    const double begin = index * scale, end = (index + 1) * scale;
    for (int j = 0; j < source; ++j)
        weights[j] = std::max(0.0, std::min(end, j + 1.0) - std::max(begin, double(j))) / scale;
    return weights;
}

double ReferenceChannel(const ImageFrame& src, int sx, int sy, int sw, int sh, int tw, int th, int x, int y,
                        int c)
{
    const auto wx = AxisWeights(sw, tw, x);
    const auto wy = AxisWeights(sh, th, y);
    double sum = 0;
    for (int j = 0; j < sh; ++j) {
        if (wy[j] == 0)
            continue;
        const std::uint8_t* row = src.Row(sy + j);
        for (int i = 0; i < sw; ++i)
            if (wx[i] != 0)
                sum += wx[i] * wy[j] * row[(sx + i) * src.BytesPerPixel() + c];
    }
    return sum;
}

int MaxDifferenceFromReference(const ImageFrame& src, const ImageFrame& out, int sx, int sy, int sw, int sh)
{
    int worst = 0;
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x)
            for (int c = 0; c < out.BytesPerPixel(); ++c) {
                const double expected =
                    ReferenceChannel(src, sx, sy, sw, sh, out.Width(), out.Height(), x, y, c);
                worst = std::max(worst,
                                 static_cast<int>(std::ceil(
                                     std::abs(out.Row(y)[x * out.BytesPerPixel() + c] - expected) - 1e-9)));
            }
    return worst;
}
} // namespace

TEST(AreaResampler, MatchesTheExactAverageOnRandomImagesAndSizes)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 40; ++round) {
        const int depth = round % 2 ? 32 : 24;
        const int sw = 1 + random() % 90, sh = 1 + random() % 70;
        const int tw = 1 + random() % 120, th = 1 + random() % 90;
        const ImageFrame src = RandomFrame(sw, sh, depth, random());
        ImageFrame out;
        ASSERT_TRUE(ResizeImage(src, out, tw, th));
        ASSERT_EQ(out.Width(), tw);
        ASSERT_EQ(out.BitsPerPixel(), depth);
        EXPECT_LE(MaxDifferenceFromReference(src, out, 0, 0, sw, sh), 1)
            << sw << "x" << sh << " -> " << tw << "x" << th << " at " << depth;
    }
}

TEST(AreaResampler, EveryKernelGivesThePortableResultExactly)
{
    std::mt19937 random(77);
    for (int round = 0; round < 80; ++round) {
        const int channels = round % 2 ? 4 : 3;
        // Every fourth round reduces a wide row a lot, so that the passes loop over many taps.
        const bool wideReduction = round % 4 == 3;
        const int sw = wideReduction ? 300 + random() % 700 : 1 + random() % 150;
        const int sh = 1 + random() % 100;
        const int tw = wideReduction ? 1 + random() % 40 : 1 + random() % 150;
        const int th = 1 + random() % 100;
        const ImageFrame src = RandomFrame(sw, sh, channels * 8, random());
        const ConstPixelBuffer in{src.Row(0), src.Pitch(), sw, sh};
        ImageFrame portable;
        portable.Create(tw, th, channels * 8);
        ASSERT_TRUE(AreaResample(in, {portable.Row(0), portable.Pitch(), tw, th}, channels,
                                 ResampleKernel::Portable));
        for (ResampleKernel kernel : {ResampleKernel::Fastest, ResampleKernel::Sse2}) {
            // Filled with a marker, so that a pass writing past its row's end shows in the pitch.
            ImageFrame fast;
            fast.Create(tw, th, channels * 8);
            for (int y = 0; y < th; ++y)
                std::memset(fast.Row(y), 0xA5, static_cast<std::size_t>(fast.Pitch()));
            ASSERT_TRUE(AreaResample(in, {fast.Row(0), fast.Pitch(), tw, th}, channels, kernel));
            const auto rowBytes = static_cast<std::size_t>(tw) * channels;
            for (int y = 0; y < th; ++y) {
                ASSERT_EQ(0, std::memcmp(fast.Row(y), portable.Row(y), rowBytes))
                    << sw << "x" << sh << " -> " << tw << "x" << th << " row " << y << " kernel "
                    << static_cast<int>(kernel);
                for (std::size_t b = rowBytes; b < static_cast<std::size_t>(fast.Pitch()); ++b)
                    ASSERT_EQ(fast.Row(y)[b], 0xA5) << "written past the row at " << tw << " wide";
            }
        }
        EXPECT_LE(MaxDifferenceFromReference(src, portable, 0, 0, sw, sh), 1);
    }
}

TEST(AreaResampler, CropAndResizeIsOneStretchOfTheRegion)
{
    const ImageFrame src = RandomFrame(200, 150, 24, 99);
    ImageFrame out;
    ASSERT_TRUE(CropAndResizeImage(src, out, 53, 41, 17, 23, 131, 97));
    EXPECT_LE(MaxDifferenceFromReference(src, out, 17, 23, 131, 97), 1);
}

TEST(AreaResampler, LargeReductionsOfAGradientStayWithinOneLevel)
{
    // A gradient, not noise: noise hides a bias in the weights by averaging it out, while on a
    // ramp every tap that weighs too much pulls the mean the same way.
    for (auto [sw, sh, tw, th] :
         {std::array{1000, 4, 1, 1}, std::array{1920, 3, 1, 2}, std::array{1000, 37, 3, 2},
          std::array{5, 1000, 2, 1}, std::array{7, 1920, 1, 1}, std::array{1920, 1080, 1, 1}}) {
        for (int depth : {24, 32}) {
            const ImageFrame src = GradientFrame(sw, sh, depth);
            ImageFrame out;
            ASSERT_TRUE(ResizeImage(src, out, tw, th));
            EXPECT_LE(MaxDifferenceFromReference(src, out, 0, 0, sw, sh), 1)
                << sw << "x" << sh << " -> " << tw << "x" << th << " at " << depth;
        }
    }
}

TEST(AreaResampler, EveryWeightIsWithinOneStepOfItsCoverage)
{
    using namespace AreaResampling;
    for (auto [source, target] :
         {std::array{1000, 1}, std::array{1920, 1}, std::array{1920, 7}, std::array{97, 13},
          std::array{13, 97}, std::array{640, 333}, std::array{5, 5}}) {
        for (bool uniform : {false, true}) {
            const AxisTaps taps = MakeTaps(source, target, uniform);
            for (int i = 0; i < target; ++i) {
                const auto exact = AxisWeights(source, target, i);
                std::int32_t sum = 0;
                for (int k = 0; k < taps.count[i]; ++k) {
                    const int j = taps.first[i] + k;
                    const std::int16_t weight = taps.weights[taps.offset[i] + k];
                    const double wanted = j < source ? exact[j] * WeightOne : 0.0;
                    ASSERT_LT(std::abs(weight - wanted), 1.0)
                        << source << " -> " << target << " pixel " << i << " tap " << j << ": " << weight
                        << " for " << wanted;
                    sum += weight;
                }
                ASSERT_EQ(sum, std::int32_t(WeightOne)) << source << " -> " << target << " pixel " << i;
            }
        }
    }
}

TEST(AreaResampler, FlatColourStaysExactlyThatColour)
{
    for (auto [sw, sh, tw, th] :
         {std::array{97, 61, 13, 7}, std::array{13, 7, 97, 61}, std::array{640, 480, 333, 211}}) {
        const ImageFrame src = FlatFrame(sw, sh, 24, 201, 13, 77);
        ImageFrame out;
        ASSERT_TRUE(ResizeImage(src, out, tw, th));
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                const Rgb p = PixelAt(out, x, y);
                ASSERT_TRUE(p.red == 201 && p.green == 13 && p.blue == 77) << x << "," << y;
            }
    }
}

TEST(AreaResampler, HalvingAOnePixelCheckerboardGivesUniformGrey)
{
    ImageFrame board;
    board.Create(64, 48, 24);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            std::memset(board.Row(y) + 3 * x, (x + y) % 2 ? 255 : 0, 3);
    ImageFrame out;
    ASSERT_TRUE(ResizeImage(board, out, 32, 24));
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(out.Row(y)[3 * x + c], 127.5, 0.5);
}

TEST(AreaResampler, NoHalfPixelShift)
{
    // An aligned 4 x 4 block reduced by 4 lands wholly in one target pixel; a shifted mapping
    // would smear it over its neighbours.
    ImageFrame block = FlatFrame(64, 48, 24, 0, 0, 0);
    for (int y = 20; y < 24; ++y)
        std::memset(block.Row(y) + 3 * 28, 255, 12);
    ImageFrame reduced;
    ASSERT_TRUE(ResizeImage(block, reduced, 16, 12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(PixelAt(reduced, x, y).red, x == 7 && y == 5 ? 255 : 0) << x << "," << y;

    // One pixel enlarged 3 times becomes exactly the 3 x 3 block that geometry gives it.
    ImageFrame dot = FlatFrame(20, 10, 24, 0, 0, 0);
    std::memset(dot.Row(4) + 3 * 7, 255, 3);
    ImageFrame enlarged;
    ASSERT_TRUE(ResizeImage(dot, enlarged, 60, 30));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            EXPECT_EQ(PixelAt(enlarged, x, y).red, (x >= 21 && x < 24 && y >= 12 && y < 15) ? 255 : 0)
                << x << "," << y;

    // At an odd factor a mirror-symmetric image stays mirror-symmetric.
    ImageFrame ramp;
    ramp.Create(64, 2, 24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 64; ++x)
            std::memset(ramp.Row(y) + 3 * x, std::min(x, 63 - x) * 8, 3);
    ImageFrame odd;
    ASSERT_TRUE(ResizeImage(ramp, odd, 25, 1));
    for (int x = 0; x < 25; ++x)
        EXPECT_NEAR(PixelAt(odd, x, 0).red, PixelAt(odd, 24 - x, 0).red, 1) << x;
}

TEST(AreaResampler, ChannelsAreNotMixed)
{
    const ImageFrame src = FlatFrame(40, 40, 32, 255, 0, 0);
    ImageFrame out;
    ASSERT_TRUE(ResizeImage(src, out, 7, 9));
    const Rgb p = PixelAt(out, 3, 4);
    EXPECT_EQ(p.red, 255);
    EXPECT_EQ(p.green, 0);
    EXPECT_EQ(p.blue, 0);
    EXPECT_EQ(out.Image().pixel(3, 4) >> 24, 0xFFu) << "the unused byte stays opaque";
}

TEST(AreaResampler, EveryVerticalPassGivesTheSameRows)
{
    using namespace AreaResampling;
    std::mt19937 random(11);
    for (int round = 0; round < 40; ++round) {
        const int sw = 1 + random() % 400, sh = 2 + random() % 120;
        const int th = 1 + random() % sh;
        const int channels = round % 2 ? 4 : 3;
        const ImageFrame src = RandomFrame(sw, sh, channels * 8, random());
        const ConstPixelBuffer in{src.Row(0), src.Pitch(), sw, sh};
        const AxisTaps rows = MakeTaps(sh, th);
        const int rowBytes = sw * channels;
        std::vector<std::int16_t> portable(rowBytes), sse2(rowBytes), avx2(rowBytes);
        for (int y = 0; y < th; ++y) {
            VerticalPassPortable(in, rows, y, rowBytes, portable.data());
            VerticalPassSse2(in, rows, y, rowBytes, sse2.data());
            ASSERT_EQ(sse2, portable) << sw << "x" << sh << " -> " << th << " row " << y;
            // A processor without AVX2 would stop at its first instruction.
            if (HaveAvx2Passes()) {
                VerticalPassAvx2(in, rows, y, rowBytes, avx2.data());
                ASSERT_EQ(avx2, portable) << sw << "x" << sh << " -> " << th << " row " << y;
            }
        }
    }
}
