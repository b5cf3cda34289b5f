#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "stacking/alignment_points.h"
#include "stacking/local_shift.h"

namespace talvenor {
namespace {

// A picture held in a vector, viewed as the points see luminance.
struct Plane {
    int w, h;
    std::vector<float> v;
    Plane(int width, int height) : w(width), h(height), v(std::size_t(width) * std::size_t(height), 0.0f) {}
    float& at(int x, int y) { return v[std::size_t(y) * std::size_t(w) + std::size_t(x)]; }
    LumaView View() const { return {v.data(), std::size_t(w), w, h}; }
};

// Smooth detail: Gaussian spots of 2..4 pixels at fixed random places, seen moved by (dx, dy)
// (the picture at x shows the pattern at x - dx), over a level of 100, with optional noise.
Plane Texture(int w, int h, double dx, double dy, double noise, unsigned seed) {
    std::mt19937 spots(7);
    std::uniform_real_distribution<double> px(0, w), py(0, h), sz(2, 4), amp(-60, 60);
    struct Spot {
        double x, y, s, a;
    };
    std::vector<Spot> list;
    for (int i = 0; i < w * h / 60; ++i) list.push_back({px(spots), py(spots), sz(spots), amp(spots)});
    Plane p(w, h);
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0, noise > 0 ? noise : 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = 100;
            for (const Spot& s : list) {
                const double ex = x - dx - s.x, ey = y - dy - s.y;
                if (std::fabs(ex) > 4 * s.s || std::fabs(ey) > 4 * s.s) continue;
                v += s.a * std::exp(-(ex * ex + ey * ey) / (2 * s.s * s.s));
            }
            p.at(x, y) = float(v + (noise > 0 ? n(rng) : 0));
        }
    return p;
}

MatchPlanes Planes(const Plane& p, LargeFloats& storage) {
    MatchPlanes m{p.View(), {}};
    HalveLuma(m.Full, storage, m.Half);
    return m;
}

TEST(AlignmentPoints, LocalShiftsAreRecoveredToAFifthOfAPixel) {
    const Plane ref = Texture(96, 96, 0, 0, 0, 1);
    LargeFloats refHalf, frameHalf;
    const MatchPlanes r = Planes(ref, refHalf);
    struct Case {
        double dx, dy;
    };
    const Case cases[] = {{0, 0},       {0.3, -0.2}, {-0.5, 0.5}, {1.25, 0.8}, {-2.4, 1.6},
                          {2.9, -2.7},  {0.1, 3.2},  {-3.3, -0.6}, {1.7, 2.2}, {-0.9, -1.9}};
    double sq = 0;
    for (const Case& c : cases) {
        const Plane frame = Texture(96, 96, c.dx, c.dy, 2.0, unsigned(17 + sq * 1000));
        const MatchPlanes f = Planes(frame, frameHalf);
        const LocalMatch m = MatchPatch(r, f, 24, 24, 48, 5);
        ASSERT_TRUE(m.Ok) << c.dx << "," << c.dy;
        // The frame at x + D shows the reference at x: D is the frame's displacement.
        sq += (m.Dx - c.dx) * (m.Dx - c.dx) + (m.Dy - c.dy) * (m.Dy - c.dy);
    }
    EXPECT_LT(std::sqrt(sq / (2 * std::size(cases))), 0.2);

    // Beyond the search radius, or on a flat area, there is no answer to give.
    const Plane far = Texture(96, 96, 4.5, 0, 2.0, 99);
    EXPECT_FALSE(MatchPatch(r, Planes(far, frameHalf), 24, 24, 48, 3).Ok);
    Plane flat(96, 96), flatFrame(96, 96);
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(100, 2);
    for (float& v : flat.v) v = noise(rng);
    for (float& v : flatFrame.v) v = noise(rng);
    LargeFloats flatHalf;
    EXPECT_FALSE(MatchPatch(Planes(flat, flatHalf), Planes(flatFrame, frameHalf), 24, 24, 48, 4).Ok);
}

TEST(AlignmentPoints, QualityFallsWithBlur) {
    // The same detail, blurred more and more (a wider spot pattern seen through a box blur).
    const Plane sharp = Texture(64, 64, 0, 0, 0, 1);
    float previous = LocalQuality(sharp.View(), 8, 8, 48);
    Plane blurred = sharp;
    for (int pass = 0; pass < 3; ++pass) {
        Plane next = blurred;
        for (int y = 1; y < 63; ++y)
            for (int x = 1; x < 63; ++x) {
                float s = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i) s += blurred.at(x + i, y + j);
                next.at(x, y) = s / 9;
            }
        blurred = next;
        const float q = LocalQuality(blurred.View(), 8, 8, 48);
        EXPECT_LT(q, previous);
        previous = q;
    }
    // Brightness alone does not make a frame sharper.
    Plane brighter = sharp;
    for (float& v : brighter.v) v *= 1.7f;
    EXPECT_NEAR(LocalQuality(brighter.View(), 8, 8, 48), LocalQuality(sharp.View(), 8, 8, 48), 1e-4);
}

