#include "registration/fft_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "workspace/error.h"

namespace talvenor {
namespace {

constexpr int kSizes[] = {32, 64, 128, 256, 512};

// One engine for the whole file: it holds three 4 MB planes.
FftEngine& Engine(int n) {
    static auto engine = std::make_unique<FftEngine>();
    engine->SetTransformSize(n);
    engine->TransformRe.ClearCorner(n);
    engine->TransformIm.ClearCorner(n);
    return *engine;
}

using Plane = std::vector<std::complex<double>>;  // N x N at x * N + y

Plane RandomPlane(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    Plane p(std::size_t(n) * n);
    for (auto& v : p) v = {dist(gen), dist(gen)};
    return p;
}

void Load(FftEngine& e, const Plane& p) {
    const int n = e.AlignBoxSize();
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
            e.TransformRe(x, y) = float(p[std::size_t(x) * n + y].real());
            e.TransformIm(x, y) = float(p[std::size_t(x) * n + y].imag());
        }
}

// The largest deviation of the engine's plane from the expected one, relative to the largest
// expected magnitude.
double RelativeError(const FftEngine& e, const Plane& expected) {
    const int n = e.AlignBoxSize();
    double err = 0, scale = 0;
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
            const auto want = expected[std::size_t(x) * n + y];
            const std::complex<double> got(e.TransformRe(x, y), e.TransformIm(x, y));
            err = std::max(err, std::abs(got - want));
            scale = std::max(scale, std::abs(want));
        }
    return err / scale;
}

// The textbook DFT in double, one axis after the other (the 2-D DFT is separable).
Plane NaiveDft(const Plane& in, int n, int sign, double scale) {
    std::vector<std::complex<double>> w(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) w[std::size_t(k)] = std::polar(1.0, sign * 2.0 * std::numbers::pi * k / n);
    Plane tmp(in.size()), out(in.size());
    for (int y = 0; y < n; ++y)
        for (int k = 0; k < n; ++k) {
            std::complex<double> sum = 0;
            for (int x = 0; x < n; ++x) sum += in[std::size_t(x) * n + y] * w[std::size_t(x * k % n)];
            tmp[std::size_t(k) * n + y] = sum * scale;
        }
    for (int x = 0; x < n; ++x)
        for (int k = 0; k < n; ++k) {
            std::complex<double> sum = 0;
            for (int y = 0; y < n; ++y) sum += tmp[std::size_t(x) * n + y] * w[std::size_t(y * k % n)];
            out[std::size_t(x) * n + k] = sum * scale;
        }
    return out;
}

TEST(FftEngineSize, AcceptsPowersOfTwoFrom32To512Only) {
    FftEngine& e = Engine(64);
    for (int n : {0, 16, 100, 1024, -64, 513}) {
        try {
            e.SetTransformSize(n);
            ADD_FAILURE() << "size " << n << " accepted";
        } catch (const Error& err) {
            EXPECT_EQ(err.what(), "unsupported transform size " + std::to_string(n));
        }
        EXPECT_EQ(e.AlignBoxSize(), 64) << "a rejected size must leave the engine as it was";
    }
    int bits = 5;
    for (int n : kSizes) {
        e.SetTransformSize(n);
        EXPECT_EQ(e.FFTBits(), bits++);
        EXPECT_EQ(e.FFTHalfSize(), n / 2);
    }
}

TEST(FftEnginePlane, ClearAndCopyTouchOnlyTheCornerAndGrowingKeepsTheValues) {
    FftPlane a, b, small;
    a.Fit(40);
    b.Fit(40);
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 40; ++y) {
            a(x, y) = float(x * 100 + y);
            b(x, y) = -1;
        }
    b.CopyCornerFrom(a, 32);
    EXPECT_EQ(b(31, 31), 3131);
    EXPECT_EQ(b(32, 0), -1);
    EXPECT_EQ(b(0, 32), -1);
    a.ClearCorner(32);
    EXPECT_EQ(a(31, 31), 0);
    EXPECT_EQ(a(32, 5), 3205);
    EXPECT_EQ(a(5, 32), 532);
    // Growing (a smaller fit changes nothing) keeps every value, and what was never written is 0.
    a.Fit(16);
    a.Fit(600);
    EXPECT_EQ(a.Side(), 600);
    EXPECT_EQ(a(39, 39), 3939);
    EXPECT_EQ(a(32, 5), 3205);
    EXPECT_EQ(a(599, 599), 0);
    EXPECT_EQ(a(5, 40), 0);
    // A copy from a smaller plane reads zeros past that plane's side.
    small.Fit(8);
    small(7, 7) = 5;
    b.CopyCornerFrom(small, 32);
    EXPECT_EQ(b(7, 7), 5);
    EXPECT_EQ(b(20, 3), 0);
    EXPECT_EQ(b(3, 20), 0);
    EXPECT_EQ(b(33, 0), -1);
}

