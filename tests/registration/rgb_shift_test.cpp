#include "registration/rgb_shift.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

constexpr int kW = 200, kH = 160;

// A texture without repeats, defined everywhere (margins and negative positions included),
// so a moved copy is exact up to the plane's edge.
float Texture(int x, int y) {
    uint32_t v = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return float(v % 4096u) * 0.0625f;
}

// Every addressable sample of the plane, margins included.
template <class F>
void FillPlane(Single2dArray& p, F value) {
    for (int y = 0; y < p.Rows(); ++y)
        for (int x = 0; x < p.Stride(); ++x) p.Put(x, y, value(x, y));
}

struct RgbShiftTest : ::testing::Test {
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore settings;
    AppContext c{ws, form, host, settings};

    // Planes sized as the stacker sizes them for a w x h stack.
    void MakeStack(int w, int h) {
        ws.ImageWidth = w;
        ws.ImageHeight = h;
        for (auto& p : ws.StackSum) p.Create(w + 10, h + 10);
        for (auto& p : ws.ResultPlanes) p.Create(w + 10, h + 10);
    }

    // Channel values that tell channels and positions apart; the working planes hold a stale
    // value that no stacked sample has.
    void FillDistinctChannels() {
        FillPlane(ws.StackSum[0], [](int x, int y) { return float(1 + x + 256 * y); });
        FillPlane(ws.StackSum[1], [](int x, int y) { return float(100000 + x + 256 * y); });
        FillPlane(ws.StackSum[2], [](int x, int y) { return float(200000 + x + 256 * y); });
        FillPlane(ws.StackSum[3], [](int x, int y) { return float(300000 + x + 256 * y); });
        for (auto& p : ws.ResultPlanes) p.Fill(-7.0f);
    }

    void SetSpins(double rdx, double rdy, double bdx, double bdy) {
        form.RDXSpin.Value = rdx;
        form.RdySpin.Value = rdy;
        form.BDXspin.Value = bdx;
        form.BDYSpin.Value = bdy;
        ShiftsFromSpins(ws, form);
    }
};

// --- Working planes

TEST_F(RgbShiftTest, ColourPlanesTakeTheShiftedChannelsAndZeroOutside) {
    constexpr int w = 40, h = 30;
    struct Case {
        double rdx, rdy, bdx, bdy;
        // Output (x, y) of the red and blue planes comes from (x + dxR, y + dyR) ...
        int dxR, dyR, dxB, dyB;
    } cases[] = {
        {0, 0, 0, 0, 0, 0, 0, 0},
        {2, 0, 0, 0, -2, 0, 0, 0},    // content moves right: red at x comes from x - 2
        {0, 2, 0, 0, 0, 2, 0, 0},     // content moves up: red at y comes from y + 2
        {0, 0, -3, -1, 0, 0, 3, -1},
        {5, -4, 1, 7, -5, -4, -1, 7},
        {45, 0, 0, -31, -45, 0, 0, -31},  // farther than the image: nothing inside
    };
    MakeStack(w, h);
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "spins " << k.rdx << " " << k.rdy << " " << k.bdx << " " << k.bdy);
        FillDistinctChannels();
        SetSpins(k.rdx, k.rdy, k.bdx, k.bdy);
        BuildWorkingPlanes(ws, true, false, false);
        auto expected = [&](int c, int x, int y, int dx, int dy) {
            const int sx = x + dx, sy = y + dy;
            return sx >= 0 && sx < w && sy >= 0 && sy < h ? ws.StackSum[std::size_t(c)].Get(sx, sy) : 0.0f;
        };
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                wrong += ws.ResultPlanes[1].Get(x, y) != ws.StackSum[1].Get(x, y);
                wrong += ws.ResultPlanes[0].Get(x, y) != expected(0, x, y, k.dxR, k.dyR);
                wrong += ws.ResultPlanes[2].Get(x, y) != expected(2, x, y, k.dxB, k.dyB);
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(RgbShiftTest, MonochromeCopiesGreenOneColumnAndRowPastTheImage) {
    constexpr int w = 40, h = 30;
    MakeStack(w, h);
    FillDistinctChannels();
    SetSpins(3, -2, 1, 1);  // ignored without colour
    BuildWorkingPlanes(ws, false, false, false);
    int wrong = 0;
    for (int y = 0; y <= h; ++y)
        for (int x = 0; x <= w; ++x) wrong += ws.ResultPlanes[1].Get(x, y) != ws.StackSum[1].Get(x, y);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ws.ResultPlanes[1].Get(w + 1, 0), -7.0f);
    EXPECT_EQ(ws.ResultPlanes[0].Get(3, 3), -7.0f);
    EXPECT_EQ(ws.ResultPlanes[2].Get(3, 3), -7.0f);
}

