// Gaussian deconvolution of stacks and the blind estimate of their blur.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "wavelets/blind_sigma.h"
#include "wavelets/deconvolution.h"
#include "wavelets/mixed_radix_fft.h"
#include "wavelets/richardson_lucy.h"
#include "wavelets/synthetic_planet.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

constexpr int kW = 200, kH = 160;

TEST(MixedRadixFft, MatchesTheDirectSumAndComesBack) {
    for (int n : {1, 2, 3, 5, 6, 12, 20, 45, 96, 150}) {
        Fft1d fft(n);
        const auto size = static_cast<std::size_t>(n);
        std::vector<Complex> x(size), scratch(size);
        for (int k = 0; k < n; ++k) x[std::size_t(k)] = {float(std::sin(k * 1.3) + 0.1 * k), float(std::cos(k * 0.7))};
        std::vector<Complex> y = x;
        fft.Forward(y.data(), scratch.data());
        for (int f = 0; f < n; ++f) {
            std::complex<double> sum;
            for (int k = 0; k < n; ++k)
                sum += std::complex<double>(x[std::size_t(k)]) * std::polar(1.0, -2 * std::numbers::pi * k * f / n);
            EXPECT_NEAR(std::abs(sum - std::complex<double>(y[std::size_t(f)])), 0, 1e-4 * n) << "n " << n << " f " << f;
        }
        fft.Inverse(y.data(), scratch.data());
        for (int k = 0; k < n; ++k) EXPECT_NEAR(std::abs(y[std::size_t(k)] / float(n) - x[std::size_t(k)]), 0, 1e-4) << n;
    }
    EXPECT_EQ(GoodFftLength(641), 648);
    EXPECT_THROW(Fft1d(7), Error);
}

FloatPlane Noise(int w, int h, double sd, unsigned seed) { return testing::NoisePlane(w, h, sd, seed); }

// A planet (detail falling off as f^-3), blurred by `sigma` (none when 0).
FloatPlane Planet(double sigma) {
    const FloatPlane p = testing::SyntheticPlanet(kW, kH, 60, 7);
    if (sigma <= 0) return p;
    FloatPlane blurred;
    GaussianBlur(p, blurred, sigma);
    return blurred;
}

Single2dArray ToArray(const FloatPlane& p, const FloatPlane* add = nullptr) {
    Single2dArray a(p.width, p.height);
    a.Fill(-1);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) a.Put(x, y, p.Row(y)[x] + (add ? add->Row(y)[x] : 0.0f));
    return a;
}

// Over `r`, or only the pixels of it within `radius` of the planet's centre.
double RmsDifference(const Single2dArray& a, const FloatPlane& b, const PixelRect& r, double radius = 1e9) {
    double sum = 0;
    long n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (std::hypot(x - kW / 2.0, y - kH / 2.0) < radius) sum += std::pow(a.Get(x, y) - b.Row(y)[x], 2), ++n;
    return std::sqrt(sum / double(n));
}

DeconvolutionSettings Settings(DeconvolutionMethod method, double sigma) {
    DeconvolutionSettings s;
    s.method = method;
    s.sigma = sigma;
    return s;
}

bool Restore(Single2dArray& a, const DeconvolutionSettings& s, PixelRect area = {0, 0, kW, kH},
             DeconvolutionHooks hooks = {}) {
    Single2dArray* planes[] = {&a};
    return Deconvolve(planes, kW, kH, area, s, hooks);
}

const DeconvolutionMethod kMethods[] = {DeconvolutionMethod::Wiener, DeconvolutionMethod::RichardsonLucy};

TEST(Deconvolution, BringsABlurredNoisyPlanetCloserToTheTruth) {
    const FloatPlane truth = Planet(0), noise = Noise(kW, kH, 60, 3);
    const struct {
        DeconvolutionMethod method;
        double errorShare;  // of the blurred picture's, at most
    } cases[] = {{DeconvolutionMethod::Wiener, 0.75}, {DeconvolutionMethod::RichardsonLucy, 0.85}};
    for (const auto& [method, errorShare] : cases) {
        Single2dArray picture = ToArray(Planet(1.5), &noise);
        // Inside the limb, where the detail is (the limb's step is restored only in part).
        const double before = RmsDifference(picture, truth, {0, 0, kW, kH}, 54);
        ASSERT_TRUE(Restore(picture, Settings(method, 1.5)));
        EXPECT_LT(RmsDifference(picture, truth, {0, 0, kW, kH}, 54), errorShare * before) << int(method);
    }
}

// Noise alone is neither shifted nor blown up: the level stays, the noise grows by half at most.
TEST(Deconvolution, LeavesSkyNoiseAtItsLevelAndBarelyRaised) {
    const FloatPlane sky = Noise(kW, kH, 30, 5);
    for (DeconvolutionMethod method : kMethods) {
        const FloatPlane level{kW, kH, std::vector<float>(std::size_t(kW) * kH, 2000)};
        Single2dArray picture = ToArray(level, &sky);
        ASSERT_TRUE(Restore(picture, Settings(method, 1.3)));
        double mean = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) mean += picture.Get(x, y);
        EXPECT_NEAR(mean / (kW * kH), 2000, 3) << int(method);
        EXPECT_LT(RmsDifference(picture, level, {0, 0, kW, kH}), 1.6 * 30) << int(method);
    }
}

