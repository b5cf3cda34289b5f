// "Auto": wavelet gains chosen from the stack itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "wavelets/auto_gains.h"
#include "wavelets/mixed_radix_fft.h"
#include "wavelets/richardson_lucy.h"
#include "wavelets/synthetic_planet.h"

namespace talvenor {
namespace {

constexpr int kW = 240, kH = 200;

FloatPlane Noise(double sd, unsigned seed) { return testing::NoisePlane(kW, kH, sd, seed); }

// A planet of 30000 levels on a sky of 1000 whose detail (3000 levels rms) falls off as f^-3.
FloatPlane Planet(unsigned seed) { return testing::SyntheticPlanet(kW, kH, 75, seed); }

Single2dArray Blurred(const FloatPlane& scene, double sigma, double noise, unsigned seed) {
    FloatPlane b = scene;
    if (sigma > 0) GaussianBlur(scene, b, sigma);
    const FloatPlane n = Noise(noise, seed);
    Single2dArray a(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) a.Put(x, y, b.Row(y)[x] + n.Row(y)[x]);
    return a;
}

// The picture rebuilt as the page does with the choice: split, then the residual plus the
// layers by their gains and soft thresholds.
Single2dArray Rebuilt(const Single2dArray& picture, const AutoWavelets& a, const SmoothingKernel& kernel) {
    Single2dArray plane(kW, kH), scratch(kW, kH), layer(kW, kH), sum(kW, kH);
    sum.Fill(0);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) plane.Put(x, y, picture.Get(x, y));
    const LayerArea area{0, 0, kW - 1, kH - 1};
    for (int n = 1; n <= kLayers; ++n) {
        DecomposeLayer(plane, scratch, layer, kW, kH, area, ScaleOfLayer(n, a.dyadic, a.initial, a.step), kernel, nullptr);
        const float g = a.gain[std::size_t(n)] / 10.0f, t = a.cut[std::size_t(n)] ? a.threshold[std::size_t(n)] : 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                sum.Put(x, y, sum.Get(x, y) + g * (layer.Get(x, y) - std::clamp(layer.Get(x, y), -t, t)));
    }
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) sum.Put(x, y, sum.Get(x, y) + plane.Get(x, y));
    return sum;
}

// Inside the limb, where the detail is.
double RmsInside(const Single2dArray& a, const Single2dArray& b, double radius) {
    double s = 0;
    long n = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (std::hypot(x - kW / 2.0, y - kH / 2.0) < radius) s += std::pow(a.Get(x, y) - b.Get(x, y), 2), ++n;
    return std::sqrt(s / double(n));
}

AutoWavelets Choose(const std::vector<Single2dArray>& channels, const SmoothingKernel& kernel) {
    std::vector<const Single2dArray*> p;
    for (const Single2dArray& c : channels) p.push_back(&c);
    return ChooseAutoWavelets(p, kW, kH, {0, 0, kW, kH}, kernel);
}

TEST(AutoWavelets, SharpenABlurredNoisyPlanetTowardsTheSceneTheSameWayEachTime) {
    const SmoothingKernel kernel = NormalisedKernel(DefaultKernelValues());
    const struct {
        int channels;
        double sigma, noise;
    } cases[] = {{1, 1.5, 60}, {3, 1.5, 60}, {1, 2.2, 150}};
    for (const auto& [count, sigma, noise] : cases) {
        const Single2dArray scene = Blurred(Planet(7), 0, 0, 1);
        std::vector<Single2dArray> channels;
        for (int c = 0; c < count; ++c) channels.push_back(Blurred(Planet(7), sigma, noise, 3 + unsigned(c)));
        const AutoWavelets a = Choose(channels, kernel);
        EXPECT_NEAR(a.sigma, sigma, 0.4) << count << " " << sigma;
        EXPECT_GT(*std::max_element(a.gain.begin(), a.gain.end()), 10) << count << " " << sigma;
        const AutoWavelets again = Choose(channels, kernel);
        EXPECT_TRUE(a.gain == again.gain && a.cut == again.cut && a.threshold == again.threshold &&
                    a.dyadic == again.dyadic && a.initial == again.initial && a.step == again.step);
        for (const Single2dArray& c : channels)
            EXPECT_LT(RmsInside(Rebuilt(c, a, kernel), scene, 68), 0.9 * RmsInside(c, scene, 68)) << count << " " << sigma;
    }
}

TEST(AutoWavelets, LeaveAPictureOfNoiseAloneAsItWas) {
    const SmoothingKernel kernel = NormalisedKernel(DefaultKernelValues());
    for (const int count : {1, 3}) {
        std::vector<Single2dArray> channels;
        for (int c = 0; c < count; ++c) channels.push_back(Blurred(FloatPlane{kW, kH, std::vector<float>(std::size_t(kW) * kH, 2000)}, 0, 50, 9 + unsigned(c)));
        const AutoWavelets a = Choose(channels, kernel);
        for (const Single2dArray& c : channels) EXPECT_LT(RmsInside(Rebuilt(c, a, kernel), c, 1e9), 0.1 * 50) << count;
    }
}

}  // namespace
}  // namespace talvenor
