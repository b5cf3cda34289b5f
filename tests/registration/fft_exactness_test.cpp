// The engine's transforms, radial spectrum and quality box are laid out for speed (several
// columns per vector, sums per radius bin, boxes staged row by row); these tests hold them to
// the plain one-value-at-a-time computations bit for bit, so the speed never moves a shift or
// a quality.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "registration/fft_engine.h"
#include "registration/quality_box.h"
#include "registration/luminance.h"

namespace talvenor {
namespace {

constexpr int kSizes[] = {32, 64, 128, 256, 512};

// A plane as plain arrays, x * n + y.
struct Plain {
    int n = 0;
    std::vector<float> re, im;
    float& Re(int x, int y) { return re[std::size_t(x) * n + y]; }
    float& Im(int x, int y) { return im[std::size_t(x) * n + y]; }
};

int BitReverse(int v, int n) {
    int r = 0;
    for (int b = 1; b < n; b *= 2, v >>= 1) r = (r << 1) | (v & 1);
    return r;
}

void Twiddle(int half, int j, float& c, float& s) {
    if (j == 0) {
        c = 1.0f;
        s = 0.0f;
    } else if (2 * j == half) {
        c = 0.0f;
        s = 1.0f;
    } else {
        const double angle = std::numbers::pi * j / half;
        c = float(std::cos(angle));
        s = float(std::sin(angle));
    }
}

// One 1-D radix-2 transform, one value at a time; `fastStart` does the first two stages as
// the additions their exact twiddles 1 and +-i amount to.
void Transform1D(std::vector<float>& re, std::vector<float>& im, bool forward, bool fastStart) {
    const int n = int(re.size());
    std::vector<float> r(re.size()), i(im.size());
    for (int k = 0; k < n; ++k) {
        r[std::size_t(BitReverse(k, n))] = re[std::size_t(k)];
        i[std::size_t(BitReverse(k, n))] = im[std::size_t(k)];
    }
    int firstHalf = 1;
    if (fastStart) {
        for (int s = 0; s < n; s += 4) {
            const float a0r = r[s] + r[s + 1], a0i = i[s] + i[s + 1];
            const float a1r = r[s] - r[s + 1], a1i = i[s] - i[s + 1];
            const float b0r = r[s + 2] + r[s + 3], b0i = i[s + 2] + i[s + 3];
            const float b1r = r[s + 2] - r[s + 3], b1i = i[s + 2] - i[s + 3];
            const float tr = forward ? -b1i : b1i, ti = forward ? b1r : -b1r;
            r[s] = a0r + b0r;
            i[s] = a0i + b0i;
            r[s + 2] = a0r - b0r;
            i[s + 2] = a0i - b0i;
            r[s + 1] = a1r + tr;
            i[s + 1] = a1i + ti;
            r[s + 3] = a1r - tr;
            i[s + 3] = a1i - ti;
        }
        firstHalf = 4;
    }
    for (int half = firstHalf; half < n; half *= 2)
        for (int s = 0; s < n; s += 2 * half)
            for (int j = 0; j < half; ++j) {
                float c, d;
                Twiddle(half, j, c, d);
                if (!forward) d = -d;
                const std::size_t p = std::size_t(s + j), q = p + std::size_t(half);
                const float tr = c * r[q] - d * i[q];
                const float ti = c * i[q] + d * r[q];
                r[q] = r[p] - tr;
                i[q] = i[p] - ti;
                r[p] += tr;
                i[p] += ti;
            }
    re = r;
    im = i;
}

// Along x (general stages), then along y (fast start) forward; the reverse order, each axis
// scaled by 1/n, inverse.
void Transform2D(Plain& p, bool forward) {
    const int n = p.n;
    const float scale = forward ? 1.0f : 1.0f / float(n);
    std::vector<float> re(static_cast<std::size_t>(n)), im(static_cast<std::size_t>(n));
    const auto alongX = [&] {
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) re[x] = p.Re(x, y), im[x] = p.Im(x, y);
            Transform1D(re, im, forward, false);
            for (int x = 0; x < n; ++x) p.Re(x, y) = forward ? re[x] : re[x] * scale, p.Im(x, y) = forward ? im[x] : im[x] * scale;
        }
    };
    const auto alongY = [&] {
        for (int x = 0; x < n; ++x) {
            for (int y = 0; y < n; ++y) re[y] = p.Re(x, y), im[y] = p.Im(x, y);
            Transform1D(re, im, forward, true);
            for (int y = 0; y < n; ++y) p.Re(x, y) = forward ? re[y] : re[y] * scale, p.Im(x, y) = forward ? im[y] : im[y] * scale;
        }
    };
    if (forward) {
        alongX();
        alongY();
    } else {
        alongY();
        alongX();
    }
}

