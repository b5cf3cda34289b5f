#include "wavelets/mixed_radix_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "workspace/error.h"
#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

// Written out: std::complex's operator* guards against infinities through a library call
// that keeps the loops from vectorising.
inline Complex Mul(Complex a, Complex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

Complex UnitRoot(long long k, long long n) {  // e^(-2 pi i k / n), in double then rounded
    const double angle = -2.0 * std::numbers::pi * double(k) / double(n);
    return {float(std::cos(angle)), float(std::sin(angle))};
}

// One stage: the `radix` transforms of length `span` of every residue class are combined into
// transforms of length span * radix. Input y, output z (see Fft1d::Run).
template <int Radix>
void Combine(const Complex* __restrict y, Complex* __restrict z, int n, int span, const Complex* twiddles) {
    const int rOut = n / (span * Radix), rIn = n / span;
    Complex roots[Radix];
    for (int k = 0; k < Radix; ++k) roots[k] = UnitRoot(k, Radix);
    const float h = float(std::sqrt(3.0) / 2);
    for (int j = 0; j < span; ++j) {
        const Complex* w = twiddles + std::size_t(j) * (Radix - 1);
        for (int q = 0; q < rOut; ++q) {
            Complex a[Radix];
            a[0] = y[q + std::size_t(rIn) * j];
            for (int v = 1; v < Radix; ++v) a[v] = Mul(w[v - 1], y[q + std::size_t(rOut) * v + std::size_t(rIn) * j]);
            Complex* out = z + q + std::size_t(rOut) * j;
            const std::size_t step = std::size_t(rOut) * span;
            if constexpr (Radix == 2) {
                out[0] = a[0] + a[1];
                out[step] = a[0] - a[1];
            } else if constexpr (Radix == 3) {
                const Complex s = a[1] + a[2], d = a[1] - a[2];
                const Complex m = a[0] - 0.5f * s, t{h * d.imag(), -h * d.real()};  // -i (sqrt 3 / 2) d
                out[0] = a[0] + s;
                out[step] = m + t;
                out[2 * step] = m - t;
            } else if constexpr (Radix == 4) {
                const Complex s02 = a[0] + a[2], d02 = a[0] - a[2], s13 = a[1] + a[3], d13 = a[1] - a[3];
                const Complex t{d13.imag(), -d13.real()};  // -i d13
                out[0] = s02 + s13;
                out[step] = d02 + t;
                out[2 * step] = s02 - s13;
                out[3 * step] = d02 - t;
            } else {
                for (int s = 0; s < Radix; ++s) {
                    Complex b = a[0];
                    for (int v = 1; v < Radix; ++v) b += Mul(a[v], roots[(v * s) % Radix]);
                    out[s * step] = b;
                }
            }
        }
    }
}

}  // namespace

int GoodFftLength(int n) {
    for (int m = std::max(n, 1);; ++m) {
        int r = m;
        for (int p : {2, 3, 5})
            while (r % p == 0) r /= p;
        if (r == 1) return m;
    }
}

Fft1d::Fft1d(int n) : n_(n) {
    if (n < 1 || GoodFftLength(n) != n) throw Error("Transform length " + std::to_string(n) + " is not a product of 2, 3 and 5");
    int rest = n, span = 1;
    auto add = [&](int radix) {
        Stage stage{radix, span, twiddles_.size()};
        for (int j = 0; j < span; ++j)
            for (int v = 1; v < radix; ++v) twiddles_.push_back(UnitRoot((long long)v * j, (long long)span * radix));
        stages_.push_back(stage);
        span *= radix;
        rest /= radix;
    };
    while (rest % 4 == 0) add(4);
    for (int p : {2, 3, 5})
        while (rest % p == 0) add(p);
}

// Before a stage with `span`, position q + r j (r = n / span) holds the value at frequency j
// of the transform of residue class q (the samples q, q + r, q + 2r, ...); at the start that is
// the input itself, at the end the spectrum in order.
void Fft1d::Run(Complex* data, Complex* scratch) const {
    Complex* from = data;
    Complex* to = scratch;
    for (const Stage& s : stages_) {
        const Complex* w = twiddles_.data() + s.twiddles;
        switch (s.radix) {
        case 2: Combine<2>(from, to, n_, s.span, w); break;
        case 3: Combine<3>(from, to, n_, s.span, w); break;
        case 4: Combine<4>(from, to, n_, s.span, w); break;
        default: Combine<5>(from, to, n_, s.span, w); break;
        }
        std::swap(from, to);
    }
    if (from != data) std::copy(from, from + n_, data);
}

void Fft1d::Forward(Complex* data, Complex* scratch) const { Run(data, scratch); }

void Fft1d::Inverse(Complex* data, Complex* scratch) const {
    for (int k = 0; k < n_; ++k) data[k] = std::conj(data[k]);
    Run(data, scratch);
    for (int k = 0; k < n_; ++k) data[k] = std::conj(data[k]);
}

FftPlane2d::FftPlane2d(int width, int height)
    : width_(width), height_(height), alongX_(width), alongY_(height), data_(std::size_t(width) * height),
      transposed_(data_.size()) {}

void FftPlane2d::TransformRows(std::vector<Complex>& plane, int rows, const Fft1d& fft, bool forward) {
    const int n = fft.Size();
    ParallelRows(0, rows - 1, [&](int first, int last) {
        std::vector<Complex> scratch(static_cast<std::size_t>(n));
        for (int y = first; y <= last; ++y) {
            Complex* row = plane.data() + std::size_t(y) * n;
            if (forward)
                fft.Forward(row, scratch.data());
            else
                fft.Inverse(row, scratch.data());
        }
    }, 32);
}

namespace {
// to (columns x rows) = from (rows x columns) transposed, in tiles that stay in the cache.
void Transpose(const std::vector<Complex>& from, std::vector<Complex>& to, int rows, int columns) {
    constexpr int kTile = 32;
    for (int y0 = 0; y0 < rows; y0 += kTile)
        for (int x0 = 0; x0 < columns; x0 += kTile)
            for (int y = y0; y < std::min(rows, y0 + kTile); ++y)
                for (int x = x0; x < std::min(columns, x0 + kTile); ++x)
                    to[std::size_t(x) * rows + y] = from[std::size_t(y) * columns + x];
}
}  // namespace

void FftPlane2d::Forward() {
    TransformRows(data_, height_, alongX_, true);
    Transpose(data_, transposed_, height_, width_);
    TransformRows(transposed_, width_, alongY_, true);
    std::swap(data_, transposed_);
}

void FftPlane2d::Inverse() {
    TransformRows(data_, width_, alongY_, false);
    Transpose(data_, transposed_, width_, height_);
    TransformRows(transposed_, height_, alongX_, false);
    std::swap(data_, transposed_);
    const float scale = 1.0f / (float(width_) * float(height_));
    for (Complex& c : data_) c *= scale;
}

}  // namespace talvenor
