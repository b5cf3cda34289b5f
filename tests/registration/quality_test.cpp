#include "registration/quality.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "workspace/canvas.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kGrey = 0xC0C0C0;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x008000, kBlue = 0x0000FF;

uint32_t At(const Picture& p, int x, int y) { return RgbOf(p.Image.Pixel(x, y)); }

struct QualityTest : ::testing::Test {
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore settings;
    AppContext c{ws, form, host, settings};
    std::unique_ptr<FftEngine> fft = std::make_unique<FftEngine>();

    // Bin i holds i + 1 over the bins the quality looks at (total 1326), and a value of 7
    // beyond them that must never count.
    void FillSpectrum() {
        for (int i = 0; i < 256; ++i) fft->RadialSpectrum[std::size_t(i)] = i <= 50 ? float(i + 1) : 7.0f;
        fft->RadialSpectrumMax = 51;
    }

    void SetRanking(const std::vector<int>& frames, const std::vector<float>& qualities) {
        for (std::size_t r = 0; r < frames.size(); ++r) {
            ws.Ranking[r].FrameIndex = frames[r];
            ws.Ranking[r].RankQuality = qualities[r];
        }
    }
};

TEST_F(QualityTest, BandShareOfTheFirstFiftyOneBinsTimesContrast) {
    struct Case {
        int qf, dx;
        bool contrast;
        float alignDifference;
        double expected;
    } cases[] = {
        {12, 5, false, 1.0f, (14 + 15 + 16 + 17) / 1326.0},  // bins 13..16
        {12, 1, false, 1.0f, 0.0},                          // empty band
        {50, 5, false, 1.0f, 0.0},                          // band past the bins used
        {60, 5, false, 1.0f, 0.0},
        {49, 5, false, 1.0f, 51 / 1326.0},                  // only bin 50 is inside
        {0, 3, false, 1.0f, (2 + 3) / 1326.0},              // bins 1..2
        {12, 5, true, 0.0f, 0.0},                           // uniform box
        {12, 5, true, 0.5f, 0.5 * 62 / 1326.0},
    };
    FillSpectrum();
    ws.CurrentFrame = 3;
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "QF " << k.qf << " DX " << k.dx << " contrast " << k.contrast);
        form.QualityFilter.Value = k.qf;
        form.QualFilterDX.Value = k.dx;
        form.Contrast.Checked = k.contrast;
        ws.Frames[3].AlignDifference = k.alignDifference;
        const float q = MeasureQuality(c, *fft);
        EXPECT_FLOAT_EQ(q, float(k.expected));
        EXPECT_EQ(ws.Frames[3].Quality, q);
    }
}

TEST_F(QualityTest, FieldRuleChoosesTheRecord) {
    struct Case {
        bool interlaced;
        int field;
        bool writesA;
    } cases[] = {{false, 0, false}, {false, 1, false}, {true, 0, true}, {true, 1, false}};
    FillSpectrum();
    ws.CurrentFrame = 7;
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "interlaced " << k.interlaced << " field " << k.field);
        ws.Frames[7].Quality = ws.Frames[7].QualityA = -1;
        form.Interlaced.Checked = k.interlaced;
        ws.FieldIndex = k.field;
        const float q = MeasureQuality(c, *fft);
        EXPECT_EQ(ws.Frames[7].QualityA, k.writesA ? q : -1.0f);
        EXPECT_EQ(ws.Frames[7].Quality, k.writesA ? -1.0f : q);
    }
}

TEST_F(QualityTest, DegenerateSpectraAndFramesAreHandledSafely) {
    // All zero (a uniform box), a spectrum above a stale maximum, and a frame outside the table.
    fft->RadialSpectrum.fill(0);
    fft->RadialSpectrumMax = 0;
    EXPECT_EQ(MeasureQuality(c, *fft), 0.0f);
    fft->RadialSpectrum.fill(5);
    fft->RadialSpectrum[3] = -5;
    ws.CurrentFrame = kMaxFrames;
    EXPECT_FLOAT_EQ(MeasureQuality(c, *fft), 20.0f / 245.0f);
}

