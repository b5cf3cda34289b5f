// Seeing that moves and blurs each area of a frame on its own must do what truth.csv and the
// options promise, or tests of local alignment measure the generator instead of the program:
// the random fields have the asked rms and size, each area is displaced by the field and
// blurred by the frame's sigma times exp(P g), and without either effect the frames are the
// whole-frame render.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/local_seeing.h"
#include "capture/random_field.h"

namespace {

using namespace talvenor::capture;

struct Moments {
    double mean = 0, rms = 0, peak = 0;
};

Moments Measure(const std::vector<float>& f) {
    Moments m;
    double sum = 0, sum2 = 0;
    for (float v : f) {
        sum += v;
        sum2 += double(v) * v;
        m.peak = std::max(m.peak, double(std::fabs(v)));
    }
    m.mean = sum / double(f.size());
    m.rms = std::sqrt(sum2 / double(f.size()) - m.mean * m.mean);
    return m;
}

// Correlation of a field with itself moved by `lag` pixels, along x and y together.
double Correlation(const std::vector<float>& f, int w, int h, int lag) {
    const Moments m = Measure(f);
    double sum = 0, pairs = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = f[std::size_t(y * w + x)] - m.mean;
            if (x + lag < w) {
                sum += v * (f[std::size_t(y * w + x + lag)] - m.mean);
                pairs += 1;
            }
            if (y + lag < h) {
                sum += v * (f[std::size_t((y + lag) * w + x)] - m.mean);
                pairs += 1;
            }
        }
    return sum / pairs / (m.rms * m.rms);
}

TEST(SmoothRandomField, HasTheAskedRmsIsSmoothAndDecorrelatesOverItsLength) {
    const struct {
        int w, h;
        double length, rms;
    } cases[] = {{320, 240, 12, 1}, {640, 480, 36, 1.5}, {480, 360, 24, 0.4}};
    for (const auto& c : cases) {
        SCOPED_TRACE("length " + std::to_string(c.length));
        const int seeds = 4;
        double neighbour = 0, atLength = 0, far = 0;
        for (int seed = 1; seed <= seeds; ++seed) {
            std::vector<float> f;
            SmoothRandomField(c.w, c.h, c.length, uint64_t(seed), f, c.rms);
            const Moments m = Measure(f);
            EXPECT_NEAR(m.rms, c.rms, 0.01 * c.rms);
            EXPECT_NEAR(m.mean, 0, 1e-3 * c.rms);
            EXPECT_LE(m.peak, kFieldClip * c.rms * 1.0001);
            neighbour += Correlation(f, c.w, c.h, 1) / seeds;
            atLength += Correlation(f, c.w, c.h, int(std::lround(c.length))) / seeds;
            far += Correlation(f, c.w, c.h, int(std::lround(2.5 * c.length))) / seeds;
        }
        // Close to a Gaussian correlation exp(-(d / length)^2).
        EXPECT_GT(neighbour, 1 - 2 / (c.length * c.length));
        EXPECT_NEAR(atLength, std::exp(-1.0), 0.1);
        EXPECT_LT(std::fabs(far), 0.08);
    }
}

Scene MakeTestScene(SceneMode mode, bool colour, int w, int h, int margin) {
    SceneOptions so;
    so.mode = mode;
    so.width = w;
    so.height = h;
    so.margin = margin;
    so.colour = colour;
    so.seed = 3;
    return MakeScene(so);
}

FloatImage Plain(const Scene& scene, const FrameTruth& t) {
    FrameRenderer renderer(scene, 0.0, 1);
    FloatImage out;
    renderer.Render(0, t, out);
    return out;
}

FrameTruth Truth(double dx, double dy, double sigmaX, double sigmaY, double gain = 1) {
    FrameTruth t;
    t.dx = dx;
    t.dy = dy;
    t.sigmaX = sigmaX;
    t.sigmaY = sigmaY;
    t.sigma = std::sqrt(sigmaX * sigmaY);
    t.gain = gain;
    return t;
}

