#include <gtest/gtest.h>

#include "registration/align_step.h"
#include "registration/reference.h"
#include "workspace/scripted_host.h"
#include "workspace/user_store.h"

namespace talvenor {
namespace {

// A picture with detail on both axes: a bright square and a diagonal bar on a gradient.
Bitmap24 Pattern(int width, int height, int dx, int dy) {
    Bitmap24 b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int u = x - dx, v = y - dy;
            int value = 40 + (u * 3 + v * 2) % 50;
            if (u > 150 && u < 170 && v > 110 && v < 125) value = 230;
            if (std::abs((u - 140) - (v - 100)) < 3 && u > 130 && u < 180) value = 200;
            if ((u - 175) * (u - 175) + (v - 140) * (v - 140) < 36) value = 10;
            const uint8_t g = uint8_t(std::clamp(value, 0, 255));
            b.SetPixel(x, y, Bgr{g, g, g});
        }
    return b;
}

struct Fixture {
    Workspace ws;
    Controls form;
    ScriptedHost host;
    UserStore store;
    AppContext c{ws, form, host, store};
    FftEngine fft;
    AlignmentState a;

    Fixture(int n) {
        fft.SetTransformSize(n);
        ws.AlignBoxSize = n;
        ws.ImageWidth = ws.SourceWidth = 320;
        ws.ImageHeight = ws.SourceHeight = 240;
        ws.AlignX = 160;
        ws.AlignY = 120;
        a.AlignBoxX = ws.AlignX - n / 2;
        a.AlignBoxY = ws.AlignY - n / 2;
        ws.CurrentFrameImage = Pattern(320, 240, 0, 0);
        form.PreviewImage.Image = ws.CurrentFrameImage;
        CalculateReferenceFFT(c, fft, a);
        ws.LastFrame = 9;
        ws.SelectedCount = 10;
    }
    std::pair<int, int> Align(int frame, int dx, int dy) {
        ws.CurrentFrame = frame;
        ws.CurrentFrameImage = Pattern(320, 240, dx, dy);
        AlignStep(c, fft, a);
        return {ws.Frames[std::size_t(frame)].ShiftX, ws.Frames[std::size_t(frame)].ShiftY};
    }
};

TEST(AlignStep, FindsTheFeaturesDisplacement) {
    for (int n : {32, 64, 128}) {
        Fixture f(n);
        f.form.Followme.Checked = false;
        SCOPED_TRACE(n);
        EXPECT_EQ(f.Align(0, 0, 0), std::make_pair(0, 0));
        EXPECT_EQ(f.Align(1, 3, 2), std::make_pair(3, 2));
        EXPECT_EQ(f.Align(2, -5, 4), std::make_pair(-5, 4));
        EXPECT_EQ(f.Align(3, 7, -6), std::make_pair(7, -6));
    }
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

// A random tile repeated over the frame, so any shift of the box is a circular shift of
// its contents: the correlation then has one exact answer even at half the box.
Bitmap24 Tiled(int width, int height, int period, int dx, int dy) {
    std::vector<uint8_t> tile(std::size_t(period) * period);
    uint32_t state = 12345;
    for (auto& v : tile) {
        state = state * 1664525u + 1013904223u;
        v = uint8_t(40 + (state >> 24) % 180);
    }
    Bitmap24 b(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int u = ((x - dx) % period + period) % period, v = ((y - dy) % period + period) % period;
            const uint8_t g = tile[std::size_t(v) * period + std::size_t(u)];
            b.SetPixel(x, y, Bgr{g, g, g});
        }
    return b;
}

TEST(AlignStep, ShiftsAreReportedWithinMinusHalfToHalfTheBox) {
    const int n = 32;
    Fixture f(n);
    f.form.Followme.Checked = false;
    f.form.FFTFilter.Checked = false;
    f.ws.CurrentFrameImage = Tiled(320, 240, n, 0, 0);
    f.form.PreviewImage.Image = f.ws.CurrentFrameImage;
    CalculateReferenceFFT(f.c, f.fft, f.a);
    const struct {
        int displacement, reported;
    } cases[] = {{0, 0}, {5, 5}, {-7, -7}, {15, 15}, {16, -16}, {-16, -16}, {17, -15}};
    int frame = 0;
    for (const auto& c : cases) {
        f.ws.CurrentFrame = ++frame;
        f.ws.CurrentFrameImage = Tiled(320, 240, n, c.displacement, 0);
        AlignStep(f.c, f.fft, f.a);
        EXPECT_EQ(f.ws.Frames[std::size_t(frame)].ShiftX, c.reported) << c.displacement;
    }
}

TEST(AlignStep, AlignmentFilterKeepsTheBoundaryRadiusInEveryQuadrant) {
    FftEngine fft;
    const int n = 32;
    fft.SetTransformSize(n);
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) fft.TransformRe(x, y) = fft.TransformIm(x, y) = 1;
    ApplyAlignmentFilter(fft, 100);
    const struct {
        int x, y;
        bool kept;
    } cases[] = {{6, 8, true}, {7, 8, false}, {n - 6, n - 8, true}, {n - 7, n - 8, false}, {0, 10, true}, {0, 11, false},
                 {n / 2, 0, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(fft.TransformRe(c.x, c.y) != 0, c.kept) << c.x << "," << c.y;
        EXPECT_EQ(fft.TransformIm(c.x, c.y) != 0, c.kept) << c.x << "," << c.y;
    }
}

TEST(AlignStep, RegistrationDifferenceIsZeroForAnIdenticalFrameAndResamplingScalesShifts) {
    Fixture f(64);
    f.form.Followme.Checked = false;
    f.Align(1, 0, 0);
    EXPECT_FLOAT_EQ(f.ws.Frames[1].Difference, 0.0f);
    f.Align(2, 3, 2);
    EXPECT_FLOAT_EQ(f.ws.Frames[2].Difference, 0.0f);  // once aligned, the boxes are the same
    // A frame whose detail changed (the seeing distorted it) differs from the reference.
    f.ws.CurrentFrame = 4;
    f.ws.CurrentFrameImage = Pattern(320, 240, 0, 0);
    for (int y = 100; y < 140; y += 2)
        for (int x = 140; x < 180; ++x) f.ws.CurrentFrameImage.SetPixel(x, y, Bgr{90, 90, 90});
    AlignStep(f.c, f.fft, f.a);
    EXPECT_GT(f.ws.Frames[4].Difference, 1000.0f);
    f.form.NoSquare.Checked = true;
    AlignStep(f.c, f.fft, f.a);
    const float absolute = f.ws.Frames[4].Difference;
    f.form.NoSquare.Checked = false;
    AlignStep(f.c, f.fft, f.a);
    EXPECT_LT(absolute, f.ws.Frames[4].Difference);  // squares of deviations beyond 1 weigh more
    f.form.Resampled.Checked = true;
    f.ws.ResampleFactor = 2.0f;
    f.Align(3, 3, 2);
    EXPECT_EQ(f.ws.Frames[3].ShiftX, 6);
    EXPECT_EQ(f.ws.Frames[3].ShiftY, 4);
    EXPECT_EQ(f.ws.Frames[3].Difference, 1.0f);
}

TEST(AlignStep, SubPixelPeakFindsTheVertexOfTheParabolas) {
    FftEngine fft;
    fft.SetTransformSize(32);
    // A surface whose maximum lies at (10.25, 20 - 0.4): parabolic along both axes.
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 32; ++y) {
            const float dx = float(x) - 10.25f, dy = float(y) - 19.6f;
            fft.TransformRe(x, y) = 100 - dx * dx - dy * dy;
        }
    const auto [dx, dy] = SubPixelPeak(fft, 10, 20);
    EXPECT_NEAR(dx, 0.25f, 1e-4);
    EXPECT_NEAR(dy, -0.4f, 1e-4);
    // A broad peak, as the low-pass filter makes it (a curvature well below one unit of the
    // surface), is refined just as well: lowering its centre by a fixed amount first, as
    // once done, turned it into a dip and sent the vertex to the end of its range.
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 32; ++y) {
            const float ex = float(x) - 10.25f, ey = float(y) - 19.6f;
            fft.TransformRe(x, y) = 60 - 0.2f * (ex * ex + ey * ey);
        }
    const auto [bx, by] = SubPixelPeak(fft, 10, 20);
    EXPECT_NEAR(bx, 0.25f, 1e-3);
    EXPECT_NEAR(by, -0.4f, 1e-3);
    // A flat surface has no vertex: the integer peak stands.
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 32; ++y) fft.TransformRe(x, y) = 5;
    EXPECT_EQ(SubPixelPeak(fft, 3, 4), std::make_pair(0.0f, 0.0f));
}

}  // namespace
}  // namespace talvenor
