#include <gtest/gtest.h>

#include <random>

#include "wavelets/histogram.h"

namespace talvenor {
namespace {

constexpr uint32_t kTeal = 0x008080, kRed = 0xFF0000, kGreenPen = 0x008000, kBluePen = 0x0000FF;
constexpr uint32_t kSilver = 0xC0C0C0, kWhite = 0xFFFFFF;

uint32_t At(const Bitmap24& b, int x, int y) { return RgbOf(b.Pixel(x, y)); }

ChannelHistograms Green(std::initializer_list<std::pair<int, int32_t>> bins) {
    ChannelHistograms h{};
    for (auto [bin, count] : bins) h[1][std::size_t(bin)] = count;
    return h;
}

TEST(HistogramScale, ThirdOfTheLargestThreeBinSumInsideTheClippedEnds) {
    struct Case {
        const char* what;
        ChannelHistograms h;
        int halfPeak, fullPeak;
    };
    ChannelHistograms blue{};
    blue[2][120] = 90;
    blue[2][121] = 30;
    ChannelHistograms ends{};
    for (auto& channel : ends) {
        channel[9] = channel[247] = 1'000'000;
        channel[0] = channel[255] = 2'000'000'000;
    }
    ChannelHistograms edge = ends;
    edge[0][10] = 300;  // bin 10 is a neighbour of i = 11, so it counts
    const Case cases[] = {
        {"all zero", ChannelHistograms{}, 1, 1},
        {"one bin: peak 300, p3 100", Green({{100, 300}}), 50, 100},
        {"neighbours add up, any channel", blue, 20, 40},
        {"half of 5 rounds to even", Green({{60, 15}}), 2, 5},
        {"bins 0..9 and 247..255 ignored", ends, 1, 1},
        {"bin 10 counted", edge, 50, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HistogramScale(c.h, false), c.halfPeak) << c.what;
        EXPECT_EQ(HistogramScale(c.h, true), c.fullPeak) << c.what;
    }
}

TEST(HistogramDrawing, CurvesGridAndMarkers) {
    // Every bin 10, bin 100 40: peak 60, so the scale is 10 (half peak) or 20 (full peak).
    ChannelHistograms h{};
    h[1].fill(10);
    h[1][100] = 40;
    Bitmap24 graph;
    DrawHistogram(graph, h, {}, HistogramState{}, 0, 255);
    ASSERT_EQ(graph.Width(), kHistographWidth);
    ASSERT_EQ(graph.Height(), kHistographHeight);
    // A count of 10 reaches the top; red and blue (all zero) lie on the bottom line.
    EXPECT_EQ(At(graph, 50 + 9, 0), kGreenPen);
    EXPECT_EQ(At(graph, 150 + 9, 250), kBluePen);
    // "Show peak": half the height.
    Bitmap24 full;
    DrawHistogram(full, h, {.showPeak = true}, HistogramState{}, 0, 255);
    EXPECT_EQ(At(full, 50 + 9, 125), kGreenPen);
    EXPECT_NE(At(full, 50 + 9, 0), kGreenPen);

    // Grid every 51 pixels from x = 9, lines every 50 down; white elsewhere.
    Bitmap24 empty;
    DrawHistogram(empty, ChannelHistograms{}, {}, HistogramState{}, 0, 255);
    EXPECT_EQ(At(empty, 51 * 2 + 9, 120), kSilver);
    EXPECT_EQ(At(empty, 50 * 2 + 9, 120), kWhite);
    EXPECT_EQ(At(empty, 200, 150), kSilver);
    EXPECT_EQ(At(empty, 200, 149), kWhite);
    // The markers: triangles under the graph at their lines (x = position - 4), with a grey
    // shadow below and to the right.
    EXPECT_EQ(At(empty, kLowMarkerHome - 4, 251), kTeal);
    EXPECT_EQ(At(empty, kHighMarkerHome - 4, 251), kRed);
    EXPECT_EQ(At(empty, kLowMarkerHome - 4 - 6, 258), kTeal);
    EXPECT_EQ(At(empty, kLowMarkerHome - 4 + 7, 259), 0x808080u);
    EXPECT_EQ(At(empty, kLowMarkerHome - 4, 120), kWhite);  // no line outside a drag
}

TEST(HistogramDrawing, SmoothedCurveIsAFiveBinMean) {
    // A single bin of 50: peak 50, p3 16; smoothed, the five bins around it show 10 each.
    const ChannelHistograms h = Green({{100, 50}});
    Bitmap24 plain, smooth;
    DrawHistogram(plain, h, {.showPeak = true}, HistogramState{}, 0, 255);
    DrawHistogram(smooth, h, {.showPeak = true, .smooth = true}, HistogramState{}, 0, 255);
    const int y = int(std::nearbyint(250 - 10.0 / 16 * 250));
    EXPECT_EQ(At(smooth, 98 + 9, y), kGreenPen);
    EXPECT_EQ(At(smooth, 102 + 9, y), kGreenPen);
    EXPECT_NE(At(plain, 98 + 9, y), kGreenPen);
}

TEST(HistogramDrawing, HugeSaturatedBinRunsOffTheTopWithoutHarm) {
    ChannelHistograms h{};
    for (auto& channel : h) channel[255] = 2'000'000'000;
    Bitmap24 graph;
    DrawHistogram(graph, h, {}, HistogramState{}, 0, 255);
    // Scale 1, so the last segment climbs through the whole graph.
    int blue = 0;
    for (int x = 255; x < 270; ++x) blue += At(graph, x, 5) == kBluePen;
    EXPECT_GE(blue, 1);
}

TEST(HistogramDrawing, TextsShowOneDecimal) {
    Bitmap24 a, b, c;
    DrawHistogram(a, {}, {}, HistogramState{}, 50.04f, 125.29f);
    DrawHistogram(b, {}, {}, HistogramState{}, 50.0f, 125.3f);
    DrawHistogram(c, {}, {}, HistogramState{}, 50.0f, 125.4f);
    EXPECT_EQ(a, b);
    EXPECT_NE(b, c);
}

TEST(HistogramDrawing, DragShowsMarkerLinesOnA50PixelGrid) {
    HistogramState st;
    st.LowPos = 64;
    st.HighPos = 214;
    Bitmap24 drag;
    DrawMarkerDrag(drag, ChannelHistograms{}, {}, st);
    EXPECT_EQ(At(drag, 64 - 4, 120), kTeal);
    EXPECT_EQ(At(drag, 214 - 4, 120), kRed);
    EXPECT_EQ(At(drag, 214 - 4, 254), kRed);
    EXPECT_EQ(At(drag, 50 * 2 + 9, 120), kSilver);
    EXPECT_EQ(At(drag, 51 * 2 + 9, 120), kWhite);
}

TEST(HistogramMarkers, DragRules) {
    struct Case {
        const char* what;
        int low, high, x, y;
        bool inside;
        int newLow, newHigh;
    };
    const Case cases[] = {
        {"left of the graph", 15, 270, 6, 255, false, 15, 270},
        {"right of the graph", 15, 270, 263, 255, false, 15, 270},
        {"high marker to bin 200", 15, 230, 207, 255, true, 15, 214},
        {"low marker to bin 50", 50, 214, 57, 255, true, 64, 214},
        {"above the marker strip", 15, 270, 260, 200, true, 15, 270},
        {"nearer the low one", 100, 150, 120, 250, true, 127, 150},
        {"high close to low pushes it", 100, 125, 105, 250, true, 96, 112},
        {"high 16 apart stays", 100, 116, 110, 250, true, 100, 116},
        {"high follows to the right", 100, 130, 140, 250, true, 100, 147},
        {"low to the left limit: bin 0", 20, 100, 7, 250, true, 14, 100},
        {"high stops where low stays on the graph", 14, 31, 7, 250, true, 14, 30},
    };
    for (const Case& c : cases) {
        HistogramState st;
        st.LowPos = c.low;
        st.HighPos = c.high;
        float lo = -1, hi = -1;
        EXPECT_EQ(DragMarker(st, c.x, c.y, lo, hi), c.inside) << c.what;
        EXPECT_EQ(st.LowPos, c.newLow) << c.what;
        EXPECT_EQ(st.HighPos, c.newHigh) << c.what;
        if (c.inside) {
            EXPECT_FLOAT_EQ(lo, float(c.newLow - 14)) << c.what;
            EXPECT_FLOAT_EQ(hi, float(c.newHigh - 14)) << c.what;
        } else {
            EXPECT_EQ(lo, -1) << c.what;
        }
    }
}

TEST(HistogramMarkers, AnyDragKeepsThemApartAndOnTheGraph) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, 280), y(190, 259);
    HistogramState st;
    float lo = 0, hi = 255;
    for (int i = 0; i < 5000; ++i) {
        DragMarker(st, x(random), y(random), lo, hi);
        ASSERT_GE(st.HighPos - st.LowPos, 15) << i;
        ASSERT_GE(st.LowPos, 14) << i;
        ASSERT_LE(st.HighPos, kHighMarkerHome) << i;
        ASSERT_GT(hi, lo) << i;
        if (i % 500 == 0) StretchToMarkers(st, lo, hi);
    }
}

