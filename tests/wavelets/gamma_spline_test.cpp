// The gamma window's spline and the display transfer table drawn from it or from a gamma.
#include <gtest/gtest.h>

#include <cmath>

#include "wavelets/gamma_curve.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "<none>";
}

TEST(TBSpline, InterpolatesThroughEveryPointAndEndsOnTheEndPoints) {
    TBSpline s;
    const float xs[] = {0, 40, 90, 170, 255}, ys[] = {255, 180, 140, 30, 0};
    for (int i = 0; i < 5; ++i) s.AddPoint(xs[i], ys[i]);
    s.SetInterpolate(true);
    // Uniform parameter: point k sits at t = k / (m - 1).
    for (int k = 0; k < 5; ++k) {
        const auto [x, y] = s.Value(float(k) / 4);
        EXPECT_NEAR(x, xs[k], 1e-3) << k;
        EXPECT_NEAR(y, ys[k], 1e-3) << k;
    }
    // Without interpolation the points are control vertices: the ends still hold, the middle
    // points are only approached.
    s.SetInterpolate(false);
    EXPECT_NEAR(s.Value(0).first, 0, 1e-4);
    EXPECT_NEAR(s.Value(1).second, 0, 1e-4);
    EXPECT_GT(std::fabs(s.Value(0.5f).second - 140), 1.0f);
}

TEST(TBSpline, ManyVerticesAreControlVerticesAndCornersCountThrice) {
    TBSpline s;
    for (int i = 0; i < 250; ++i) s.AddPoint(float(i), i % 2 ? 10.0f : 0.0f);
    s.SetInterpolate(true);
    EXPECT_EQ(s.VertexCount(), 250);
    EXPECT_LT(std::fabs(s.Value(1.0f / 249).second - 10), 9.0f);  // not forced through the point
    EXPECT_GT(std::fabs(s.Value(1.0f / 249).second - 10), 1.0f);
    s.DeletePoint(250);
    EXPECT_NEAR(s.Value(1.0f / 248).second, 10.0f, 1e-2);  // 249 vertices interpolate again

    TBSpline c;
    c.AddPoint(0, 0);
    c.AddPoint(50, 100);
    c.AddPoint(100, 0);
    c.SetCorner(2, true);
    EXPECT_EQ(c.VertexCount(), 5);
    c.SetInterpolate(true);
    // A corner is a kink: the curve passes exactly through it.
    EXPECT_NEAR(c.Value(0.5f).second, 100.0f, 1e-3);
}

TEST(TBSpline, EditingPointsAndTheErrorTexts) {
    TBSpline s;
    EXPECT_EQ(s.Capacity(), 0);
    EXPECT_EQ(s.Resolution(), 100);
    s.AddPoint(0, 0);
    EXPECT_EQ(s.Capacity(), 25);
    for (int i = 1; i < 26; ++i) s.AddPoint(float(i), 0);
    EXPECT_EQ(s.Capacity(), 50);
    s.InsertPoint(2, 0.5f, 7);
    EXPECT_EQ(s.GetPoint(2), std::make_pair(0.5f, 7.0f));
    EXPECT_EQ(s.GetPoint(3), std::make_pair(1.0f, 0.0f));
    EXPECT_EQ(ErrorOf([&] { s.InsertPoint(0, 1, 1); }), "Index out of range");
    EXPECT_EQ(ErrorOf([&] { s.GetPoint(99); }), "List index out of bounds in TBSpline.FGetPoint. (99).");
    EXPECT_EQ(ErrorOf([&] { s.SetPoint(0, 1, 1); }), "List index out of bounds in TBSpline.FSetPoint. (0).");
    s.SetResolution(5000);
    EXPECT_EQ(s.Resolution(), 600);
    while (s.PointCount() > 0) s.DeletePoint(1);
    EXPECT_EQ(s.Capacity(), 0);  // the last point gone, the spline is cleared
    EXPECT_EQ(s.Resolution(), 100);
    EXPECT_EQ(s.Value(0.5f), std::make_pair(0.0f, 0.0f));
}

TEST(GammaCurve, PowerLawAndTheDefaultSpline) {
    GammaTable curve{};
    ASSERT_TRUE(CurveFromGamma(1.0, curve));
    EXPECT_DOUBLE_EQ(curve[0], 0.000001);
    EXPECT_DOUBLE_EQ(curve[1000], 1.000001);
    ASSERT_TRUE(CurveFromGamma(2.0, curve));
    EXPECT_NEAR(curve[250], 0.5, 1e-5);
    EXPECT_FALSE(CurveFromGamma(0.0, curve));  // left for the caller to reset the spin
    EXPECT_NEAR(curve[250], 0.5, 1e-5);

    // The default three points give a curve within one 255th of the identity; the middle point
    // maps input 0.502 to output 0.498.
    TBSpline s;
    ResetGammaSpline(s, false);
    EXPECT_EQ(s.Resolution(), 50);
    EXPECT_TRUE(s.ShowPoints);
    CurveFromSpline(s, curve);
    for (int i = 0; i <= 1000; ++i) ASSERT_NEAR(curve[std::size_t(i)], i * 0.001, 1.0 / 255 + 1e-9) << i;
    EXPECT_NEAR(curve[502], 127.0 / 255, 2e-3);
    ResetGammaSpline(s, true);
    EXPECT_EQ(s.Resolution(), 2);  // "Linear": one segment per gap
}

TEST(GammaCurve, EntriesNoSampleReachesAreBlackBeforeTheCurveRisesAndWhiteAfter) {
    // A curve that only covers inputs 100 .. 150 of the graph.
    TBSpline s;
    s.AddPoint(100, 255);
    s.AddPoint(150, 0);
    GammaTable curve{};
    CurveFromSpline(s, curve);
    EXPECT_EQ(curve[0], 0.0);
    EXPECT_EQ(curve[300], 0.0);
    EXPECT_EQ(curve[1000], 1.0);
    EXPECT_NEAR(curve[std::size_t(std::lrint(125 * 1000 / 255.0))], 0.5, 0.01);
}

TEST(TBSpline, DrawsItsCurveAndItsPoints) {
    TBSpline s;
    ResetGammaSpline(s, false);
    Bitmap24 picture(256, 256);
    picture.Fill(ColourOf(0xFFFFFF));
    Canvas canvas(picture);
    s.Draw(canvas);
    // The curve runs through its middle point in black; the points are circled in red.
    EXPECT_EQ(picture.Pixel(128, 128), ColourOf(0x000000));
    EXPECT_EQ(picture.Pixel(128, 200), ColourOf(0xFFFFFF));
    bool red = false;
    for (int y = 124; y <= 132; ++y)
        for (int x = 124; x <= 132; ++x) red = red || picture.Pixel(x, y) == ColourOf(0xFF0000);
    EXPECT_TRUE(red);
}

}  // namespace
}  // namespace talvenor