TEST_F(QualityTest, SpectrumGraphShowsCurveBandLinesAndQualityText) {
    FillSpectrum();
    form.QualityFilter.Value = 12;
    form.QualFilterDX.Value = 5;
    for (bool filter : {true, false}) {
        SCOPED_TRACE(filter ? "filter on" : "filter off");
        form.FFTFilter.Checked = filter;
        form.FFTFilterspin.Value = 10;
        const int repaints = host.RepaintCount;
        MeasureQuality(c, *fft);
        EXPECT_EQ(host.RepaintCount, repaints + 1);
        const Picture& g = form.imgGraph;
        ASSERT_EQ(g.Image.Width(), 300);
        ASSERT_EQ(g.Image.Height(), 250);
        // Band lines two pixels wide at 12 * 6 + 1 and 17 * 6 + 1 (step = 300 div 50).
        for (int x : {72, 73, 102, 103}) EXPECT_EQ(At(g, x, 100), kGreen) << x;
        // The filter line at 10 * 6 + 1 lies on a grid line, which shows when it is off.
        EXPECT_EQ(At(g, 61, 100), filter ? kBlue : kGrey);
        EXPECT_EQ(At(g, 60, 100), filter ? kBlue : kWhite);
        // The curve starts near the bottom: bin 0 is 1/51 of the maximum (about 5 pixels).
        bool red = false;
        for (int y = 235; y < 250; ++y) red = red || At(g, 4, y) == kRed;
        EXPECT_TRUE(red);
    }

    // The quality text: drawing the expected text again changes nothing, a near miss does.
    const auto redrawn = [&](const std::string& text) {
        Bitmap24 copy = form.imgGraph.Image;
        Canvas canvas(copy);
        canvas.Font.Colour = kBlack;
        canvas.TextOut(150, 17, text);
        return copy == form.imgGraph.Image;
    };
    EXPECT_TRUE(redrawn("quality :0.04676"));  // 62 / 1326
    EXPECT_FALSE(redrawn("quality :0.04675"));
    EXPECT_FALSE(redrawn("quality : 0.04676"));
    form.QualFilterDX.Value = 1;
    MeasureQuality(c, *fft);
    EXPECT_TRUE(redrawn("quality :0.00000"));
}

TEST_F(QualityTest, ClearGraphDrawsFrameAndGrid) {
    for (Picture* p : {&form.imgGraph, &form.StackGraph}) {
        SCOPED_TRACE(p->Name);
        p->Image.SetSize(10, 10);  // a stale size is replaced by the control's
        ClearGraph(*p);
        const int w = p->Width, h = p->Height;
        ASSERT_EQ(p->Image.Width(), w);
        ASSERT_EQ(p->Image.Height(), h);
        for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}, {w / 2, 0}, {0, h / 2}})
            EXPECT_EQ(At(*p, x, y), kBlack) << x << "," << y;
        // Horizontal lines at h - (h div 10) i - 2, vertical ones at (w div 10) i + 1.
        for (int i = 0; i <= 10; ++i) {
            const int y = h - (h / 10) * i - 2, x = (w / 10) * i + 1;
            if (y >= 1) {
                EXPECT_EQ(At(*p, 5, y), kGrey) << "row " << y;
            }
            if (x < w - 1) {
                EXPECT_EQ(At(*p, x, 5 + (h / 10) / 2), kGrey) << "column " << x;
            }
        }
        EXPECT_EQ(At(*p, 5, 5), kWhite);
        EXPECT_EQ(At(*p, w / 10 + 5, h - 2 - h / 20), kWhite);
    }
}