// The strips, cells, levels and the warp reproduce the whole-frame render when there is
// nothing (or next to nothing) to vary: any seam, offset or wrong row would show.
TEST(LocalSeeingRender, WithoutEffectsTheStripsAreTheWholeFrameRender) {
    const struct {
        SceneMode mode;
        bool colour;
        int w, h;
        FrameTruth truth;
        double distortion, patchiness, tolerance;
    } cases[] = {
        {SceneMode::Moon, false, 150, 110, Truth(2.3, -1.7, 1.4, 1.03, 0.97), 0, 0, 1e-6},
        {SceneMode::Planet, true, 100, 70, Truth(-0.4, 0.6, 2.0, 2.0), 0, 0, 1e-6},
        {SceneMode::Sun, false, 150, 110, Truth(0.5, 3.25, 0.7, 0.9), 1e-4, 0, 1e-4},
        {SceneMode::Moon, false, 97, 131, Truth(-1.2, 0.1, 2.5, 1.9), 0, 1e-4, 1e-3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(SceneModeName(c.mode) + " distortion " + std::to_string(c.distortion) + " patchiness " +
                     std::to_string(c.patchiness));
        const LocalSeeing local = LocalSeeingFor(c.distortion, c.patchiness, std::min(c.w, c.h));
        const Scene scene = MakeTestScene(c.mode, c.colour, c.w, c.h, LocalSeeingMargin({c.truth}, local));
        LocalSeeingRenderer renderer(scene, local, 5);
        FloatImage strips;
        renderer.Render(2, c.truth, strips);
        const FloatImage whole = Plain(scene, c.truth);
        ASSERT_EQ(strips.data.size(), whole.data.size());
        double worst = 0;
        for (std::size_t i = 0; i < whole.data.size(); ++i)
            worst = std::max(worst, double(std::fabs(strips.data[i] - whole.data[i])));
        EXPECT_LT(worst, c.tolerance);
    }
}

// Sum of squared differences between a patch of `a` at (x, y) and the patch of `b` moved by
// (sx, sy).
double PatchDistance(const FloatImage& a, const FloatImage& b, int x, int y, int half, int sx, int sy) {
    double d = 0;
    for (int j = -half; j <= half; ++j)
        for (int i = -half; i <= half; ++i) {
            const double v = a.Plane(0)[(y + j) * a.width + x + i] - b.Plane(0)[(y + j + sy) * b.width + x + i + sx];
            d += v * v;
        }
    return d;
}

// Vertex of the parabola through three equally spaced values, as an offset from the middle.
double Vertex(double left, double mid, double right) {
    const double curve = left - 2 * mid + right;
    return curve > 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
}

double FieldMean(const std::vector<float>& f, int w, int x, int y, int half) {
    double sum = 0;
    for (int j = -half; j <= half; ++j)
        for (int i = -half; i <= half; ++i) sum += f[std::size_t((y + j) * w + x + i)];
    return sum / double((2 * half + 1) * (2 * half + 1));
}

// Patches of the distorted frame, found again in the frame without distortion, are moved by
// the field: pixel (x, y) shows what the plain frame shows at (x - u, y - v).
TEST(LocalSeeingRender, DistortionMovesEachAreaByItsOwnDisplacement) {
    const int size = 512, half = 10, reach = 6;
    const double amplitude = 1.2;
    const FrameTruth truth = Truth(0.3, -0.2, 1.0, 1.0);
    const LocalSeeing local = LocalSeeingFor(amplitude, 0, size);
    const Scene scene = MakeTestScene(SceneMode::Sun, false, size, size, LocalSeeingMargin({truth}, local));
    LocalSeeingRenderer renderer(scene, local, 8);
    FloatImage moved;
    renderer.Render(3, truth, moved);
    LocalFields fields;
    renderer.Fields(3, fields);
    const FloatImage plain = Plain(scene, truth);

    double error2 = 0, found2 = 0, foundSum = 0;
    int patches = 0;
    for (int y = 24; y < size - 24; y += 26)
        for (int x = 24; x < size - 24; x += 26) {
            int bestX = 0, bestY = 0;
            double best = INFINITY;
            for (int sy = -reach; sy <= reach; ++sy)
                for (int sx = -reach; sx <= reach; ++sx)
                    if (const double d = PatchDistance(moved, plain, x, y, half, sx, sy); d < best) {
                        best = d;
                        bestX = sx;
                        bestY = sy;
                    }
            auto at = [&](int sx, int sy) { return PatchDistance(moved, plain, x, y, half, sx, sy); };
            const double fx = bestX + Vertex(at(bestX - 1, bestY), best, at(bestX + 1, bestY));
            const double fy = bestY + Vertex(at(bestX, bestY - 1), best, at(bestX, bestY + 1));
            const double u = FieldMean(fields.u, size, x, y, half), v = FieldMean(fields.v, size, x, y, half);
            error2 += (fx + u) * (fx + u) + (fy + v) * (fy + v);
            found2 += fx * fx + fy * fy;
            foundSum += fx + fy;
            ++patches;
        }
    EXPECT_LT(std::sqrt(error2 / (2 * patches)), 0.2);
    // Each axis moves by about the asked rms, area by area, around the frame's own shift.
    EXPECT_NEAR(std::sqrt(found2 / (2 * patches)), amplitude, 0.25 * amplitude);
    EXPECT_NEAR(foundSum / (2 * patches), 0, 0.1 * amplitude);
}

// The blur of each patch, found by matching it against the plain frame blurred by a range of
// sigmas, is the frame's sigma times exp(P g) with g the field over the patch.
TEST(LocalSeeingRender, PatchinessBlursEachAreaByItsOwnSigma) {
    const int size = 256, half = 12;
    const double patchiness = 0.35, sigma = 1.0, step = 0.05;
    const FrameTruth truth = Truth(0, 0, sigma, sigma);
    const LocalSeeing local = LocalSeeingFor(0, patchiness, size);
    const Scene scene = MakeTestScene(SceneMode::Sun, false, size, size, LocalSeeingMargin({truth}, local));
    LocalSeeingRenderer renderer(scene, local, 2);
    FloatImage patchy;
    renderer.Render(1, truth, patchy);
    LocalFields fields;
    renderer.Fields(1, fields);
    std::vector<FloatImage> ladder;  // sigma times exp(k step), k = -30 .. 30
    for (int k = -30; k <= 30; ++k) {
        const double rung = sigma * std::exp(k * step);
        ladder.push_back(Plain(scene, Truth(0, 0, rung, rung)));
    }

    std::vector<double> found, expected;
    for (int y = 20; y < size - 20; y += 27)
        for (int x = 20; x < size - 20; x += 27) {
            std::vector<double> d;
            for (const FloatImage& rung : ladder) d.push_back(PatchDistance(patchy, rung, x, y, half, 0, 0));
            const int k = int(std::min_element(d.begin() + 1, d.end() - 1) - d.begin());
            found.push_back((k - 30 + Vertex(d[std::size_t(k - 1)], d[std::size_t(k)], d[std::size_t(k + 1)])) * step);
            expected.push_back(patchiness * FieldMean(fields.g, size, x, y, half));
        }
    double error2 = 0, spread2 = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        error2 += (found[i] - expected[i]) * (found[i] - expected[i]);
        spread2 += found[i] * found[i];
    }
    const double n = double(found.size());
    EXPECT_LT(std::sqrt(error2 / n), 0.04);
    // Sharper in some areas, softer in others, by about what P asks.
    EXPECT_GT(std::sqrt(spread2 / n), 0.6 * patchiness);
}