// A bright plateau touching every edge around a dark hole: the mirrored margin keeps the
// edges as level as the plateau, where a wrapped or zero-filled margin would ring.
TEST(Deconvolution, APlateauStaysLevelAtThePictureEdges) {
    FloatPlane plateau{kW, kH, std::vector<float>(std::size_t(kW) * kH)};
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) plateau.Row(y)[x] = std::hypot(x - 100, y - 80) < 30 ? 500 : 20000;
    const PixelRect edges[] = {{0, 0, kW, 4}, {0, kH - 4, kW, kH}, {0, 0, 4, kH}, {kW - 4, 0, kW, kH}};
    for (DeconvolutionMethod method : kMethods) {
        Single2dArray picture = ToArray(plateau);
        ASSERT_TRUE(Restore(picture, Settings(method, 2.0)));
        for (const PixelRect& e : edges) EXPECT_LT(RmsDifference(picture, plateau, e), 2.0) << int(method);
    }
}

TEST(Deconvolution, AnAreaMatchesTheWholePictureInsideAndLeavesTheRestAlone) {
    const FloatPlane noise = Noise(kW, kH, 60, 9), blurred = Planet(1.5);
    const PixelRect area{40, 30, 150, 120};
    for (DeconvolutionMethod method : kMethods) {
        Single2dArray whole = ToArray(blurred, &noise), part = ToArray(blurred, &noise);
        ASSERT_TRUE(Restore(whole, Settings(method, 1.5)));
        ASSERT_TRUE(Restore(part, Settings(method, 1.5), area));
        FloatPlane wholeValues{kW, kH, std::vector<float>(std::size_t(kW) * kH)};
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) wholeValues.Row(y)[x] = whole.Get(x, y);
        EXPECT_LT(RmsDifference(part, wholeValues, area), 20) << int(method);
        EXPECT_EQ(part.Get(area.left - 1, area.top), blurred.Row(area.top)[area.left - 1] + noise.Row(area.top)[area.left - 1]);
        EXPECT_EQ(part.Get(kW, 0), -1.0f);  // the margin of the plane is never written
    }
}

TEST(Deconvolution, ReportsProgressAndACancelLeavesThePictureAsItWas) {
    for (DeconvolutionMethod method : kMethods) {
        for (bool cancel : {false, true}) {
            Single2dArray picture = ToArray(Planet(1.5));
            const float before = picture.Get(100, 80);
            double last = 0;
            DeconvolutionHooks hooks{[&](double f) { last = f; }, [&] { return cancel; }};
            EXPECT_EQ(Restore(picture, Settings(method, 1.5), {0, 0, kW, kH}, hooks), !cancel);
            EXPECT_EQ(picture.Get(100, 80) == before, cancel) << int(method);
            if (!cancel) {
                EXPECT_DOUBLE_EQ(last, 1.0);
            }
        }
    }
}

TEST(Deconvolution, RefusesSettingsItCannotHonourAndDoesNothingWithoutIterations) {
    Single2dArray picture = ToArray(Planet(1.5));
    const float before = picture.Get(100, 80);
    const struct {
        DeconvolutionMethod method;
        double sigma, k;
        int iterations;
        bool refused;
    } cases[] = {{DeconvolutionMethod::Wiener, 0, 0.02, 20, true},
                 {DeconvolutionMethod::RichardsonLucy, 25, 0.02, 20, true},
                 {DeconvolutionMethod::Wiener, 1.5, 0, 20, true},
                 {DeconvolutionMethod::RichardsonLucy, 1.5, 0, 0, false}};
    for (const auto& c : cases) {
        DeconvolutionSettings s = Settings(c.method, c.sigma);
        s.wienerK = c.k;
        s.iterations = c.iterations;
        if (c.refused) {
            EXPECT_THROW(Restore(picture, s), Error) << c.sigma << " " << c.k;
        } else {
            EXPECT_TRUE(Restore(picture, s));
        }
        EXPECT_EQ(picture.Get(100, 80), before);
    }
}

TEST(BlindSigma, RecoversTheBlurOfANoisyPlanet) {
    const FloatPlane noise = Noise(kW, kH, 60, 11);
    for (double sigma : {0.9, 1.3, 1.8}) {
        const Single2dArray picture = ToArray(Planet(sigma), &noise);
        const Single2dArray* planes[] = {&picture};
        EXPECT_NEAR(EstimateBlurSigma(planes, kW, kH, {0, 0, kW, kH}).sigma, sigma, 0.15);
    }
}

// The noisier the picture, the more the Wiener filter it is offered holds back.
TEST(BlindSigma, OffersAWienerKThatGrowsWithTheNoise) {
    double previous = 0;
    for (double noise : {10.0, 60.0, 300.0}) {
        const FloatPlane n = Noise(kW, kH, noise, 13);
        const Single2dArray picture = ToArray(Planet(1.3), &n);
        const Single2dArray* planes[] = {&picture};
        const double k = EstimateBlurSigma(planes, kW, kH, {0, 0, kW, kH}).wienerK;
        EXPECT_GT(k, previous) << noise;
        EXPECT_LE(k, 0.1);
        previous = k;
    }
}

}  // namespace
}  // namespace talvenor