TEST_F(QualityTest, SortRankingIsStableDescendingAndLeavesStackValues) {
    ws.LastFrame = 3;
    SetRanking({0, 1, 2, 3}, {0.5f, 0.9f, 0.9f, 0.1f});
    for (int r = 0; r < 5; ++r) ws.Ranking[std::size_t(r)].StackValue = float(10 + r);
    ws.Ranking[4] = {4, 5.0f, 14.0f};  // beyond LastFrame: untouched
    SortRanking(ws);
    const int frames[] = {1, 2, 0, 3, 4};
    const float qualities[] = {0.9f, 0.9f, 0.5f, 0.1f, 5.0f};
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(ws.Ranking[std::size_t(r)].FrameIndex, frames[r]) << r;
        EXPECT_EQ(ws.Ranking[std::size_t(r)].RankQuality, qualities[r]) << r;
        EXPECT_EQ(ws.Ranking[std::size_t(r)].StackValue, float(10 + r)) << r;
    }
}

TEST_F(QualityTest, SortRankingMatchesAdjacentSwapSortWithManyTies) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> level(0, 6);
    ws.LastFrame = 400;
    std::vector<RankEntry> expected(401);
    for (int k = 0; k <= 400; ++k) {
        // Frames in shuffled order with few distinct qualities (excluded frames keep 0).
        expected[std::size_t(k)] = {(k * 37) % 401, level(gen) * 0.125f, 0};
        ws.Ranking[std::size_t(k)] = expected[std::size_t(k)];
    }
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (std::size_t i = 0; i + 1 < expected.size(); ++i)
            if (expected[i].RankQuality < expected[i + 1].RankQuality) {
                std::swap(expected[i], expected[i + 1]);
                swapped = true;
            }
    }
    SortRanking(ws);
    for (int k = 0; k <= 400; ++k) {
        ASSERT_EQ(ws.Ranking[std::size_t(k)].FrameIndex, expected[std::size_t(k)].FrameIndex) << k;
        ASSERT_EQ(ws.Ranking[std::size_t(k)].RankQuality, expected[std::size_t(k)].RankQuality) << k;
    }
}

TEST_F(QualityTest, GoodRankIsAPercentageOfTheBest) {
    struct Case {
        float best, quality;
        double percent;
        bool good;
    } cases[] = {
        {1.0f, 0.81f, 80, true},   {1.0f, 0.79f, 80, false},
        {1.0f, 0.8f, 80, false},   // the guard on the best quality tips an exact 80 % below
        {2.0f, 1.71f, 85, true},    {1.0f, 0.0f, 0, true},
        {0.0f, 0.0f, 5, false},    // no quality at all: only 0 % passes
        {1.0f, 0.5f, 100, false},
    };
    for (const Case& k : cases) {
        SetRanking({0, 1}, {k.best, k.quality});
        EXPECT_EQ(IsGoodRank(ws, 1, k.percent), k.good) << k.best << " " << k.quality << " " << k.percent;
    }
    EXPECT_FALSE(IsGoodRank(ws, -1, 0));
    EXPECT_FALSE(IsGoodRank(ws, kMaxFrames, 0));
}

TEST_F(QualityTest, AlignAndStackCutKeepsTheLastGoodRank) {
    struct Case {
        std::vector<float> qualities;
        int cut;
    } cases[] = {
        {{1.0f, 0.9f, 0.85f, 0.5f, 0.4f}, 2},
        {{1.0f, 0.5f, 0.4f}, 2},  // the last rank is never cut away
        {{1.0f, 0.5f, 0.4f, 0.3f}, 1},
        {{1.0f, 0.1f}, 1},
        {{1.0f, 0.9f, 0.9f, 0.9f}, 3},
        {{1.0f}, 0},
    };
    for (const Case& k : cases) {
        std::vector<int> frames(k.qualities.size());
        SetRanking(frames, k.qualities);
        EXPECT_EQ(AlignAndStackCut(ws, int(k.qualities.size()), 0.8), k.cut) << k.qualities.size();
    }
    EXPECT_EQ(AlignAndStackCut(ws, 0, 0.8), 0);
}

