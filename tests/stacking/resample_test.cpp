#include "stacking/resample.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workspace/error.h"

namespace talvenor {
namespace {

// A picture one row high holding `values` in all three bytes.
Bitmap24 GreyRow(const std::vector<uint8_t>& values) {
    Bitmap24 b(int(values.size()), 1);
    for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, 0, Bgr{values[x], values[x], values[x]});
    return b;
}

// The blue bytes of row (or column) `at`.
std::vector<int> Blue(const Bitmap24& b, int at, bool column = false) {
    std::vector<int> out;
    for (int i = 0; i < (column ? b.Height() : b.Width()); ++i) out.push_back((column ? b.Pixel(at, i) : b.Pixel(i, at)).b);
    return out;
}

TEST(ResampleFilter, ValuesAtKeyPoints) {
    const struct { FilterFunction f; float x, expected; } cases[] = {
        {BoxFilter, 0.5f, 1}, {BoxFilter, -0.5f, 0}, {BoxFilter, 0.51f, 0},
        {TriangleFilter, -0.25f, 0.75f}, {TriangleFilter, 1, 0},
        {HermiteFilter, 0.5f, 0.5f}, {HermiteFilter, -0.25f, 0.84375f}, {HermiteFilter, 1, 0},
        {BellFilter, 0, 0.75f}, {BellFilter, 0.5f, 0.5f}, {BellFilter, -1, 0.125f}, {BellFilter, 1.5f, 0},
        {BSplineFilter, 0, 2.0f / 3}, {BSplineFilter, -1, 1.0f / 6}, {BSplineFilter, 1.5f, 1.0f / 48}, {BSplineFilter, 2, 0},
        {Lanczos3Filter, 0, 1}, {Lanczos3Filter, 0.5f, 0.607927f}, {Lanczos3Filter, -1.5f, -0.135095f},
        {Lanczos3Filter, 1, 0}, {Lanczos3Filter, 3, 0},
        {MitchellFilter, 0, 8.0f / 9}, {MitchellFilter, 1, 1.0f / 18}, {MitchellFilter, -1.5f, -0.0347222f},
        {MitchellFilter, 2, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(c.f(c.x), c.expected, 1e-6f) << "x = " << c.x;
}

TEST(ResampleFilter, ListIndexPicksTheTableEntry) {
    // -1 is "nothing chosen"; indices past either end hold to Hermite and Mitchell.
    const struct { int index; std::string_view name; float support; } cases[] = {
        {-1, "Hermite", 1}, {0, "Bell", 1.5f}, {1, "B-Spline", 2}, {2, "Lanczos3", 3}, {3, "Mitchell", 2},
        {-7, "Hermite", 1}, {4, "Mitchell", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterForListIndex(c.index).name, c.name) << c.index;
        EXPECT_EQ(FilterForListIndex(c.index).support, c.support) << c.index;
    }
    EXPECT_EQ(FilterForListIndex(-1).function, HermiteFilter);
}

// Same size: each pixel takes side, centre, side of its neighbours. Left of the first pixel
// lies the reflection of pixel 1, right of the last pixel the last pixel itself. Impulses of a
// value that keeps every sum whole give exact bytes.
TEST(ResampleStretch, SameSizeBlursWithMirroredEdges) {
    const struct {
        FilterFunction f;
        float support;
        int v;
        // An impulse along a row of five: at the first pixel, at the second (whose side weight
        // the first pixel takes twice) and at the last.
        std::vector<int> first, second, last;
    } cases[] = {
        {BSplineFilter, 2, 216, {144, 36, 0, 0, 0}, {72, 144, 36, 0, 0}, {0, 0, 0, 36, 180}},  // 1/6 2/3 1/6
        {BellFilter, 1.5f, 128, {96, 16, 0, 0, 0}, {32, 96, 16, 0, 0}, {0, 0, 0, 16, 112}},   // 1/8 3/4 1/8
    };
    for (const auto& c : cases) {
        // 5 x 4: green impulse at (0, 0), blue at (1, 1), red at the last corner (4, 3).
        Bitmap24 src(5, 4), dst(5, 4);
        src.SetPixel(0, 0, Bgr{0, uint8_t(c.v), 0});
        src.SetPixel(1, 1, Bgr{uint8_t(c.v), 0, 0});
        src.SetPixel(4, 3, Bgr{0, 0, uint8_t(c.v)});
        Stretch(src, dst, c.f, c.support);
        // Separable: row profile[x] * column profile[y] / v; columns are four long.
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                const Bgr p = dst.Pixel(x, y);
                EXPECT_EQ(p.g, c.first[x] * c.first[y] / c.v) << c.v << " at " << x << "," << y;
                EXPECT_EQ(p.b, c.second[x] * c.second[y] / c.v) << c.v << " at " << x << "," << y;
                EXPECT_EQ(p.r, c.last[x] * c.last[y + 1] / c.v) << c.v << " at " << x << "," << y;
            }
    }
    // Ties go to even: 0.125 * 4 = 0.5 -> 0, 0.125 * 12 = 1.5 -> 2, 0.125 * 20 = 2.5 -> 2.
    Bitmap24 row(8, 1);
    Stretch(GreyRow({0, 4, 0, 0, 12, 0, 20, 0}), row, BellFilter, 1.5f);
    EXPECT_EQ(Blue(row, 0), (std::vector<int>{1, 3, 0, 2, 9, 4, 15, 2}));
}

TEST(ResampleStretch, OnePixelWideSourceFillsTheWidth) {
    // xscale 10: column i sits at 0.1 i of the single source pixel, and every tap lands on it.
    Bitmap24 src(1, 1);
    src.SetPixel(0, 0, Bgr{200, 100, 30});
    for (const ResampleFilter& f : ResampleFilters) {
        Bitmap24 dst(10, 1);
        Stretch(src, dst, f.function, f.support);
        // Every filter but Lanczos3 sums to one wherever it is placed.
        const int tolerance = f.function == Lanczos3Filter ? 2 : 0;
        for (int x = 0; x < 10; ++x) {
            EXPECT_NEAR(dst.Pixel(x, 0).b, 200, tolerance) << f.name << " " << x;
            EXPECT_NEAR(dst.Pixel(x, 0).r, 30, tolerance) << f.name << " " << x;
        }
        if (f.function == Lanczos3Filter) {
            EXPECT_EQ(Blue(dst, 0)[5], 199);  // at 0.5 its weights sum to 0.99428
        }
    }
}

// A dark-to-bright edge enlarged rings below 0 and above 255; the ringing must stop at the
// limits, not wrap around to the other end.
TEST(ResampleStretch, OvershootIsClippedNotWrapped) {
    for (const ResampleFilter& f : {ResampleFilters[5], ResampleFilters[6]}) {
        for (bool vertical : {false, true}) {
            Bitmap24 src(vertical ? 3 : 8, vertical ? 8 : 3), dst(vertical ? 3 : 15, vertical ? 15 : 3);
            for (int y = 0; y < src.Height(); ++y)
                for (int x = 0; x < src.Width(); ++x)
                    if ((vertical ? y : x) >= 4) src.SetPixel(x, y, ColourOf(0xFFFFFF));
            Stretch(src, dst, f.function, f.support);
            // Unclipped, the lobe before the edge sums below 0 and the one after it above 255.
            const std::vector<int> p = Blue(dst, 1, vertical);
            SCOPED_TRACE(std::string(f.name) + " " + ::testing::PrintToString(p));
            EXPECT_EQ(p[5], 0);
            EXPECT_EQ(p[9], 255);
            for (int i = 0; i < 7; ++i) EXPECT_LT(p[std::size_t(i)], 16) << i;
            for (int i = 8; i < 15; ++i) EXPECT_GT(p[std::size_t(i)], 239) << i;
        }
    }
}

// 8 -> 4 columns with the triangle: xscale 3/7, so the filter is 7/3 wide and each weight is
// (1 - |c - j| 3/7) 3/7, in 49ths. An impulse of 245 at each source column reads the weights
// out as 5 x the numerators, reflected neighbours included; they are not normalised (the first
// column's sum to 51/49).
TEST(ResampleStretch, ReductionWidensTheFilter) {
    const int expected[8][4] = {
        {105, 0, 0, 0}, {120, 45, 0, 0}, {30, 90, 0, 0}, {0, 75, 30, 0},
        {0, 30, 75, 0}, {0, 0, 90, 15},  {0, 0, 45, 75}, {0, 0, 0, 165},
    };
    for (int k = 0; k < 8; ++k) {
        std::vector<uint8_t> values(8, 0);
        values[std::size_t(k)] = 245;
        Bitmap24 dst(4, 1);
        Stretch(GreyRow(values), dst, TriangleFilter, 1.0f);
        EXPECT_EQ(Blue(dst, 0), std::vector<int>(expected[k], expected[k] + 4)) << "source column " << k;
    }
}

TEST(ResampleStretch, SinglePixelDestinationIsDefined) {
    // One pixel across has no corners to line up: it takes the scale 1 / width, as a
    // one-pixel source does, and the widened filter still sums to about one.
    Bitmap24 src(8, 6), dot(1, 1), column(1, 6);
    src.Fill(Bgr{10, 120, 250});
    Stretch(src, dot, TriangleFilter, 1.0f);
    EXPECT_EQ(dot.Pixel(0, 0), (Bgr{10, 120, 250}));
    Stretch(src, column, MitchellFilter, 2.0f);
    for (int y = 0; y < 6; ++y) EXPECT_NEAR(column.Pixel(0, y).g, 120, 2) << y;
}

TEST(ResampleStretch, EmptySourceFailsAndLeavesTheDestination) {
    for (const Bitmap24& src : {Bitmap24(0, 5), Bitmap24(5, 0), Bitmap24()}) {
        Bitmap24 dst(4, 3);
        dst.Fill(Bgr{1, 2, 3});
        const Bitmap24 before = dst;
        const uint64_t generation = dst.Generation();
        try {
            Stretch(src, dst, BellFilter, 1.5f);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), "Source bitmap too small");
        }
        EXPECT_EQ(dst, before);
        EXPECT_EQ(dst.Generation(), generation);
    }
    Bitmap24 src(4, 4), none(0, 3);
    EXPECT_NO_THROW(Stretch(src, none, BellFilter, 1.5f));
}

TEST(ResampleStretch, SourceMayBeTheDestination) {
    Bitmap24 picture(6, 5), separate(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) picture.SetPixel(x, y, Bgr{uint8_t(40 * x), uint8_t(50 * y), uint8_t(7 * x * y)});
    Stretch(picture, separate, MitchellFilter, 2.0f);
    Stretch(picture, picture, MitchellFilter, 2.0f);
    EXPECT_EQ(picture, separate);
}

}  // namespace
}  // namespace talvenor