TEST(HistogramStretch, RepeatedStretchesNarrowTheRange) {
    HistogramState st;
    float lo = 0, hi = 255;
    // Markers at bins 50 and 200.
    st.LowPos = 50 + 14;
    st.HighPos = 200 + 14;
    StretchToMarkers(st, lo, hi);
    EXPECT_FLOAT_EQ(lo, 50);
    EXPECT_FLOAT_EQ(hi, 200);
    EXPECT_EQ(st.LowPos, kLowMarkerHome);
    EXPECT_EQ(st.HighPos, kHighMarkerHome);
    EXPECT_FLOAT_EQ(st.HistRangeLo, 50);
    EXPECT_FLOAT_EQ(st.HistRangeHi, 200);
    // Then bins 1 and 128 of the new graph, dragged there.
    st.HighPos = 150;
    ASSERT_TRUE(DragMarker(st, 128 + 14 - 7, 255, lo, hi));
    EXPECT_EQ(st.HighPos, 128 + 14);
    // Dragging after a stretch sets the levels the markers show, not their bin numbers.
    EXPECT_NEAR(hi, 125.29, 0.01);
    EXPECT_NEAR(lo, 50.59, 0.01);
    StretchToMarkers(st, lo, hi);
    EXPECT_NEAR(lo, 50.59, 0.01);
    EXPECT_NEAR(hi, 125.29, 0.01);

    ResetStretch(st, lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 255);
    EXPECT_EQ(st.HistRangeLo, 0);
    EXPECT_EQ(st.HistRangeHi, 255);
    EXPECT_EQ(st.HighPos, kHighMarkerHome);
}

TEST(HistogramStretch, StopsNarrowingAtOneLevel) {
    HistogramState st;
    float lo = 0, hi = 255;
    for (int i = 0; i < 20; ++i) {
        st.LowPos = 100;
        st.HighPos = 115;
        StretchToMarkers(st, lo, hi);
    }
    EXPECT_GE(hi - lo, kNarrowestStretch);
    EXPECT_LT(hi - lo, kNarrowestStretch * 255 / 15);
    EXPECT_FLOAT_EQ(st.HistRangeHi - st.HistRangeLo, hi - lo);
}

TEST(HistogramStretch, StretchWithoutMovingShiftsByOneBin) {
    HistogramState st;
    float lo = 0, hi = 255;
    StretchToMarkers(st, lo, hi);
    EXPECT_FLOAT_EQ(lo, 1);
    EXPECT_FLOAT_EQ(hi, 256);
}

}  // namespace
}  // namespace talvenor
