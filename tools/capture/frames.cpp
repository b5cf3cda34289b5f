#include "capture/frames.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "capture/lanes.h"
#include "capture/prng.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

enum : uint64_t { kPlan = 101, kNoise = 102 };

// H(x) = integral of the Gaussian's cumulative distribution: H'' is the Gaussian itself, so
// the second difference H(x+1) - 2 H(x) + H(x-1) is the Gaussian convolved with the unit
// tent, i.e. linear interpolation of the scene followed by the seeing blur, in closed form.
double IntegratedCdf(double x, double sigma) {
    if (sigma <= 0) return x > 0 ? x : 0;
    const double z = x / sigma;
    const double cdf = 0.5 * std::erfc(-z / 1.4142135623730951);
    const double pdf = std::exp(-0.5 * z * z) * 0.3989422804014327;
    return x * cdf + sigma * pdf;
}

double TentGauss(double x, double sigma) {
    return IntegratedCdf(x + 1, sigma) - 2 * IntegratedCdf(x, sigma) + IntegratedCdf(x - 1, sigma);
}

inline uint8_t Quantise8(float v) {
    const float s = v * 255.f;
    if (!(s > 0.f)) return 0;
    if (s >= 255.f) return 255;
    return uint8_t(std::lrint(s));
}

inline uint16_t Quantise16(float v) {
    const float s = v * 65535.f;
    if (!(s > 0.f)) return 0;
    if (s >= 65535.f) return 65535;
    return uint16_t(std::lrint(s));
}

inline float Luma(const FloatImage& im, std::size_t i) {
    return 0.299f * im.Plane(0)[i] + 0.587f * im.Plane(1)[i] + 0.114f * im.Plane(2)[i];
}

}  // namespace

std::vector<FrameTruth> PlanFrames(const MotionOptions& o) {
    Rng rng(SubSeed(o.seed, kPlan));
    const int n = std::max(0, o.frames);
    std::vector<FrameTruth> plan(static_cast<std::size_t>(n));
    const double lo = std::min(o.blurMin, o.blurMax), hi = std::max(o.blurMin, o.blurMax);
    for (int k = 0; k < n; ++k) {
        // Four draws per frame whatever the options, so changing one option (say the
        // brightness) leaves the shifts and blurs of the same seed as they were.
        const double jx = rng.Uniform(-1, 1), jy = rng.Uniform(-1, 1);
        const double seeing = rng.Uniform(), flicker = rng.Uniform(-1, 1);
        FrameTruth& t = plan[std::size_t(k)];
        if (k > 0) {
            t.dx = o.driftX * k + o.jitter * jx;
            t.dy = o.driftY * k + o.jitter * jy;
        }
        t.sigma = lo + (hi - lo) * std::sqrt(seeing);
        t.sigmaX = t.sigmaY = t.sigma;
        t.gain = 1 + o.brightness * flicker;
    }
    for (int d : o.dropped)
        if (d >= 0 && d < n) plan[std::size_t(d)].dropped = true;
    return plan;
}

int KernelRadius(double sigma) { return int(std::ceil(3.5 * std::max(0.0, sigma))) + 1; }

int MarginFor(const std::vector<FrameTruth>& plan) {
    int margin = 4;
    for (const FrameTruth& t : plan) {
        const double reach = std::max(std::fabs(t.dx), std::fabs(t.dy));
        const double widest = std::max({t.sigma, t.sigmaX, t.sigmaY});
        margin = std::max(margin, int(std::ceil(reach)) + KernelRadius(widest) + 2);
    }
    return margin;
}

void FloatImage::Allocate(int w, int h, int ch) {
    width = w;
    height = h;
    channels = ch;
    data.resize(std::size_t(w) * std::size_t(h) * std::size_t(ch));
}

FrameRenderer::FrameRenderer(const Scene& scene, double noise, uint64_t seed)
    : scene_(scene), noise_(std::max(0.0, noise)), seed_(seed) {}

FrameRenderer::FrameRenderer(const Scene& scene, const SensorModel& sensor, uint64_t seed)
    : scene_(scene), noise_(0), sensor_(sensor), seed_(seed) {}

