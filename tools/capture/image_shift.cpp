#include "capture/image_shift.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "workspace/error.h"

namespace talvenor::capture {

namespace {

constexpr int kLobes = 3;

double Lanczos(double x) {
    if (x == 0) return 1;
    if (std::fabs(x) >= kLobes) return 0;
    const double px = std::numbers::pi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// Taps for sampling at x - d: source index x + first + j, j = 0 .. 2 kLobes - 1.
struct Taps {
    int first = 0;
    double w[2 * kLobes] = {};
};

Taps TapsFor(double d) {
    // Sample position p = x - d = x + base + t, base = floor(-d), t in [0, 1).
    const double base = std::floor(-d);
    const double t = -d - base;
    Taps taps;
    taps.first = int(base) - kLobes + 1;
    double sum = 0;
    for (int j = 0; j < 2 * kLobes; ++j) {
        taps.w[j] = Lanczos(t - double(j - kLobes + 1));
        sum += taps.w[j];
    }
    for (double& v : taps.w) v /= sum;
    return taps;
}

struct Plane {
    std::vector<float> v;
    int w = 0, h = 0;
};

Plane Halve(const Plane& p) {
    Plane q;
    q.w = p.w / 2;
    q.h = p.h / 2;
    q.v.resize(std::size_t(q.w) * std::size_t(q.h));
    for (int y = 0; y < q.h; ++y)
        for (int x = 0; x < q.w; ++x) {
            const std::size_t i = std::size_t(2 * y) * std::size_t(p.w) + std::size_t(2 * x);
            q.v[std::size_t(y) * std::size_t(q.w) + std::size_t(x)] =
                0.25f * (p.v[i] + p.v[i + 1] + p.v[i + std::size_t(p.w)] + p.v[i + std::size_t(p.w) + 1]);
        }
    return q;
}

// Normalised correlation of a(x) with b(x - d) over their overlap; -2 when the overlap is
// under a quarter of the picture (too little to trust).
double Correlation(const Plane& a, const Plane& b, int dx, int dy) {
    const int x0 = std::max(0, dx), x1 = std::min(a.w, b.w + dx);
    const int y0 = std::max(0, dy), y1 = std::min(a.h, b.h + dy);
    if ((x1 - x0) * 4 < a.w || (y1 - y0) * 4 < a.h) return -2;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int y = y0; y < y1; ++y) {
        const float* ra = a.v.data() + std::size_t(y) * std::size_t(a.w);
        const float* rb = b.v.data() + std::size_t(y - dy) * std::size_t(b.w) - dx;
        for (int x = x0; x < x1; ++x) {
            const double p = ra[x], q = rb[x];
            sa += p;
            sb += q;
            saa += p * p;
            sbb += q * q;
            sab += p * q;
        }
    }
    const double n = double(x1 - x0) * double(y1 - y0);
    const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
    if (va <= 0 || vb <= 0) return -2;
    return (sab - sa * sb / n) / std::sqrt(va * vb);
}

// Vertex of the parabola through (-1, m), (0, c), (1, p), within -0.5 .. 0.5.
double Vertex(double m, double c, double p) {
    const double den = m - 2 * c + p;
    if (!(den < 0)) return 0;
    return std::clamp(0.5 * (m - p) / den, -0.5, 0.5);
}

}  // namespace

std::vector<float> LuminanceOf(const FloatImage& im) {
    const std::size_t n = std::size_t(im.width) * std::size_t(im.height);
    if (im.channels != 3) return std::vector<float>(im.data.begin(), im.data.begin() + long(n));
    std::vector<float> out(n);
    const float *r = im.Plane(0), *g = im.Plane(1), *b = im.Plane(2);
    for (std::size_t i = 0; i < n; ++i) out[i] = 0.299f * r[i] + 0.587f * g[i] + 0.114f * b[i];
    return out;
}

void ShiftImage(const FloatImage& in, double dx, double dy, FloatImage& out, std::vector<uint8_t>* valid) {
    const int w = in.width, h = in.height;
    out.Allocate(w, h, in.channels);
    const Taps tx = TapsFor(dx), ty = TapsFor(dy);
    std::vector<float> rows(std::size_t(w) * std::size_t(h));
    // Columns and rows whose taps stay inside the picture.
    const int xLo = std::max(0, -tx.first), xHi = std::min(w, w - (tx.first + 2 * kLobes - 1));
    const int yLo = std::max(0, -ty.first), yHi = std::min(h, h - (ty.first + 2 * kLobes - 1));
    for (int c = 0; c < in.channels; ++c) {
        const float* src = in.Plane(c);
        for (int y = 0; y < h; ++y) {
            const float* s = src + std::size_t(y) * std::size_t(w);
            float* d = rows.data() + std::size_t(y) * std::size_t(w);
            for (int x = 0; x < w; ++x) {
                double sum = 0;
                if (x >= xLo && x < xHi) {
                    const float* p = s + x + tx.first;
                    for (int j = 0; j < 2 * kLobes; ++j) sum += tx.w[j] * p[j];
                } else {
                    for (int j = 0; j < 2 * kLobes; ++j) sum += tx.w[j] * s[std::clamp(x + tx.first + j, 0, w - 1)];
                }
                d[x] = float(sum);
            }
        }
        float* dst = out.Plane(c);
        for (int y = 0; y < h; ++y) {
            float* d = dst + std::size_t(y) * std::size_t(w);
            std::fill(d, d + w, 0.f);
            for (int j = 0; j < 2 * kLobes; ++j) {
                const int sy = std::clamp(y + ty.first + j, 0, h - 1);
                const float k = float(ty.w[j]);
                const float* s = rows.data() + std::size_t(sy) * std::size_t(w);
                for (int x = 0; x < w; ++x) d[x] += k * s[x];
            }
        }
    }
    if (valid) {
        valid->assign(std::size_t(w) * std::size_t(h), 0);
        for (int y = std::max(0, yLo); y < yHi; ++y)
            for (int x = std::max(0, xLo); x < xHi; ++x) (*valid)[std::size_t(y) * std::size_t(w) + std::size_t(x)] = 1;
    }
}

FloatImage ReduceToSize(const FloatImage& im, int width, int height) {
    if (im.width == width && im.height == height) return im;
    if (width <= 0 || height <= 0 || im.width % width != 0 || im.height % height != 0 ||
        im.width / width != im.height / height)
        throw Error("a picture of " + std::to_string(im.width) + " x " + std::to_string(im.height) +
                    " cannot be compared with one of " + std::to_string(width) + " x " + std::to_string(height));
    const int f = im.width / width;
    FloatImage out;
    out.Allocate(width, height, im.channels);
    const float k = 1.f / float(f * f);
    for (int c = 0; c < im.channels; ++c)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                float sum = 0;
                for (int j = 0; j < f; ++j)
                    for (int i = 0; i < f; ++i)
                        sum += im.Plane(c)[std::size_t(y * f + j) * std::size_t(im.width) + std::size_t(x * f + i)];
                out.Plane(c)[std::size_t(y) * std::size_t(width) + std::size_t(x)] = sum * k;
            }
    return out;
}