TEST_F(QualityTest, RankGraphDrawsBothCurvesDottedFromTheFirstPoorRank) {
    // Ranks 0..4 show frames 4, 2, 0, 1, 3; at 80 % rank 2 is the first poor one.
    SetRanking({4, 2, 0, 1, 3}, {1.0f, 0.9f, 0.5f, 0.4f, 0.3f});
    const float difference[] = {0.1f, 0.1f, 0.1f, 1.0f, 0.1f};  // by frame: the largest at rank 4
    for (int f = 0; f < 5; ++f) ws.Frames[std::size_t(f)].Difference = difference[f];
    form.AlignSlider.MaxValue = 4;
    form.OptimizeQualitySpin.Value = 80;
    form.differencecutslider.Value = 20;
    DrawRankGraph(c);
    const Picture& g = form.imgGraph;
    const auto count = [&](uint32_t colour, int x0, int x1, int y0, int y1, bool byColumn) {
        int lines = 0;
        for (int a = byColumn ? x0 : y0; a <= (byColumn ? x1 : y1); ++a) {
            bool hit = false;
            for (int b = byColumn ? y0 : x0; b <= (byColumn ? y1 : x1); ++b)
                hit = hit || At(g, byColumn ? a : b, byColumn ? b : a) == colour;
            lines += hit;
        }
        return lines;
    };
    // Quality: (0, 0) -> (75, 25) solid, -> (150, 125) dotted.
    EXPECT_EQ(count(kRed, 0, 74, 0, 25, true), 75);
    const int dottedRows = count(kRed, 75, 150, 30, 120, false);
    EXPECT_GT(dottedRows, 30);
    EXPECT_LT(dottedRows, 65);
    // Difference: 0.1 of the largest is y = 225; solid to rank 1, dotted after it.
    for (int x = 0; x < 75; ++x) EXPECT_EQ(At(g, x, 225), kBlue) << x;
    const int dotted = count(kBlue, 75, 149, 225, 225, true);
    EXPECT_GT(dotted, 30);
    EXPECT_LT(dotted, 45);
    // The difference cut at 20 %.
    EXPECT_EQ(At(g, 100, 200), kBlue);
    EXPECT_EQ(At(g, 280, 200), kBlue);

    EXPECT_EQ(form.StackGraph.Image, g.Image);
    EXPECT_GE(host.RepaintCount, 2);
}

TEST_F(QualityTest, RankGraphOfASingleFrameIsALevelAcrossTheGraph) {
    SetRanking({0}, {0.7f});
    ws.Frames[0].Difference = 0;
    form.AlignSlider.MaxValue = 0;
    form.differencecutslider.Value = 20;
    DrawRankGraph(c);
    for (int x : {0, 150, 299}) EXPECT_EQ(At(form.imgGraph, x, 0), kRed) << x;
    EXPECT_EQ(form.StackGraph.Image, form.imgGraph.Image);
}

TEST_F(QualityTest, GraphMarkerAtTheSliderPosition) {
    struct Case {
        int value, max, x;
    } cases[] = {{1, 4, 75}, {1, 8, 38}, {3, 8, 112}, {0, 0, 0}};  // 37.5 and 112.5 go to even
    for (const Case& k : cases) {
        ClearGraph(form.imgGraph);
        form.AlignSlider.MaxValue = k.max;
        form.AlignSlider.Value = k.value;
        DrawGraphMarker(c);
        EXPECT_EQ(At(form.imgGraph, k.x, 120), kGreen) << k.value << "/" << k.max;
        EXPECT_NE(At(form.imgGraph, k.x + 1, 120), kGreen) << k.value << "/" << k.max;
    }
}

}  // namespace
}  // namespace talvenor