namespace {

// Taps of the Gaussian of `sigma` convolved with the unit tent, sampled at whole pixels
// offset by `frac`; the first tap sits at offset `first`.
void BuildKernel(double sigma, double frac, std::vector<float>& taps, int& first) {
    const int r = KernelRadius(sigma);
    first = -r - 1;
    taps.resize(std::size_t(2 * r + 2));
    double sum = 0;
    std::vector<double> w(taps.size());
    for (std::size_t j = 0; j < taps.size(); ++j) {
        w[j] = std::max(0.0, TentGauss(double(first + int(j)) + frac, sigma));
        sum += w[j];
    }
    for (std::size_t j = 0; j < taps.size(); ++j) taps[j] = float(w[j] / sum);
}

// dst[x] = sum over j of (taps[j] * scale) * src[x + j * step], x = 0 .. w - 1, summed in the
// order of j from zero (every frame ever written depends on that order). Blocks of outputs
// are summed in registers: adding each tap to the whole row in memory, the renderer spent
// its time loading and storing the row.
void Convolve(const float* taps, int n, float scale, const float* src, std::size_t step, float* dst, int w) {
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        Lanes s0 = {}, s1 = {}, s2 = {}, s3 = {};
        const float* sj = src + x;
        for (int j = 0; j < n; ++j, sj += step) {
            const float k = taps[j] * scale;
            s0 += k * LoadLanes(sj);
            s1 += k * LoadLanes(sj + 4);
            s2 += k * LoadLanes(sj + 8);
            s3 += k * LoadLanes(sj + 12);
        }
        StoreLanes(dst + x, s0);
        StoreLanes(dst + x + 4, s1);
        StoreLanes(dst + x + 8, s2);
        StoreLanes(dst + x + 12, s3);
    }
    for (; x + 4 <= w; x += 4) {
        Lanes sum = {};
        const float* sj = src + x;
        for (int j = 0; j < n; ++j, sj += step) sum += taps[j] * scale * LoadLanes(sj);
        StoreLanes(dst + x, sum);
    }
    for (; x < w; ++x) {
        float sum = 0.f;
        const float* sj = src + x;
        for (int j = 0; j < n; ++j, sj += step) sum += taps[j] * scale * *sj;
        dst[x] = sum;
    }
}

}  // namespace

SeparableBlur::SeparableBlur(double sigmaX, double sigmaY, double dx, double dy, double gain)
    : shiftX_(int(std::floor(dx))), shiftY_(int(std::floor(dy))), gain_(float(gain)) {
    BuildKernel(sigmaX, dx - std::floor(dx), kx_, firstX_);
    BuildKernel(sigmaY, dy - std::floor(dy), ky_, firstY_);
}

bool SeparableBlur::Render(const Scene& s, int c, int x0, int y0, int w, int h, std::vector<float>& rows,
                           float* out) const {
    const int stride = s.Stride(), nx = int(kx_.size()), ny = int(ky_.size());
    // Output pixel x reads scene columns x - shiftX + firstX .. + nx - 1, rows likewise.
    const int col0 = x0 - shiftX_ + firstX_, row0 = y0 - shiftY_ + firstY_;
    const int srcRows = h + ny - 1;
    if (col0 < -s.margin || col0 + w + nx - 1 > s.width + s.margin || row0 < -s.margin ||
        row0 + srcRows > s.height + s.margin)
        return false;
    rows.resize(std::size_t(srcRows) * std::size_t(w));

    const float* plane = s.Plane(c);
    for (int r = 0; r < srcRows; ++r) {
        const float* src =
            plane + std::size_t(row0 + r + s.margin) * std::size_t(stride) + std::size_t(col0 + s.margin);
        Convolve(kx_.data(), nx, 1.f, src, 1, rows.data() + std::size_t(r) * std::size_t(w), w);
    }
    for (int y = 0; y < h; ++y)
        Convolve(ky_.data(), ny, gain_, rows.data() + std::size_t(y) * std::size_t(w), std::size_t(w),
                 out + std::size_t(y) * std::size_t(w), w);
    return true;
}