TEST_F(RgbShiftTest, LrgbLuminanceMixesTheShiftedChannels) {
    constexpr int w = 40, h = 30;
    struct Case {
        int redShiftX, redShiftY, blueShiftX, blueShiftY;
        bool luminancePlane;
    } cases[] = {
        {0, 0, 0, 0, false},
        {3, 0, 0, -2, false},
        {-50, 0, 0, 40, false},  // both channels entirely outside: green alone
        {3, 1, 2, 2, true},      // the separate luminance stack, unshifted
    };
    MakeStack(w, h);
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.redShiftX << " " << k.redShiftY << " " << k.blueShiftX << " "
                                          << k.blueShiftY << " luminance " << k.luminancePlane);
        FillDistinctChannels();
        ws.RedShiftX = k.redShiftX;
        ws.RedShiftY = k.redShiftY;
        ws.BlueShiftX = k.blueShiftX;
        ws.BlueShiftY = k.blueShiftY;
        BuildWorkingPlanes(ws, true, true, k.luminancePlane);
        auto inside = [&](int x, int y) { return x >= 0 && x < w && y >= 0 && y < h; };
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float l = ws.StackSum[3].Get(x, y);
                if (!k.luminancePlane) {
                    l = 0.587f * ws.StackSum[1].Get(x, y);
                    const int rx = x + k.redShiftX, ry = y + k.redShiftY;
                    const int bx = x + k.blueShiftX, by = y + k.blueShiftY;
                    if (inside(rx, ry)) l = l + 0.299f * ws.StackSum[0].Get(rx, ry);
                    if (inside(bx, by)) l = l + 0.114f * ws.StackSum[2].Get(bx, by);
                }
                wrong += ws.ResultPlanes[1].Get(x, y) != l;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(ws.ResultPlanes[0].Get(3, 3), -7.0f);  // colour comes from elsewhere with LRGB
    }
}

TEST_F(RgbShiftTest, NothingStackedLeavesEverythingAlone) {
    ws.ImageWidth = kW;
    ws.ImageHeight = kH;
    ws.AlignX = 100;
    ws.AlignY = 80;
    for (bool colour : {false, true})
        for (bool lrgb : {false, true}) BuildWorkingPlanes(ws, colour, lrgb, false);
    EXPECT_FALSE(ws.ResultPlanes[1].Allocated());

    form.RDXSpin.Value = 4;
    EstimateChannelShifts(c);
    EXPECT_EQ(form.RDXSpin.Value, 0.0);
    EXPECT_EQ(ws.RedShiftX, 0);
    EXPECT_FALSE(form.MessageWindow.Visible);
}

