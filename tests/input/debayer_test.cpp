#include <gtest/gtest.h>

#include "input/debayer.h"

namespace talvenor {
namespace {

// The mosaic a sensor with `pattern` records of `scene`: each pixel keeps its filter's channel.
Bitmap24 Mosaic(const Bitmap24& scene, BayerPattern pattern) {
    Bitmap24 m(scene.Width(), scene.Height());
    for (int y = 0; y < scene.Height(); ++y)
        for (int x = 0; x < scene.Width(); ++x) {
            const Bgr p = scene.Pixel(x, y);
            const uint8_t v = BayerChannelAt(pattern, x, y) == 0 ? p.r : BayerChannelAt(pattern, x, y) == 1 ? p.g : p.b;
            m.SetPixel(x, y, Bgr{v, v, v});
        }
    return m;
}

TEST(Debayer, PatternsAndFlatColoursComeBackExactly) {
    EXPECT_EQ(BayerChannelAt(BayerPattern::Rggb, 0, 0), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Rggb, 1, 1), 2);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Grbg, 1, 0), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Gbrg, 0, 1), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Bggr, 1, 1), 0);
    EXPECT_EQ(BayerChannelAt(BayerPattern::Bggr, -1, -1), 0);  // the cell repeats leftwards too
    for (BayerPattern p : {BayerPattern::Rggb, BayerPattern::Grbg, BayerPattern::Gbrg, BayerPattern::Bggr}) {
        Bitmap24 scene(9, 7);
        scene.Fill(Bgr{30, 140, 220});
        Bitmap24 m = Mosaic(scene, p);
        DebayerBilinear(m, p);
        EXPECT_EQ(m, scene) << int(p);
    }
}

TEST(Debayer, BilinearFollowsASmoothGradient) {
    // Linear ramps are reproduced exactly by the neighbour means away from the edges.
    Bitmap24 scene(16, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) scene.SetPixel(x, y, Bgr{uint8_t(10 * y), uint8_t(8 * x + 4 * y), uint8_t(12 * x)});
    Bitmap24 m = Mosaic(scene, BayerPattern::Rggb);
    DebayerBilinear(m, BayerPattern::Rggb);
    int worst = 0;
    for (int y = 1; y < 11; ++y)
        for (int x = 1; x < 15; ++x) {
            const Bgr a = m.Pixel(x, y), b = scene.Pixel(x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    EXPECT_LE(worst, 1);
}

}  // namespace
}  // namespace talvenor
