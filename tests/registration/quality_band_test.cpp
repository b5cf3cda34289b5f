// The automatic quality band, on radial spectra with a known detail radius and noise floor.
#include <gtest/gtest.h>

#include <cmath>

#include "registration/quality_band.h"

namespace talvenor {
namespace {

// A spectrum falling like seeing's transfer function onto a flat noise floor.
std::array<float, 256> Spectrum(int box, double blur, float floor) {
    std::array<float, 256> s{};
    for (int k = 0; k < 255; ++k) {
        const double f = double(k + 1) / box;
        s[std::size_t(k)] = float(std::exp(-2 * M_PI * M_PI * blur * blur * f * f) / (k + 1)) + floor;
    }
    return s;
}

// The radius (bin) where Spectrum() has fallen to twice its floor, found by brute force.
int TrueDetailBin(int box, double blur, float floor) {
    const auto s = Spectrum(box, blur, floor);
    int k = 1;
    while (k < box / 2 && s[std::size_t(k)] > 2 * floor) ++k;
    return k;
}

TEST(QualityBand, StartsAtAFixedFrequencyAndEndsBelowTheNoise) {
    struct Case {
        int box;
        double blur;
        int firstBin;  // 0.045 of the box, at least bin 2
    } cases[] = {{32, 2.0, 2}, {64, 2.0, 3}, {64, 3.0, 3}, {128, 2.0, 6}, {128, 3.5, 6}, {256, 2.0, 12}, {256, 3.0, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.box) + " box, blur " + std::to_string(c.blur));
        const float floor = 0.002f;
        const auto a = AutomaticQualityBand(Spectrum(c.box, c.blur, floor), c.box);
        ASSERT_TRUE(a.has_value());
        EXPECT_NEAR(a->NoiseFloor, floor, 0.1 * floor);
        EXPECT_NEAR(a->DetailRadius, TrueDetailBin(c.box, c.blur, floor), 1);
        const int first = a->Band.Start + 1, last = a->Band.Start + a->Band.Width - 1;
        EXPECT_EQ(first, c.firstBin);
        // At least three bins; otherwise below the detail and below 0.15 of the box, and never
        // past the 51 radii the quality sums.
        EXPECT_GE(last, first + 2);
        if (last > first + 2) {
            EXPECT_LE(last, 0.8 * a->DetailRadius + 0.5);
            EXPECT_LE(last, 0.15 * c.box + 0.5);
        }
        EXPECT_LE(last, 50);
    }
    // More noise ends the detail earlier: the band shrinks, it never moves up.
    const auto clean = AutomaticQualityBand(Spectrum(128, 2.0, 0.0005f), 128);
    const auto noisy = AutomaticQualityBand(Spectrum(128, 2.0, 0.02f), 128);
    ASSERT_TRUE(clean && noisy);
    EXPECT_LT(noisy->DetailRadius, clean->DetailRadius);
    EXPECT_EQ(noisy->Band.Start, clean->Band.Start);
    EXPECT_LT(noisy->Band.Width, clean->Band.Width);
}

TEST(QualityBand, NothingToLearnFromAFlatBox) {
    EXPECT_FALSE(AutomaticQualityBand(std::array<float, 256>{}, 64).has_value());
    std::array<float, 256> white{};
    white.fill(0.01f);
    EXPECT_FALSE(AutomaticQualityBand(white, 64).has_value());
}

}  // namespace
}  // namespace talvenor