// Rows measured four at a time must sum as one row alone does, pixel by pixel left to right:
// the qualities rank a point's frames, and the same frames must win as ever.
TEST(AlignmentPoints, QualitySumsEachRowInItsOrder) {
    const Plane p = Texture(80, 72, 0.3, 0.7, 3.0, 5);
    const auto rowByRow = [&](int x0, int y0, int size) {
        double energy = 0, sum = 0;
        for (int y = y0; y < y0 + size; ++y) {
            float e = 0, s = 0;
            for (int x = x0; x < x0 + size; ++x) {
                const float gx = p.v[std::size_t(y * p.w + x + 1)] - p.v[std::size_t(y * p.w + x - 1)];
                const float gy = p.v[std::size_t((y + 1) * p.w + x)] - p.v[std::size_t((y - 1) * p.w + x)];
                e += gx * gx + gy * gy;
                s += p.v[std::size_t(y * p.w + x)];
            }
            energy += e;
            sum += s;
        }
        const double n = double(size) * size, mean = sum / n;
        return float(energy / n / (mean * mean));
    };
    for (const auto& [x0, y0, size] : {std::array{1, 1, 64}, {3, 2, 48}, {5, 7, 33}, {2, 1, 7}, {9, 4, 3}})
        EXPECT_EQ(LocalQuality(p.View(), x0, y0, size), rowByRow(x0, y0, size)) << x0 << "," << y0 << " " << size;
}

TEST(AlignmentPoints, PlacedOnTheObjectOnly) {
    // A disk of radius 80 with detail, on black.
    Plane disk = Texture(320, 240, 0, 0, 0, 1);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            if (std::hypot(x - 160.0, y - 120.0) > 80) disk.at(x, y) = 0;
    AlignmentPointSettings settings;
    const int size = AutomaticPointSize(disk.View(), settings.MinBrightness);
    EXPECT_EQ(size, 24);  // a 160-pixel object: a sixth of it, to a multiple of 8
    const std::vector<AlignmentPoint> points = PlaceAlignmentPoints(disk.View(), size, settings);
    ASSERT_GT(points.size(), 20u);
    for (const AlignmentPoint& p : points) {
        EXPECT_LT(std::hypot(p.X - 160.0, p.Y - 120.0), 80 + size / 2.0);
        EXPECT_TRUE(PointFits(p.X, p.Y, size, settings.Search, 320, 240));
    }
    // The grid is half a box apart.
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i].Y == points[i - 1].Y) {
            EXPECT_EQ((points[i].X - points[i - 1].X) % (size / 2), 0);
        }
    }

    // A higher brightness threshold keeps fewer; a black picture none; a larger object a larger box.
    settings.MinBrightness = 0.9;
    EXPECT_LT(PlaceAlignmentPoints(disk.View(), size, settings).size(), points.size());
    const Plane black(320, 240);
    EXPECT_TRUE(PlaceAlignmentPoints(black.View(), 32, AlignmentPointSettings{}).empty());
    Plane field(1200, 900);
    for (float& v : field.v) v = 100;
    EXPECT_EQ(AutomaticPointSize(field.View(), 0.2), 128);
}

}  // namespace
}  // namespace talvenor