uint64_t Fnv(const talvenor::Bitmap24& b, uint64_t h = 1469598103934665603ull) {
    for (int y = 0; y < b.Height(); ++y)
        for (std::size_t i = 0; i < b.Stride(); ++i) {
            h ^= b.Row(y)[i];
            h *= 1099511628211ull;
        }
    return h;
}

// Through the generator: the same seed gives the same frames whatever order they are rendered
// in, each effect changes the frames but neither the plan truth.csv is written from nor the
// truth images, and even the strongest settings stay within the scene.
TEST(LocalSeeingCapture, SameSeedSameFramesInAnyOrderAndThePlanUnchanged) {
    const struct {
        double distortion, patchiness;
        SceneMode mode;
    } cases[] = {
        {1.5, 0, SceneMode::Planet}, {0, 0.4, SceneMode::Planet}, {1, 0.3, SceneMode::Moon}, {8, 1, SceneMode::Sun}};
    for (const auto& c : cases) {
        SCOPED_TRACE("distortion " + std::to_string(c.distortion) + " patchiness " + std::to_string(c.patchiness));
        CaptureOptions o = RealisticCaptureOptions();
        o.width = 96;
        o.height = 64;
        o.frames = 4;
        o.colour = true;
        o.mode = c.mode;
        o.seeing.distortion = c.distortion;
        o.seeing.patchiness = c.patchiness;
        CaptureOptions plainOptions = o, otherSeed = o;
        plainOptions.seeing.distortion = plainOptions.seeing.patchiness = 0;
        otherSeed.seed = 2;
        CaptureGenerator forward(o), backward(o), plain(plainOptions), other(otherSeed);
        std::vector<uint64_t> hashes(std::size_t(o.frames));
        for (int k = 0; k < o.frames; ++k) hashes[std::size_t(k)] = Fnv(forward.Frame8(k));
        for (int k = o.frames - 1; k >= 0; --k) {
            EXPECT_EQ(Fnv(backward.Frame8(k)), hashes[std::size_t(k)]) << "frame " << k;
            EXPECT_NE(Fnv(plain.Frame8(k)), hashes[std::size_t(k)]) << "frame " << k;
            EXPECT_NE(Fnv(other.Frame8(k)), hashes[std::size_t(k)]) << "frame " << k;
        }
        EXPECT_EQ(TruthCsv(forward.plan(), true), TruthCsv(plain.plan(), true));
        FloatImage truth, plainTruth;
        forward.RenderTruth(truth);
        plain.RenderTruth(plainTruth);
        EXPECT_EQ(truth.data, plainTruth.data);
    }
}

}  // namespace