WholeShift FindWholeShift(const std::vector<float>& a, const std::vector<float>& b, int width, int height, int reach) {
    std::vector<Plane> pa{{a, width, height}}, pb{{b, width, height}};
    // Coarse levels down to about 64 pixels on the smaller side.
    while (std::min(pa.back().w, pa.back().h) >= 128 && pa.size() < 5) {
        pa.push_back(Halve(pa.back()));
        pb.push_back(Halve(pb.back()));
    }
    int level = int(pa.size()) - 1;
    const int coarseReach = (reach >> level) + 1;
    int bx = 0, by = 0;
    double best = -3;
    for (int dy = -coarseReach; dy <= coarseReach; ++dy)
        for (int dx = -coarseReach; dx <= coarseReach; ++dx) {
            const double c = Correlation(pa[std::size_t(level)], pb[std::size_t(level)], dx, dy);
            if (c > best) {
                best = c;
                bx = dx;
                by = dy;
            }
        }
    while (level > 0) {
        --level;
        const int cx = 2 * bx, cy = 2 * by;
        best = -3;
        for (int dy = cy - 2; dy <= cy + 2; ++dy)
            for (int dx = cx - 2; dx <= cx + 2; ++dx) {
                const double c = Correlation(pa[std::size_t(level)], pb[std::size_t(level)], dx, dy);
                if (c > best) {
                    best = c;
                    bx = dx;
                    by = dy;
                }
            }
    }
    WholeShift s;
    s.dx = bx;
    s.dy = by;
    s.correlation = best;
    s.fracX = Vertex(Correlation(pa[0], pb[0], bx - 1, by), best, Correlation(pa[0], pb[0], bx + 1, by));
    s.fracY = Vertex(Correlation(pa[0], pb[0], bx, by - 1), best, Correlation(pa[0], pb[0], bx, by + 1));
    return s;
}

}  // namespace talvenor::capture