TEST_F(RgbShiftTest, SpinsGiveShiftsRoundedToEven) {
    struct Case {
        double rdx, rdy, bdx, bdy;
        int redX, redY, blueX, blueY;
    } cases[] = {
        {0, 0, 0, 0, 0, 0, 0, 0},
        {2, 0, 0, 0, -2, 0, 0, 0},
        {0, 2, 0, 0, 0, 2, 0, 0},
        {0, 0, -3, 1, 0, 0, 3, 1},
        {2.5, -1.5, 0.5, -0.5, -2, -2, 0, 0},
        {3.5, 2.4, -2.6, 2.6, -4, 2, 3, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << k.rdx << " " << k.rdy << " " << k.bdx << " " << k.bdy);
        SetSpins(k.rdx, k.rdy, k.bdx, k.bdy);
        EXPECT_EQ(ws.RedShiftX, k.redX);
        EXPECT_EQ(ws.RedShiftY, k.redY);
        EXPECT_EQ(ws.BlueShiftX, k.blueX);
        EXPECT_EQ(ws.BlueShiftY, k.blueY);
    }
}

// --- Estimation area

TEST_F(RgbShiftTest, EstimationAreaFollowsTheStackGridAndKeepsTheMarginInside) {
    struct Case {
        const char* what;
        int alignX, alignY, box, w, h;
        bool resampled;
        double factor;
        bool drizzled;
        ShiftArea expected;
    } cases[] = {
        {"half the box", 100, 80, 64, 200, 160, false, 2.0, false, {100, 80, 32}},
        {"resampled", 100, 80, 64, 400, 320, true, 2.0, false, {200, 160, 64}},
        {"resampled, ties to even", 103, 81, 64, 400, 300, true, 1.5, false, {154, 122, 48}},
        {"drizzled", 100, 80, 64, 399, 319, false, 2.0, true, {200, 160, 64}},
        {"drizzle wins over resample", 100, 80, 64, 399, 319, true, 3.0, true, {200, 160, 64}},
        {"capped", 1000, 1000, 512, 2000, 2000, false, 2.0, false, {1000, 1000, 128}},
        {"right edge", 150, 80, 64, 200, 160, false, 2.0, false, {150, 80, 20}},
        {"bottom edge", 100, 120, 64, 200, 160, false, 2.0, false, {100, 120, 10}},
        {"left edge", 50, 80, 64, 200, 160, false, 2.0, false, {50, 80, 20}},
        {"top edge", 100, 40, 64, 200, 160, false, 2.0, false, {100, 40, 10}},
        {"margin touches the edge", 62, 80, 64, 200, 160, false, 2.0, false, {62, 80, 32}},
        {"no room for the margin", 20, 80, 64, 200, 160, false, 2.0, false, {20, 80, -10}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ws.AlignX = k.alignX;
        ws.AlignY = k.alignY;
        ws.AlignBoxSize = k.box;
        ws.ImageWidth = k.w;
        ws.ImageHeight = k.h;
        form.Resampled.Checked = k.resampled;
        form.ResampleSpin.Value = k.factor;
        form.Drizzling.Checked = k.drizzled;
        const ShiftArea a = EstimationArea(ws, form);
        EXPECT_EQ(a.cx, k.expected.cx);
        EXPECT_EQ(a.cy, k.expected.cy);
        EXPECT_EQ(a.h, k.expected.h);
    }
}

TEST_F(RgbShiftTest, AreaIsDrawnInExclusiveOrWithoutFill) {
    Bitmap24 picture(kW, kH);
    const ShiftArea a{100, 80, 20};
    DrawEstimationArea(picture, a);
    auto at = [&](int x, int y) { return RgbOf(picture.Pixel(x, y)); };
    EXPECT_EQ(at(80, 60), 0x008000u);   // green square, corners (80, 60)-(120, 100)
    EXPECT_EQ(at(119, 99), 0x008000u);
    EXPECT_EQ(at(120, 80), 0x000000u);
    EXPECT_EQ(at(100, 80), 0x000000u);  // not filled
    EXPECT_EQ(at(50, 30), 0xFFFF00u);   // yellow square 30 pixels larger
    EXPECT_EQ(at(149, 129), 0xFFFF00u);
    EXPECT_EQ(at(65, 45), 0x000000u);
    DrawEstimationArea(picture, a);
    EXPECT_EQ(picture, Bitmap24(kW, kH));
}

// --- The search

// E(dx, dy) one value at a time, in the order the search defines.
float PlainMismatch(const Single2dArray& g, const Single2dArray& o, const ShiftArea& a, int dx, int dy) {
    float e = 0;
    for (int i = -a.h; i <= a.h; ++i)
        for (int j = -a.h; j <= a.h; ++j) {
            const float d = g.Get(a.cx + i, a.cy + j) - o.Get(a.cx + i + dx, a.cy + j + dy);
            e += d * d;
        }
    return e;
}

TEST_F(RgbShiftTest, MismatchEqualsThePlainSumBitForBit) {
    MakeStack(120, 110);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> level(0.0f, 255.0f);
    FillPlane(ws.StackSum[1], [&](int, int) { return level(rng); });
    FillPlane(ws.StackSum[0], [&](int, int) { return level(rng); });
    for (const ShiftArea a : {ShiftArea{60, 55, 0}, ShiftArea{60, 55, 9}, ShiftArea{41, 38, 8}, ShiftArea{59, 54, 24}}) {
        SCOPED_TRACE(::testing::Message() << "h " << a.h);
        const std::vector<float> e = ChannelMismatch(ws.StackSum[1], ws.StackSum[0], a, {});
        ASSERT_EQ(e.size(), 61u * 61u);
        int wrong = 0;
        for (int dx = -30; dx <= 30; ++dx)
            for (int dy = -30; dy <= 30; ++dy)
                wrong += e[std::size_t(dx + 30) * 61 + std::size_t(dy + 30)] !=
                         PlainMismatch(ws.StackSum[1], ws.StackSum[0], a, dx, dy);
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(RgbShiftTest, SmallestMismatchKeepsZeroOnTiesElseTheFirstInScanOrder) {
    auto index = [](int dx, int dy) { return std::size_t(dx + 30) * 61 + std::size_t(dy + 30); };
    struct Case {
        const char* what;
        std::vector<std::pair<std::pair<int, int>, float>> lows;  // values below the flat 5
        float atZero;
        std::pair<int, int> expected;
    } cases[] = {
        {"flat", {}, 5, {0, 0}},
        {"zero ties the lowest", {{{-30, -30}, 1}, {{4, 2}, 1}}, 1, {0, 0}},
        {"first strict minimum", {{{2, -1}, 1}, {{-3, 4}, 1}}, 5, {-3, 4}},
        {"same dx, smaller dy first", {{{-3, 9}, 1}, {{-3, 4}, 1}}, 5, {-3, 4}},
        {"the lowest wins", {{{-3, 4}, 2}, {{30, 30}, 0.5f}}, 5, {30, 30}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::vector<float> e(61 * 61, 5.0f);
        for (const auto& [at, v] : k.lows) e[index(at.first, at.second)] = v;
        e[index(0, 0)] = k.atZero;
        EXPECT_EQ(SmallestMismatch(e), k.expected);
    }
}

TEST_F(RgbShiftTest, EqualImagesAndEmptyAreasKeepZero) {
    MakeStack(kW, kH);
    struct Case {
        const char* what;
        float (*green)(int, int);
        float (*other)(int, int);
        ShiftArea area;
    } cases[] = {
        {"flat", [](int, int) { return 7.0f; }, [](int, int) { return 7.0f; }, {100, 80, 32}},
        // Every horizontal offset matches exactly; the scan meets dx = -30 first.
        {"rows of one value", [](int, int y) { return Texture(0, y); }, [](int, int y) { return Texture(0, y); },
         {100, 80, 32}},
        // Moved copies that a usable area would find at (5, 3).
        {"negative half side", Texture, [](int x, int y) { return Texture(x - 5, y - 3); }, {20, 80, -10}},
        {"outside the planes", Texture, [](int x, int y) { return Texture(x - 5, y - 3); }, {190, 80, 32}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        FillPlane(ws.StackSum[1], k.green);
        FillPlane(ws.StackSum[0], k.other);
        EXPECT_EQ(BestChannelOffset(ws.StackSum[1], ws.StackSum[0], k.area, {}), std::make_pair(0, 0));
    }
    // The moved copy is found where the area fits.
    EXPECT_EQ(BestChannelOffset(ws.StackSum[1], ws.StackSum[0], ShiftArea{100, 80, 32}, {}), std::make_pair(5, 3));
}

TEST_F(RgbShiftTest, ProgressRunsOnTheCallingThreadOncePerColumnAtMost) {
    MakeStack(kW, kH);
    FillPlane(ws.StackSum[1], Texture);
    FillPlane(ws.StackSum[0], Texture);
    for (const ShiftArea a : {ShiftArea{100, 80, 12}, ShiftArea{100, 80, -3}}) {
        SCOPED_TRACE(::testing::Message() << "h " << a.h);
        std::vector<int> seen;
        bool otherThread = false;
        const auto caller = std::this_thread::get_id();
        BestChannelOffset(ws.StackSum[1], ws.StackSum[0], a, [&](int columns) {
            seen.push_back(columns);
            otherThread |= std::this_thread::get_id() != caller;
        });
        EXPECT_FALSE(otherThread);
        ASSERT_FALSE(seen.empty());
        EXPECT_LE(seen.size(), 61u);
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_GE(seen.front(), 1);
        EXPECT_EQ(seen.back(), 61);
    }
}

// A stack whose red is green moved 3 right and 1 down, and blue green moved 2 left and 2 up.
TEST_F(RgbShiftTest, EstimateFindsTheChannelOffsetsAndTheShiftAlignsThem) {
    MakeStack(kW, kH);
    FillPlane(ws.StackSum[1], Texture);
    FillPlane(ws.StackSum[0], [](int x, int y) { return Texture(x - 3, y - 1); });
    FillPlane(ws.StackSum[2], [](int x, int y) { return Texture(x + 2, y + 2); });
    ws.AlignX = 100;
    ws.AlignY = 80;
    ws.AlignBoxSize = 64;
    ws.LayersStale = false;
    form.ProcessImage.Image.SetSize(kW, kH);
    form.RGBShiftWindow.Left = 300;
    form.RGBShiftWindow.Top = 40;
    form.RGBShiftWindow.Width = 260;

    EstimateChannelShifts(c);

    EXPECT_EQ(form.RDXSpin.Value, -3.0);
    EXPECT_EQ(form.RdySpin.Value, 1.0);
    EXPECT_EQ(form.BDXspin.Value, 2.0);
    EXPECT_EQ(form.BDYSpin.Value, -2.0);
    EXPECT_EQ(ws.RedShiftX, 3);
    EXPECT_EQ(ws.RedShiftY, 1);
    EXPECT_EQ(ws.BlueShiftX, -2);
    EXPECT_EQ(ws.BlueShiftY, -2);
    EXPECT_TRUE(ws.LayersStale);
    EXPECT_FALSE(form.MessageWindow.Visible);
    EXPECT_EQ(form.MessageWindow.Left, 561);
    EXPECT_EQ(form.MessageWindow.Top, 40);
    EXPECT_EQ(form.MessageWinlabel.Caption, "Search Blue ");
    EXPECT_EQ(form.Progressgraph.Progress, 100);
    EXPECT_EQ(RgbOf(form.ProcessImage.Image.Pixel(68, 48)), 0x008000u);  // the area, h = 32

    BuildWorkingPlanes(ws, true, false, false);
    int wrong = 0;
    for (int y = 2; y < kH - 2; ++y)
        for (int x = 3; x < kW - 3; ++x) {
            wrong += ws.ResultPlanes[0].Get(x, y) != ws.ResultPlanes[1].Get(x, y);
            wrong += ws.ResultPlanes[2].Get(x, y) != ws.ResultPlanes[1].Get(x, y);
        }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace talvenor
