// The à trous split into six layers and a residual.
#include <gtest/gtest.h>

#include <cmath>

#include "wavelets/decomposition.h"

namespace talvenor {
namespace {

TEST(Decomposition, ScaleOfEachLayer) {
    auto scales = [](bool dyadic, double initial, double step) {
        std::array<int, 6> s{};
        for (int n = 1; n <= 6; ++n) s[std::size_t(n - 1)] = ScaleOfLayer(n, dyadic, initial, step);
        return s;
    };
    EXPECT_EQ(scales(false, 1, 0), (std::array<int, 6>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(scales(false, 1, 1), (std::array<int, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(scales(false, 2, 0.5), (std::array<int, 6>{2, 2, 3, 4, 4, 4}));  // ties to even
    EXPECT_EQ(scales(true, 7, 3), (std::array<int, 6>{1, 2, 4, 8, 16, 32}));
}

TEST(Decomposition, KernelIsNormalisedAndAZeroSumCountsAsOne) {
    const SmoothingKernel k = NormalisedKernel(DefaultKernelValues());
    EXPECT_FLOAT_EQ(k[12], 50.0f / 98);
    EXPECT_FLOAT_EQ(k[6], 6.0f / 98);
    EXPECT_FLOAT_EQ(k[0], 0.0f);
    std::array<double, 25> zero{};
    zero[12] = 5;
    zero[13] = -5;
    const SmoothingKernel z = NormalisedKernel(zero);
    EXPECT_FLOAT_EQ(z[12], 5.0f);
}

// A test image with detail at every scale.
Single2dArray Pattern(int w, int h) {
    Single2dArray p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Put(x, y, float(100 + 50 * std::sin(x * 0.3) * std::cos(y * 0.17) + ((x * 7 + y * 13) % 11)));
    return p;
}

TEST(Decomposition, LayersAndResidualAddBackToTheImage) {
    const int w = 64, h = 48;
    Single2dArray plane = Pattern(w, h), original = Pattern(w, h), scratch(w, h);
    const LayerArea area = ClipArea(-5, 4, 100, 30, w, h);
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.right, w - 1);
    EXPECT_EQ(area.bottom, 33);
    std::array<Single2dArray, 6> layers;
    const SmoothingKernel k = NormalisedKernel(DefaultKernelValues());
    std::array<float, kLayers + 1> meanAbs{};
    for (int n = 1; n <= 6; ++n) {
        layers[std::size_t(n - 1)].Create(w, h);
        LayerSums sums;
        DecomposeLayer(plane, scratch, layers[std::size_t(n - 1)], w, h, area, ScaleOfLayer(n, true, 1, 0), k, &sums);
        EXPECT_EQ(sums.count, (area.right - area.left - 21) * (area.bottom - area.top - 21));
        meanAbs[std::size_t(n)] = StatisticOf(sums).meanAbs;
        EXPECT_GT(StatisticOf(sums).variance, 0.0f);
    }
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x) {
            double sum = plane.Get(x, y);
            for (const auto& l : layers) sum += l.Get(x - area.left, y - area.top);
            ASSERT_NEAR(sum, original.Get(x, y), 1e-3) << x << "," << y;
        }
    // Outside the area the working plane is untouched.
    EXPECT_EQ(plane.Get(5, 2), original.Get(5, 2));
    const NoiseRatios r = ComputeNoiseRatios(meanAbs);
    EXPECT_FLOAT_EQ(r.B[6], 0.5f * meanAbs[1]);
    EXPECT_FLOAT_EQ(r.B[1], float(std::pow(2.0, 2.5) * 0.5 * meanAbs[1]));
    EXPECT_FLOAT_EQ(r.A[6], meanAbs[6] * meanAbs[6] / (meanAbs[6] + 0.0001f));
}

TEST(Decomposition, BorderTapsAreLeftOutWithoutRenormalisingAndNegativeWeightsSmoothAsZero) {
    const int w = 16, h = 16;
    Single2dArray plane(w, h), scratch(w, h), layer(w, h);
    plane.Fill(98);
    const LayerArea area = ClipArea(0, 0, w, h, w, h);
    DecomposeLayer(plane, scratch, layer, w, h, area, 1, NormalisedKernel(DefaultKernelValues()), nullptr);
    // The corner pixel has 4 of its 9 taps inside: centre 50 and three neighbours of 6.
    EXPECT_NEAR(plane.Get(0, 0), 50 + 3 * 6, 1e-4);
    EXPECT_NEAR(layer.Get(0, 0), 98 - 68, 1e-4);
    EXPECT_NEAR(plane.Get(8, 8), 98, 1e-4);

    std::array<double, 25> negative{};
    negative[12] = 2;
    negative[13] = -1;
    plane.Fill(10);
    DecomposeLayer(plane, scratch, layer, w, h, area, 1, NormalisedKernel(negative), nullptr);
    EXPECT_NEAR(plane.Get(8, 8), 20, 1e-4);  // weight 2/1 at the centre, the negative tap ignored
}

}  // namespace
}  // namespace talvenor