// Each case fills the plane with in(x, y) and expects out(x, y) to single precision
// relative to the largest expected value.
using PlaneFunction = std::complex<double> (*)(int x, int y, int n);
struct ToneCase {
    const char* name;
    int n;
    PlaneFunction in, out;
};

TEST(FftEngineForward, TonesLandOnTheirFrequencies) {
    constexpr int a = 5;
    using C = std::complex<double>;
    constexpr double pi = std::numbers::pi;
    const auto impulse = [](int x, int y, int) { return C(x == 0 && y == 0, 0); };
    const auto ones = [](int, int, int) { return C(1, 0); };
    const auto cosine = [](int x, int, int n) { return C(std::cos(2 * pi * a * x / n), 0); };
    const auto cosinePeaks = [](int x, int y, int n) { return C((x == a || x == n - a) && y == 0 ? n * n / 2.0 : 0, 0); };
    const ToneCase cases[] = {
        {"impulse", 32, impulse, ones},
        {"impulse", 512, impulse, ones},
        {"constant", 64, [](int, int, int) { return C(0.75, 0); },
         [](int x, int y, int n) { return C(x == 0 && y == 0 ? 0.75 * n * n : 0, 0); }},
        // e^(+2 pi i a x / N) lands on -a: the forward transform uses the positive exponent.
        {"exponential along x", 64, [](int x, int, int n) { return std::polar(1.0, 2 * pi * a * x / n); },
         [](int x, int y, int n) { return C(x == n - a && y == 0 ? n * n : 0, 0); }},
        {"exponential along y", 128, [](int, int y, int n) { return std::polar(1.0, 2 * pi * a * y / n); },
         [](int x, int y, int n) { return C(x == 0 && y == n - a ? n * n : 0, 0); }},
        {"cosine along x", 32, cosine, cosinePeaks},
        {"cosine along x", 256, cosine, cosinePeaks},
    };
    for (const auto& c : cases) {
        FftEngine& e = Engine(c.n);
        Plane in(std::size_t(c.n) * c.n), expected(in.size());
        for (int x = 0; x < c.n; ++x)
            for (int y = 0; y < c.n; ++y) {
                in[std::size_t(x) * c.n + y] = c.in(x, y, c.n);
                expected[std::size_t(x) * c.n + y] = c.out(x, y, c.n);
            }
        Load(e, in);
        e.ForwardTransform2D();
        EXPECT_LT(RelativeError(e, expected), 1e-6) << c.name << ", N = " << c.n;
    }
}

TEST(FftEngineForward, AgreesWithTheTextbookDftBothWays) {
    for (int n : {32, 64, 128}) {
        const Plane in = RandomPlane(n, 1234u + unsigned(n));
        FftEngine& e = Engine(n);
        Load(e, in);
        e.ForwardTransform2D();
        EXPECT_LT(RelativeError(e, NaiveDft(in, n, +1, 1.0)), 2e-6) << "forward, N = " << n;

        Load(e, in);
        e.InverseTransform2D();
        EXPECT_LT(RelativeError(e, NaiveDft(in, n, -1, 1.0 / n)), 2e-6) << "inverse, N = " << n;
    }
}

TEST(FftEngineInverse, RoundTripReproducesTheInput) {
    for (int n : kSizes) {
        FftEngine& e = Engine(n);
        // Image-like data: 0..255 with a large mean, which is what alignment feeds in.
        std::mt19937 gen(static_cast<unsigned>(n));
        std::uniform_real_distribution<float> dist(0.0f, 255.0f);
        Plane in(std::size_t(n) * n);
        for (auto& v : in) v = {double(dist(gen)), 0.0};
        Load(e, in);
        e.ForwardTransform2D();
        e.InverseTransform2D();
        EXPECT_LT(RelativeError(e, in), 1e-5) << "N = " << n;
    }
}

// How many frequencies of an N x N plane have rounded radius r.
int FrequenciesAtRadius(int n, int r) {
    int count = 0;
    for (int fx = -n / 2; fx < n / 2; ++fx)
        for (int fy = -n / 2; fy < n / 2; ++fy) count += std::lrint(std::hypot(fx, fy)) == r;
    return count;
}