// The radial spectrum as one sweep over the plane.
std::array<float, 256> RadialSpectrum(Plain& p) {
    const int n = p.n, h = n / 2;
    std::array<double, 256> sums{};
    std::array<int, 256> counts{};
    float peak = -1e11f;
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
            const int fx = (x + h) % n - h, fy = (y + h) % n - h;
            const long r = std::lrint(std::sqrt(double(fx * fx + fy * fy)));
            const float m = float(std::sqrt(double(p.Re(x, y)) * p.Re(x, y) + double(p.Im(x, y)) * p.Im(x, y)));
            peak = std::max(peak, m);
            if (r >= 1 && r <= 255) {
                sums[std::size_t(r)] += m;
                ++counts[std::size_t(r)];
            }
        }
    std::array<float, 256> out{};
    const double s = 1.0 / (double(peak) + 0.00001);
    for (int k = 0; k < 255; ++k)
        out[std::size_t(k)] = counts[std::size_t(k) + 1] ? float(sums[std::size_t(k) + 1] * s / counts[std::size_t(k) + 1]) : 0.0f;
    return out;
}

Plain RandomPlain(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-100.0f, 100.0f);
    Plain p{n, std::vector<float>(std::size_t(n) * n), std::vector<float>(std::size_t(n) * n)};
    for (auto& v : p.re) v = dist(gen);
    for (auto& v : p.im) v = dist(gen);
    return p;
}

void Load(FftEngine& e, Plain& p) {
    for (int x = 0; x < p.n; ++x)
        for (int y = 0; y < p.n; ++y) e.TransformRe(x, y) = p.Re(x, y), e.TransformIm(x, y) = p.Im(x, y);
}

// Bit patterns, so -0 against +0 or differing NaNs count as differences.
bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int Mismatches(const FftEngine& e, Plain& p) {
    int bad = 0;
    for (int x = 0; x < p.n; ++x)
        for (int y = 0; y < p.n; ++y)
            bad += !SameBits(e.TransformRe(x, y), p.Re(x, y)) || !SameBits(e.TransformIm(x, y), p.Im(x, y));
    return bad;
}

FftEngine& SharedEngine() {
    static auto engine = std::make_unique<FftEngine>();
    return *engine;
}

TEST(FftExactness, TransformsAndSpectrumMatchThePlainComputationBitForBit) {
    FftEngine baseline(FftVectors::Baseline);
    for (const int n : kSizes)
        for (FftEngine* engine : {&SharedEngine(), &baseline}) {
            FftEngine& e = *engine;
            SCOPED_TRACE(testing::Message() << n << (engine == &baseline ? " baseline vectors" : " widest vectors"));
            e.SetTransformSize(n);
            Plain p = RandomPlain(n, unsigned(n));
            Load(e, p);
            e.ForwardTransform2D();
            Transform2D(p, true);
            EXPECT_EQ(Mismatches(e, p), 0) << "forward";
            e.ComputeRadialSpectrum();
            const auto expected = RadialSpectrum(p);
            int spectrumBad = 0;
            for (int k = 0; k < 256; ++k) spectrumBad += !SameBits(e.RadialSpectrum[std::size_t(k)], expected[std::size_t(k)]);
            EXPECT_EQ(spectrumBad, 0) << "radial spectrum";
            e.InverseTransform2D();
            Transform2D(p, false);
            EXPECT_EQ(Mismatches(e, p), 0) << "inverse";
            WhitenSpectrum(e.TransformRe, e.TransformIm, n,
                           engine == &baseline ? FftVectors::Baseline : FftVectors::Widest);
            for (std::size_t i = 0; i < p.re.size(); ++i) {
                const float m = std::sqrt(p.re[i] * p.re[i] + p.im[i] * p.im[i] + 0.000001f);
                p.re[i] /= m;
                p.im[i] /= m;
            }
            EXPECT_EQ(Mismatches(e, p), 0) << "whitened";
        }
}

