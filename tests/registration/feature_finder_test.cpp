#include <gtest/gtest.h>

#include <random>

#include "registration/feature_finder.h"

namespace talvenor {
namespace {

// A smooth grey field (no detail) with one patch of texture centred at (cx, cy).
Bitmap24 FieldWithPatch(int width, int height, int cx, int cy, bool grey) {
    Bitmap24 b;
    if (grey) b.SetGreySize(width, height);
    else b.SetSize(width, height);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> texture(60, 200);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int v = 100 + (x + y) / 16;
            if (std::abs(x - cx) < 20 && std::abs(y - cy) < 20) v = texture(rng);
            const uint8_t g = uint8_t(v);
            if (grey) b.GreyRowToFill(y)[x] = g;
            else b.SetPixel(x, y, Bgr{uint8_t(g / 2), g, uint8_t(255 - g)});
        }
    return b;
}

// The search sums the frame in bands of rows side by side: every band must see its rows as one
// pass over the frame would, wherever the patch lies against the bands' edges (the middle of the
// frame is where two bands meet on two cores), on grey and colour frames.
TEST(FeatureFinder, FindsTheOnlyDetailWhereverItLies) {
    const std::array<float, 3> weights{0.299f, 0.587f, 0.114f};
    struct Case {
        int width, height, cx, cy;
    };
    for (const Case k : {Case{320, 240, 160, 120}, Case{320, 240, 80, 60}, Case{320, 240, 250, 190},
                         Case{641, 483, 320, 241}, Case{641, 483, 100, 400}, Case{200, 700, 100, 350}})
        for (const bool grey : {true, false}) {
            const Bitmap24 frame = FieldWithPatch(k.width, k.height, k.cx, k.cy, grey);
            const auto found = FindAlignmentFeature(frame, k.width, k.height, 64, weights);
            ASSERT_TRUE(found.has_value()) << k.width << " x " << k.height;
            EXPECT_LE(std::abs(found->first - k.cx), 16) << k.width << " x " << k.height << " at " << k.cx << "," << k.cy;
            EXPECT_LE(std::abs(found->second - k.cy), 16) << k.width << " x " << k.height << " at " << k.cx << "," << k.cy;
        }
}

// Bands of rows summed apart find what one pass over the frame finds, on frames of detail
// everywhere (where a row counted twice or left out moves the best window).
TEST(FeatureFinder, AnyNumberOfBandsFindsWhatOneFinds) {
    const std::array<float, 3> weights{0.299f, 0.587f, 0.114f};
    for (const bool grey : {true, false})
        for (const int seed : {1, 2, 3}) {
            Bitmap24 frame;
            if (grey) frame.SetGreySize(333, 251);
            else frame.SetSize(333, 251);
            std::mt19937 rng{static_cast<unsigned>(seed)};
            std::uniform_int_distribution<int> texture(0, 255);
            for (int y = 0; y < frame.Height(); ++y)
                for (int x = 0; x < frame.Width(); ++x) {
                    const uint8_t v = uint8_t(texture(rng));
                    if (grey) frame.GreyRowToFill(y)[x] = v;
                    else frame.SetPixel(x, y, Bgr{v, uint8_t(255 - v), uint8_t(v / 3)});
                }
            const auto one = FindAlignmentFeature(frame, frame.Width(), frame.Height(), 48, weights, 1);
            ASSERT_TRUE(one.has_value());
            for (const int bands : {2, 3, 7, 0}) EXPECT_EQ(FindAlignmentFeature(frame, frame.Width(), frame.Height(), 48, weights, bands), one) << bands << " bands, seed " << seed;
        }
}

}  // namespace
}  // namespace talvenor