TEST(FftEngineRadialSpectrum, PutsEachFrequencyInItsRadiusBin) {
    struct Case {
        int n, x, y;
        int radius;  // 0: expect an empty spectrum
    } cases[] = {
        {64, 0, 0, 0},      // frequency 0 is the mean level and is ignored
        {64, 3, 4, 5},
        {64, 64 - 3, 64 - 4, 5},  // negative frequencies count by their distance
        {32, 16, 0, 16},    // index N/2 is frequency -N/2
        {512, 255, 0, 255},
        {512, 256, 0, 0},   // radius 256 is beyond the last entry
        {512, 200, 200, 0}, // radius 283
    };
    for (const auto& c : cases) {
        FftEngine& e = Engine(c.n);
        e.TransformRe(c.x, c.y) = 600;
        e.TransformIm(c.x, c.y) = -800;
        e.ComputeRadialSpectrum();
        for (int k = 0; k < 256; ++k) {
            const double want = k + 1 == c.radius ? 1000.0 / (1000.00001 * FrequenciesAtRadius(c.n, c.radius)) : 0.0;
            ASSERT_NEAR(e.RadialSpectrum[std::size_t(k)], want, 1e-7)
                << "entry " << k << ", N = " << c.n << ", (" << c.x << ", " << c.y << ")";
        }
        EXPECT_FLOAT_EQ(e.RadialSpectrumMax, *std::max_element(e.RadialSpectrum.begin(), e.RadialSpectrum.end()));
    }
}

TEST(FftEngineRadialSpectrum, FlatSpectrumGivesOnesUpToTheCornerRadius) {
    FftEngine& e = Engine(32);
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 32; ++y) e.TransformRe(x, y) = 2;
    e.TransformRe(0, 0) = 50;  // the mean level sets the peak but is not itself counted
    e.ComputeRadialSpectrum();
    const int corner = int(std::lrint(std::hypot(16, 16)));  // 23
    for (int k = 0; k < 256; ++k)
        EXPECT_NEAR(e.RadialSpectrum[std::size_t(k)], k < corner ? 2 / 50.00001 : 0.0, 1e-7) << k;
    EXPECT_NEAR(e.RadialSpectrumMax, 2 / 50.00001, 1e-7);
}

struct RenderCase {
    const char* name;
    float re, im;
    bool withIm;
    double threshold;
    Bgr peakColour;
};

TEST(FftEngineRender, PeakAndBackgroundColours) {
    const Bgr background{255, 0, 255};  // 380 nm
    const RenderCase cases[] = {
        {"re and im, threshold 1", 600, 800, true, 1.0, Bgr{0, 57, 255}},
        {"re only, threshold 1", -1000, 0, false, 1.0, Bgr{0, 57, 255}},
        {"threshold 0.5", 1000, 0, true, 0.5, Bgr{255, 0, 0}},
    };
    const int n = 64, x0 = 5, y0 = 40;
    for (const auto& c : cases) {
        FftEngine& e = Engine(n);
        FftPlane re, im;
        re.Fit(n);
        im.Fit(n);
        re(x0, y0) = c.re;
        im(x0, y0) = c.im;
        const Bitmap24 picture = e.RenderSpectrum(re, c.withIm ? &im : nullptr, c.threshold);
        ASSERT_EQ(picture.Width(), n);
        ASSERT_EQ(picture.Height(), n);
        const int px = (x0 + n / 2) % n, py = (y0 + n / 2) % n;
        int others = 0;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                if (x == px && y == py) EXPECT_EQ(picture.Pixel(x, y), c.peakColour) << c.name;
                else others += !(picture.Pixel(x, y) == background);
            }
        EXPECT_EQ(others, 0) << c.name;
    }
    FftEngine& e = Engine(32);
    const FftPlane zero;
    const Bitmap24 picture = e.RenderSpectrum(zero, &zero, 1.0);
    Bitmap24 all(32, 32);
    all.Fill(background);
    EXPECT_TRUE(picture == all);
}

TEST(FftEngineRender, NonFiniteMagnitudesDrawAsZero) {
    FftEngine& e = Engine(32);
    FftPlane re;
    re.Fit(32);
    re(1, 2) = std::nanf("");
    re(3, 4) = 1000;
    const Bitmap24 picture = e.RenderSpectrum(re, nullptr, 1.0);
    EXPECT_EQ(picture.Pixel(17, 18), (Bgr{255, 0, 255}));
    EXPECT_EQ(picture.Pixel(19, 20), (Bgr{0, 57, 255}));
}

TEST(FftEngineRender, SpectralColourTable) {
    const struct {
        double w;
        Bgr colour;
    } cases[] = {
        {380, {255, 0, 255}}, {410, {255, 0, 146}}, {439.5, {255, 0, 6}}, {440, {255, 0, 0}},
        {465, {255, 146, 0}}, {490, {255, 255, 0}}, {500, {146, 255, 0}}, {509, {23, 255, 0}},
        {510, {0, 255, 0}},   {545, {0, 255, 146}}, {580, {0, 255, 255}}, {635, {0, 57, 255}},
        {644, {0, 9, 255}},   {645, {0, 0, 255}},   {780.5, {0, 0, 255}}, {781, {0, 0, 0}},
        {379.9, {0, 0, 0}},   {-5, {0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(SpectralColour(c.w), c.colour) << c.w << " nm";
}

}  // namespace
}  // namespace talvenor
