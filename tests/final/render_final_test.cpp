#include <gtest/gtest.h>

#include <cmath>

#include "final/colour_model.h"
#include "final/render_final.h"

namespace talvenor {
namespace {

// A 16-bit image filled by a function of the pixel.
template <class Fn>
TTIFFBitMap Wide(int w, int h, Fn colour) {
    TTIFFBitMap t;
    t.CreateWide(w + 1, h + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto [r, g, b] = colour(x, y);
            t.SetSample(x, y, 0, uint16_t(r));
            t.SetSample(x, y, 1, uint16_t(g));
            t.SetSample(x, y, 2, uint16_t(b));
        }
    return t;
}

struct Triple {
    int r, g, b;
};

Bitmap24 Render(const TTIFFBitMap& t, int w, int h, FinalSettings s, std::array<int32_t, 361>* hist = nullptr) {
    Bitmap24 out;
    std::array<int32_t, 361> local{};
    RenderFinal(t, w, h, s, out, hist ? *hist : local);
    return out;
}

TEST(RenderFinal, NeutralSettingsGiveThe16BitImageThroughHsv) {
    const TTIFFBitMap t = Wide(4, 3, [](int x, int) {
        const Triple colours[] = {{255 * 256, 0, 0}, {200 * 256, 150 * 256, 100 * 256}, {90 * 256, 90 * 256, 90 * 256}, {0, 0, 0}};
        return colours[x];
    });
    const Bitmap24 out = Render(t, 4, 3, {});
    EXPECT_EQ(out.Pixel(0, 1), MakePixel(255, 0, 0));
    EXPECT_EQ(out.Pixel(1, 1), HSVtoRGBTriple(30, 128, 200));
    EXPECT_EQ(out.Pixel(2, 1), MakePixel(90, 90, 90));
    EXPECT_EQ(out.Pixel(3, 1), MakePixel(0, 0, 0));
}

TEST(RenderFinal, ColourShiftsSaturateAndLeaveGreysWithoutHue) {
    const TTIFFBitMap t = Wide(2, 1, [](int x, int) {
        return x == 0 ? Triple{200 * 256, 100 * 256, 100 * 256} : Triple{128 * 256, 128 * 256, 128 * 256};
    });
    FinalSettings s;
    s.hue = 60;
    Bitmap24 out = Render(t, 2, 1, s);
    EXPECT_EQ(out.Pixel(1, 0), MakePixel(128, 128, 128));  // grey: no hue to shift
    EXPECT_EQ(out.Pixel(0, 0), HSVtoRGBTriple(60, 128, 200));
    s = {};
    s.lightness = 100;
    out = Render(t, 2, 1, s);
    EXPECT_EQ(out.Pixel(0, 0).r, 255);  // V 200 + 100 stops at 255
    // The per-hue tables add twice their value at the pixel's hue.
    FinalState curves;
    curves.SatCurve[0] = -64;
    s = {};
    s.curves = &curves;
    out = Render(t, 2, 1, s);
    EXPECT_EQ(out.Pixel(0, 0), HSVtoRGBTriple(0, 0, 200));
}

TEST(RenderFinal, RotationKeepsTheSizeAndBlackensWhatComesFromOutside) {
    // A horizontal ramp: turned by 90 degrees it becomes a vertical one.
    const TTIFFBitMap t = Wide(200, 100, [](int x, int) { return Triple{x * 300, x * 300, x * 300}; });
    FinalSettings s;
    s.angle = 90;
    const Bitmap24 out = Render(t, 200, 100, s);
    ASSERT_EQ(out.Width(), 200);
    ASSERT_EQ(out.Height(), 100);
    EXPECT_EQ(out.Pixel(5, 50), (Bgr{}));    // from far outside the frame
    EXPECT_EQ(out.Pixel(194, 50), (Bgr{}));
    // Down the middle column the level changes with the row; along a row it stays.
    EXPECT_NE(out.Pixel(100, 20).g, out.Pixel(100, 80).g);
    EXPECT_NEAR(out.Pixel(90, 40).g, out.Pixel(110, 40).g, 1);
    // The centre stays where it was.
    EXPECT_NEAR(out.Pixel(100, 50).g, Render(t, 200, 100, {}).Pixel(100, 50).g, 2);
}

TEST(RenderFinal, FlipsHueHistogramAndThe16BitRendering) {
    Bitmap24 b(3, 2);
    b.SetPixel(0, 0, MakePixel(1, 2, 3));
    const Bitmap24 x = FlipPicture(b, true, false);
    EXPECT_EQ(x.Pixel(2, 0), MakePixel(1, 2, 3));
    const Bitmap24 y = FlipPicture(b, false, true);
    EXPECT_EQ(y.Pixel(0, 1), MakePixel(1, 2, 3));

    std::array<int32_t, 361> hist{};
    const TTIFFBitMap dim = Wide(4, 4, [](int, int) { return Triple{100 * 256, 50 * 256, 50 * 256}; });
    Render(dim, 4, 4, {}, &hist);
    for (int32_t v : hist) EXPECT_EQ(v, 0);  // nothing brighter than 100
    Bitmap24 graph;
    DrawHueHistogram(graph, hist);
    EXPECT_EQ(graph.Pixel(0, 50), (Bgr{255, 255, 255}));
    const TTIFFBitMap bright = Wide(4, 4, [](int, int) { return Triple{0, 200 * 256, 0}; });
    Render(bright, 4, 4, {}, &hist);
    EXPECT_EQ(hist[120], 16);
    DrawHueHistogram(graph, hist);
    EXPECT_EQ(graph.Pixel(120, 0), (Bgr{}));

    // At 16 bits: the same colour back at angle 0 (scale 255 per level), flipped as asked,
    // and a fully desaturated pixel grey rather than black.
    FinalSettings s;
    s.flipX = true;
    TTIFFBitMap wide;
    const TTIFFBitMap t = Wide(2, 1, [](int x, int) { return x == 0 ? Triple{40000, 20000, 10000} : Triple{0, 0, 0}; });
    RenderFinal16(t, 2, 1, s, wide);
    EXPECT_NEAR(wide.Sample(1, 0, 0), 40000.0 / 256 * 255, 40);
    EXPECT_NEAR(wide.Sample(1, 0, 1), 20000.0 / 256 * 255, 40);
    EXPECT_LE(wide.Sample(0, 0, 0), 3);  // black, but for the hair of red that keeps greys coloured
    s = {};
    s.saturation = -50;
    const TTIFFBitMap grey = Wide(1, 1, [](int, int) { return Triple{30000, 30000, 30000}; });
    RenderFinal16(grey, 1, 1, s, wide);
    EXPECT_NEAR(wide.Sample(0, 0, 1), 30000.0 / 256 * 255, 40);
}

TEST(RenderFinal, TurnedAndFlippedThe16BitRenderMatchesThePictureAndTheHuesStay) {
    // A coloured gradient, so a wrong neighbour or a missed flip shows in every pixel.
    const TTIFFBitMap t = Wide(60, 40, [](int x, int y) { return Triple{(200 - 2 * x) * 256, (60 + 3 * y) * 256, (40 + x + y) * 256}; });
    for (const double angle : {0.0, 30.0, 90.0}) {
        FinalSettings s;
        s.angle = angle;
        s.flipX = true;
        s.saturation = 20;
        std::array<int32_t, 361> hist{};
        const Bitmap24 picture = FlipPicture(Render(t, 60, 40, s, &hist), true, false);
        TTIFFBitMap wide;
        RenderFinal16(t, 60, 40, s, wide);
        int worst = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) {
                const Bgr p = picture.Pixel(x, y);
                worst = std::max({worst, std::abs(wide.Sample(x, y, 0) / 255 - p.r), std::abs(wide.Sample(x, y, 1) / 255 - p.g),
                                  std::abs(wide.Sample(x, y, 2) / 255 - p.b)});
            }
        EXPECT_LE(worst, 3) << angle;  // the picture rounds hues to whole degrees
        // Flipping moves pixels, not hues: the histogram is the unflipped one.
        s.flipX = false;
        std::array<int32_t, 361> unflipped{};
        Render(t, 60, 40, s, &unflipped);
        EXPECT_EQ(hist, unflipped) << angle;
    }
}

}  // namespace
}  // namespace talvenor