void FrameRenderer::Render(int index, const FrameTruth& truth, FloatImage& out) {
    const Scene& s = scene_;
    out.Allocate(s.width, s.height, s.channels);
    // A plan that gives only `sigma` (a hand-made one) blurs both axes alike.
    const bool axes = truth.sigmaX > 0 || truth.sigmaY > 0;
    const SeparableBlur blur(axes ? truth.sigmaX : truth.sigma, axes ? truth.sigmaY : truth.sigma, truth.dx, truth.dy,
                             truth.gain);
    for (int c = 0; c < s.channels; ++c)
        if (!blur.Render(s, c, 0, 0, s.width, s.height, rows_, out.Plane(c)))
            throw Error("frame " + std::to_string(index) + " moves beyond the scene margin of " +
                        std::to_string(s.margin) + " pixels");
    Expose(index, out);
}

void FrameRenderer::Expose(int index, FloatImage& out) const {
    if (sensor_) {
        ExposeSensor(out.data.data(), out.data.size(), *sensor_, SubSeed(seed_, kNoise, uint64_t(index)));
        return;
    }
    if (noise_ <= 0) return;
    // Irwin-Hall: the sum of four 16-bit uniforms from one 64-bit draw is close enough to a
    // normal deviate for sensor noise, and far cheaper than Box-Muller per pixel.
    Rng rng(SubSeed(seed_, kNoise, uint64_t(index)));
    const float level = float(noise_ / 255.0);
    const float toNormal = 1.f / 37837.23f;
    const std::size_t count = out.data.size();
    float* v = out.data.data();
    for (std::size_t i = 0; i < count; ++i) {
        const uint64_t r = rng.Next();
        const float g = float(int((r & 0xFFFF) + ((r >> 16) & 0xFFFF) + ((r >> 32) & 0xFFFF) + (r >> 48)) - 131070) *
                        toNormal;
        const float signal = v[i] > 0.f ? v[i] : 0.f;
        v[i] += level * std::sqrt(0.2f + 0.8f * signal) * g;
    }
}

void FrameRenderer::RenderTruth(FloatImage& out) const {
    const Scene& s = scene_;
    out.Allocate(s.width, s.height, s.channels);
    for (int c = 0; c < s.channels; ++c)
        for (int y = 0; y < s.height; ++y) {
            const float* src = s.Plane(c) + std::size_t(y + s.margin) * std::size_t(s.Stride()) + std::size_t(s.margin);
            std::copy(src, src + s.width, out.Plane(c) + std::size_t(y) * std::size_t(s.width));
        }
}

void ToBitmap24(const FloatImage& im, Bitmap24& out) {
    if (out.Width() != im.width || out.Height() != im.height) out.SetSize(im.width, im.height);
    const int ch = im.channels;
    for (int y = 0; y < im.height; ++y) {
        uint8_t* row = out.Row(y);
        const std::size_t base = std::size_t(y) * std::size_t(im.width);
        if (ch == 3) {
            const float *r = im.Plane(0) + base, *g = im.Plane(1) + base, *b = im.Plane(2) + base;
            for (int x = 0; x < im.width; ++x) {
                row[3 * x] = Quantise8(b[x]);
                row[3 * x + 1] = Quantise8(g[x]);
                row[3 * x + 2] = Quantise8(r[x]);
            }
        } else {
            const float* v = im.Plane(0) + base;
            for (int x = 0; x < im.width; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = Quantise8(v[x]);
        }
    }
    out.Touch();
}

void ToGrey8(const FloatImage& im, std::vector<uint8_t>& out) {
    const std::size_t n = std::size_t(im.width) * std::size_t(im.height);
    out.resize(n);
    if (im.channels == 3)
        for (std::size_t i = 0; i < n; ++i) out[i] = Quantise8(Luma(im, i));
    else
        for (std::size_t i = 0; i < n; ++i) out[i] = Quantise8(im.Plane(0)[i]);
}

void ToWords(const FloatImage& im, bool grey, std::vector<uint16_t>& out) {
    const std::size_t n = std::size_t(im.width) * std::size_t(im.height);
    if (grey) {
        out.resize(n);
        for (std::size_t i = 0; i < n; ++i) out[i] = Quantise16(im.channels == 3 ? Luma(im, i) : im.Plane(0)[i]);
        return;
    }
    out.resize(3 * n);
    for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) out[3 * i + std::size_t(c)] = Quantise16(im.Plane(im.channels == 3 ? c : 0)[i]);
}

}  // namespace talvenor::capture
