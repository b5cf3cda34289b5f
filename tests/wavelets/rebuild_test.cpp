#include <gtest/gtest.h>

#include <cmath>

#include "wavelets/gamma_curve.h"
#include "wavelets/noise.h"
#include "wavelets/rebuild.h"

namespace talvenor {
namespace {

// A workspace whose stacked image is W x H with the area covering it all, layers all zero and
// the residual (plane 1, and 0 and 2 for colour) holding `value`.
struct Flat {
    Workspace ws;
    GammaTable gamma{};
    Bitmap24 picture;
    RebuildSettings s;
    Flat(int w, int h, float value) {
        ws.ImageWidth = w;
        ws.ImageHeight = h;
        ws.ProcessAreaLeft = ws.ProcessAreaTop = 0;
        ws.ProcessAreaWidth = ws.ProcessAreaHeight = std::max(w, h);
        for (auto& group : ws.LayerPlanes)
            for (auto& p : group) {
                p.Create(ws.ProcessAreaWidth, ws.ProcessAreaWidth);
                p.Fill(0);
            }
        for (auto& p : ws.ResultPlanes) {
            p.Create(w + 10, h + 10);
            p.Fill(value);
        }
        for (auto& p : ws.StackSum) {
            p.Create(w + 10, h + 10);
            p.Fill(value);
        }
        ws.StackTiff.CreateWide(w + 1, h + 1);
        CurveFromGamma(1.0, gamma);
        s.gamma = &gamma;
        s.stackMax = 255;
        for (int n = 1; n <= kLayers; ++n) {
            s.gain[std::size_t(n)] = 1;
            s.enabled[std::size_t(n)] = true;
        }
        picture.SetSize(w, h);
    }
    Bgr Run() {
        RebuildProcessedImage(ws, s, picture);
        return picture.Pixel(ws.ImageWidth / 2, ws.ImageHeight / 2);
    }
};

TEST(Rebuild, DisplayMappingOfTheStackedValues) {
    // Neutral settings show round(round(S / max x 1000) / 1000 x 255).
    for (float v : {0.0f, 37.0f, 100.4f, 254.9f}) {
        Flat f(8, 8, v);
        const Bgr p = f.Run();
        const double expected = std::nearbyint((std::nearbyint(v / 255.0 * 1000) / 1000 + 0.000001) * 255);
        EXPECT_EQ(p.g, uint8_t(std::min(255.0, expected))) << v;
        EXPECT_EQ(p.r, p.g);  // mono: all three bytes from green
    }
    // Contrast 200 doubles the index; beyond index 1000 the curve's last entry holds.
    {
        Flat f(8, 8, 51);
        f.s.contrast = 200;
        EXPECT_EQ(f.Run().g, 102);
        Flat g(8, 8, 200);
        g.s.contrast = 200;
        EXPECT_EQ(g.Run().g, 255);
        EXPECT_EQ(g.ws.StackTiff.Sample(4, 4, 1), 65025);  // 255.000255 x 255: white is 255 x 255
    }
    // Brightness acts before the stretch: HistLo 50, HistHi 200, K = 100 gives 85; +50 gives 170.
    {
        Flat f(8, 8, 100);
        f.gamma.fill(100.0 / 255);
        f.s.histLo = 50;
        f.s.histHi = 200;
        EXPECT_EQ(f.Run().g, 85);
        f.s.brightness = 50;
        EXPECT_EQ(f.Run().g, 170);
    }
    // Offsets and balance: E = round((o + K') b); F = (o + K') b 255.
    {
        Flat f(8, 8, 100);
        f.gamma.fill(100.0 / 255);
        f.s.mode = ColourMode::Colour;
        f.s.offset = {10, 0, -200};
        f.s.balance = {1.5f, 1, 1};
        const Bgr p = f.Run();
        EXPECT_EQ(p.r, 165);
        EXPECT_EQ(p.b, 0);
        EXPECT_EQ(f.ws.StackTiff.Sample(4, 4, 0), uint16_t(std::nearbyint(110 * 1.5 * 255)));
        EXPECT_EQ(f.ws.StackTiff.Sample(4, 4, 2), 0);
        // The show boxes hide a channel from the picture only.
        f.s.show = {false, true, true};
        EXPECT_EQ(f.Run().r, 0);
        EXPECT_EQ(f.ws.StackTiff.Sample(4, 4, 0), uint16_t(std::nearbyint(110 * 1.5 * 255)));
    }
}

TEST(Rebuild, ANotANumberSumShowsBlackInsteadOfReadingOutsideTheCurve) {
    Flat f(64, 64, std::nanf(""));
    f.s.mode = ColourMode::Colour;
    const Bgr p = f.Run();
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0);
}

TEST(Rebuild, GainsAndTheNoiseRules) {
    struct Case {
        float w, gain;
        bool cut;
        float threshold;
        bool subtract;
        float sum;
    } cases[] = {
        {4, 1, false, 0, true, 104},    {4, -5, false, 0, true, 80},   {4, 0, false, 0, true, 100},
        {4, 2, true, 0, true, 100},     // checked with no threshold: the layer is dropped
        {4, 2, true, 1, true, 106},     {-4, 2, true, 1, true, 94},    {0.5f, 2, true, 1, true, 100},
        {4, 2, true, 1, false, 108},
    };
    for (const Case& c : cases) {
        Flat f(8, 8, 100);
        f.ws.LayerPlanes[3][1].Fill(c.w);
        f.s.gain[3] = c.gain;
        f.s.cut[3] = c.cut;
        f.s.threshold[3] = c.threshold;
        f.s.subtract = c.subtract;
        f.Run();
        EXPECT_FLOAT_EQ(f.ws.LayerPlanes[0][1].Get(4, 4), c.sum) << c.w << " " << c.gain;
    }
    // A disabled layer is left out whatever its gain.
    Flat f(8, 8, 100);
    f.ws.LayerPlanes[2][1].Fill(7);
    f.s.enabled[2] = false;
    f.Run();
    EXPECT_FLOAT_EQ(f.ws.LayerPlanes[0][1].Get(4, 4), 100);
}

TEST(Rebuild, RedrawnRegionKeepsItsMarginOnlyInsideTheImage) {
    const LayerArea inside{100, 100, 611, 611};
    EXPECT_EQ(RedrawMargin(1, 0), 4);
    EXPECT_EQ(RedrawMargin(2, 0.5), 7);  // the scale of layer 6, round(4.5) = 4 (ties to even), + 3
    const LayerArea r = RedrawnRegion(inside, 4, 1024, 768);
    EXPECT_EQ(r.left, 104);
    EXPECT_EQ(r.right, 607);
    const LayerArea edge = RedrawnRegion({0, 0, 511, 767}, 4, 1024, 768);
    EXPECT_EQ(edge.left, 0);
    EXPECT_EQ(edge.top, 0);
    EXPECT_EQ(edge.right, 507);
    EXPECT_EQ(edge.bottom, 767);

    // Pixels between the area edge and the region keep what the picture had.
    Flat f(40, 40, 100);
    f.ws.ProcessAreaLeft = f.ws.ProcessAreaTop = 10;
    f.ws.ProcessAreaWidth = f.ws.ProcessAreaHeight = 20;
    f.picture.Fill(Bgr{1, 2, 3});
    f.s.margin = 4;
    f.Run();
    EXPECT_EQ(f.picture.Pixel(13, 20), (Bgr{1, 2, 3}));
    EXPECT_NE(f.picture.Pixel(14, 20), (Bgr{1, 2, 3}));
    EXPECT_NE(f.picture.Pixel(25, 25), (Bgr{1, 2, 3}));
    EXPECT_EQ(f.picture.Pixel(26, 25), (Bgr{1, 2, 3}));
}

TEST(Rebuild, HistogramsPerModeAndLrgbColourFromTheStack) {
    Flat mono(10, 10, 60);
    mono.Run();
    EXPECT_EQ(mono.ws.Histogram[0], mono.ws.Histogram[1]);
    EXPECT_EQ(mono.ws.Histogram[2], mono.ws.Histogram[1]);
    EXPECT_EQ(mono.ws.Histogram[1][60], 100);

    // LRGB: luminance J from the layers, the colour proportions from the stack; the show
    // boxes do not apply.
    Flat l(10, 10, 90);
    l.s.mode = ColourMode::Lrgb;
    l.s.show = {false, false, false};
    l.ws.StackSum[0].Fill(60);
    l.ws.StackSum[1].Fill(30);
    l.ws.StackSum[2].Fill(0);
    const Bgr p = l.Run();
    const double j = std::nearbyint(90.0 / 255 * 1000) / 1000 * 255;
    EXPECT_NEAR(p.r, 2 * j, 1);
    EXPECT_NEAR(p.g, j, 1);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(l.ws.Histogram[2][0], 100);
}

TEST(Rebuild, AreaMarksAreTheirOwnUndo) {
    Bitmap24 b(40, 30);
    b.Fill(Bgr{10, 20, 30});
    const Bitmap24 before = b;
    DrawAreaMarks(b, {5, 5, 34, 24});
    EXPECT_EQ(b.Pixel(5, 5), (Bgr{245, 235, 225}));
    EXPECT_EQ(b.Pixel(14, 5), (Bgr{245, 235, 225}));
    EXPECT_EQ(b.Pixel(15, 5), (Bgr{10, 20, 30}));
    EXPECT_EQ(b.Pixel(34, 24), (Bgr{245, 235, 225}));
    DrawAreaMarks(b, {5, 5, 34, 24});
    EXPECT_EQ(b, before);
}

// The decomposition runs rows on several threads; every value must be what a plain
// pixel-by-pixel loop in the documented order gives.
TEST(Decomposition, ThreadedRowsEqualThePlainLoop) {
    const int W = 301, H = 203;
    Single2dArray plane(W + 10, H + 10), scratch(W + 10, H + 10), layer(300, 300);
    for (int y = 0; y < H + 10; ++y)
        for (int x = 0; x < W + 10; ++x) plane.Put(x, y, float(std::sin(x * 0.37) * 50 + std::cos(y * 0.11) * 30 + 100));
    Single2dArray reference(W + 10, H + 10);
    std::copy_n(plane.Data(), plane.ElementCount(), reference.Data());
    std::array<double, 25> values{};
    for (int k = 0; k < 25; ++k) values[std::size_t(k)] = (k * 7) % 5 - 1;  // some negative
    const SmoothingKernel kernel = NormalisedKernel(values);
    const LayerArea area = ClipArea(20, 7, 260, 250, W, H);
    LayerSums sums;
    DecomposeLayer(plane, scratch, layer, W, H, area, 3, kernel, &sums);

    LayerSums plainSums;
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x) {
            double smooth = 0;
            for (int j = -2; j <= 2; ++j)
                for (int i = -2; i <= 2; ++i) {
                    const float w = kernel[std::size_t((j + 2) * 5 + i + 2)];
                    const int sx = x + 3 * i, sy = y + 3 * j;
                    if (w > 0 && sx >= 0 && sy >= 0 && sx < W && sy < H) smooth += double(w) * reference.Get(sx, sy);
                }
            const float v = float(reference.Get(x, y) - smooth);
            ASSERT_EQ(layer.Get(x - area.left, y - area.top), v) << x << "," << y;
            ASSERT_EQ(plane.Get(x, y), float(smooth));
            if (y > area.top + 10 && y < area.bottom - 10 && x > area.left + 10 && x < area.right - 10) {
                ++plainSums.count;
                plainSums.sumAbs += std::fabs(v);
                plainSums.sum += v;
                plainSums.sumSquares += double(v) * v;
            }
        }
    EXPECT_EQ(sums.count, plainSums.count);
    EXPECT_EQ(sums.sumAbs, plainSums.sumAbs);
    EXPECT_EQ(sums.sumSquares, plainSums.sumSquares);
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

TEST(Rebuild, AntiRingTakesTheResidualWhereTheSumsAreDarkerThanTheLevel) {
    Flat f(8, 8, 100);
    f.ws.LayerPlanes[3][1].Fill(-50);  // the sum is 50, luminance 0.587 x 50
    const uint8_t shownSum = f.Run().g;
    f.s.antiRing = true;
    f.s.antiRingLevel = 29;
    EXPECT_EQ(f.Run().g, shownSum);  // 29.35 is not below 29
    f.s.antiRingLevel = 30;
    const Bgr p = f.Run();
    EXPECT_EQ(p.g, 100);  // the residual
    EXPECT_FLOAT_EQ(f.ws.LayerPlanes[0][1].Get(4, 4), 50);  // the sums themselves stay
}

TEST(NoiseEstimators, EachMethodReadsItsStatistic) {
    std::array<float, kLayers + 1> variance{}, meanAbs{};
    for (int n = 1; n <= kLayers; ++n) {
        variance[std::size_t(n)] = float(n * n);
        meanAbs[std::size_t(n)] = float(7 - n);
    }
    const NoiseRatios ratios = ComputeNoiseRatios(meanAbs);
    const auto none = EstimatedThresholds(NoiseEstimator::None, 10, variance, meanAbs, ratios);
    const auto a = EstimatedThresholds(NoiseEstimator::A, 10, variance, meanAbs, ratios);
    const auto b = EstimatedThresholds(NoiseEstimator::B, 10, variance, meanAbs, ratios);
    const auto c = EstimatedThresholds(NoiseEstimator::C, 10, variance, meanAbs, ratios);
    const auto d = EstimatedThresholds(NoiseEstimator::D, 20, variance, meanAbs, ratios);
    EXPECT_FLOAT_EQ(none[3], 0);
    EXPECT_FLOAT_EQ(a[3], 9);
    EXPECT_NEAR(b[2], 1.0 / (5 + 0.0001), 1e-5);                 // meanAbs[6]^2 / meanAbs[2]
    EXPECT_NEAR(c[1], std::pow(2.0, 2.5) * 0.5 * 6, 1e-4);     // from layer 1's mean
    EXPECT_NEAR(c[6], 0.5 * 6, 1e-5);
    EXPECT_FLOAT_EQ(d[4], 6);  // factor 20 doubles the statistic
}

}  // namespace
}  // namespace talvenor