// The quality box as it was first written: the plane filled pixel by pixel, the pixels inside
// the frame marked, their mean taken, then mean-free and tapered.
std::array<float, 256> PlainBoxSpectrum(const Bitmap24& frame, int width, int height, int left, int top,
                                        const std::array<float, 3>& w, const std::vector<float>& taper, int q) {
    Plain p{q, std::vector<float>(std::size_t(q) * q), std::vector<float>(std::size_t(q) * q)};
    std::vector<bool> inside(std::size_t(q) * q);
    double sum = 0;
    long long count = 0;
    for (int y = 0; y < q; ++y)
        for (int x = 0; x < q; ++x) {
            const int fx = left + x, fy = top + y;
            if (fx < 0 || fy < 0 || fx >= width || fy >= height) continue;
            const float l = Luminance(frame.Row(fy) + 3 * fx, w);
            p.Re(x, y) = l;
            inside[std::size_t(x) * q + y] = true;
            sum += l;
            ++count;
        }
    const float mean = count > 0 ? float(sum / double(count)) : 0.0f;
    for (int x = 0; x < q; ++x)
        for (int y = 0; y < q; ++y)
            p.Re(x, y) = inside[std::size_t(x) * q + y] ? (p.Re(x, y) - mean) * taper[x] * taper[y] : 0.0f;
    Transform2D(p, true);
    return RadialSpectrum(p);
}

TEST(FftExactness, QualityBoxMatchesThePlainComputationWhereverTheBoxLies) {
    const int width = 300, height = 200, q = 128;
    Bitmap24 frame(width, height);
    std::mt19937 gen(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x) frame.Row(y)[x] = uint8_t(gen() % 256);
    const std::array<float, 3> weights{0.299f, 0.587f, 0.114f};
    std::vector<float> taper(q);
    for (int i = 0; i < q; ++i) taper[std::size_t(i)] = float(0.5 * (1 - std::cos(2 * std::numbers::pi * (i + 0.5) / q)));
    struct Case {
        const char* what;
        int left, top;
    };
    const Case cases[] = {{"inside", 40, 30},      {"past the left and top", -50, -20}, {"past the right", 250, 10},
                          {"past the bottom", 20, 150}, {"past every side", -10, -10},     {"outside", 400, 300}};
    FftEngine baseline(FftVectors::Baseline);
    for (FftEngine* engine : {&SharedEngine(), &baseline})
        for (const Case& c : cases) {
            FftEngine& e = *engine;
            e.SetTransformSize(q);
            SCOPED_TRACE(testing::Message() << c.what << (engine == &baseline ? ", baseline vectors" : ""));
            // Garbage in the planes must not leak into the box.
            e.TransformRe(5, 5) = 1e6f;
            e.TransformIm(7, 3) = -3.0f;
            MeasureBoxSpectrum(frame, width, height, c.left, c.top, weights, e, taper);
            const auto expected = PlainBoxSpectrum(frame, width, height, c.left, c.top, weights, taper, q);
            int bad = 0;
            for (int k = 0; k < 256; ++k) bad += !SameBits(e.RadialSpectrum[std::size_t(k)], expected[std::size_t(k)]);
            EXPECT_EQ(bad, 0);
        }
}

}  // namespace
}  // namespace talvenor
