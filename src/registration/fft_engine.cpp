#include "registration/fft_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <numbers>
#include <string>

#include "workspace/error.h"
#include "workspace/vector_clones.h"

#if TALVENOR_AVX2_COPIES
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace talvenor {

namespace {

// W columns side by side: lane l of element y is value y of column l. Four on every x86-64,
// eight where the processor has AVX2 (each lane does the same arithmetic either way).
using Lanes4 = float __attribute__((vector_size(16)));
using Lanes8 = float __attribute__((vector_size(32)));
template <int W>
struct LanesType;
template <>
struct LanesType<4> {
    using type = Lanes4;
};
template <>
struct LanesType<8> {
    using type = Lanes8;
};
template <int W>
using LanesOf = typename LanesType<W>::type;

int ClampSide(int n) { return std::clamp(n, 0, kFftPlaneSide); }

// One radix-2 stage on a contiguous row: blocks of 2 * half values, the upper half of each
// block multiplied by the twiddle w[j] = e^(+-2 pi i j / (2 half)). Forward is a template
// argument so the sign flip of the imaginary twiddle costs nothing in the inner loop. T is
// float or LanesOf (the same arithmetic on several columns at once).
template <bool Forward, typename T>
void RowStage(T* re, T* im, int n, int half, const float* twRe, const float* twIm) {
    const int span = 2 * half;
    for (int s = 0; s < n; s += span) {
        T* __restrict pr = re + s;
        T* __restrict pi = im + s;
        T* __restrict qr = pr + half;
        T* __restrict qi = pi + half;
        for (int j = 0; j < half; ++j) {
            const float c = twRe[j];
            const float d = Forward ? twIm[j] : -twIm[j];
            const T tr = c * qr[j] - d * qi[j];
            const T ti = c * qi[j] + d * qr[j];
            qr[j] = pr[j] - tr;
            qi[j] = pi[j] - ti;
            pr[j] += tr;
            pi[j] += ti;
        }
    }
}

// The first two stages have the exact twiddles 1 and +-i, so they are only additions; doing
// them together saves two sweeps over the short blocks that vectorise worst. The results are
// the very values the general stage would produce with those twiddles.
template <bool Forward, typename T>
void RowFirstStages(T* __restrict re, T* __restrict im, int n) {
    for (int s = 0; s < n; s += 4) {
        // Stage 1: pairs (s, s+1) and (s+2, s+3), twiddle 1.
        const T a0r = re[s] + re[s + 1], a0i = im[s] + im[s + 1];
        const T a1r = re[s] - re[s + 1], a1i = im[s] - im[s + 1];
        const T b0r = re[s + 2] + re[s + 3], b0i = im[s + 2] + im[s + 3];
        const T b1r = re[s + 2] - re[s + 3], b1i = im[s + 2] - im[s + 3];
        // Stage 2: (0, 2) with twiddle 1, (1, 3) with twiddle +i forward, -i inverse.
        T tr, ti;
        if constexpr (Forward) {
            tr = -b1i;
            ti = b1r;
        } else {
            tr = b1i;
            ti = -b1r;
        }
        re[s] = a0r + b0r;
        im[s] = a0i + b0i;
        re[s + 2] = a0r - b0r;
        im[s + 2] = a0i - b0i;
        re[s + 1] = a1r + tr;
        im[s + 1] = a1i + ti;
        re[s + 3] = a1r - tr;
        im[s + 3] = a1i - ti;
    }
}

// The same stage applied to whole columns at once: element y of column p pairs with element
// y of column q. This transforms along x for every y together with contiguous, vectorisable
// inner loops, instead of gathering N values a column apart for each y.
template <bool Forward>
[[gnu::always_inline]] inline void ColumnStage(FftPlane& planeRe, FftPlane& planeIm, int n, int half,
                                               const float* twRe, const float* twIm) {
    const int span = 2 * half;
    for (int s = 0; s < n; s += span) {
        for (int j = 0; j < half; ++j) {
            float* __restrict pr = planeRe.Column(s + j);
            float* __restrict pi = planeIm.Column(s + j);
            float* __restrict qr = planeRe.Column(s + j + half);
            float* __restrict qi = planeIm.Column(s + j + half);
            const float c = twRe[j];
            const float d = Forward ? twIm[j] : -twIm[j];
            for (int y = 0; y < n; ++y) {
                const float tr = c * qr[y] - d * qi[y];
                const float ti = c * qi[y] + d * qr[y];
                qr[y] = pr[y] - tr;
                qi[y] = pi[y] - ti;
                pr[y] += tr;
                pi[y] += ti;
            }
        }
    }
}

// Every stage along x; twiddles of the stage with half-block h at offset h - 1.
template <bool Forward>
[[gnu::always_inline]] inline void ColumnStagesOf(FftPlane& re, FftPlane& im, int n, const float* twRe,
                                                  const float* twIm) {
    for (int half = 1; half < n; half *= 2) ColumnStage<Forward>(re, im, n, half, twRe + (half - 1), twIm + (half - 1));
}

TALVENOR_VECTOR_CLONES
void ForwardColumnStages(FftPlane& re, FftPlane& im, int n, const float* twRe, const float* twIm) {
    ColumnStagesOf<true>(re, im, n, twRe, twIm);
}

TALVENOR_VECTOR_CLONES
void InverseColumnStages(FftPlane& re, FftPlane& im, int n, const float* twRe, const float* twIm) {
    ColumnStagesOf<false>(re, im, n, twRe, twIm);
}

// What the transforms along y need besides the planes.
struct AlongY {
    int n;
    const uint16_t* rev;
    const float* twRe;
    const float* twIm;
    float* laneRe;  // n * 8 floats, aligned for the widest vector
    float* laneIm;
    float scale;
};

// Swaps rows and lanes of W vectors of W lanes in place: lane l of r[k] becomes lane k of r[l].
// The shuffles are those of the usual unpack / shuffle / lane-swap transposes.
[[gnu::always_inline]] inline void Transpose(Lanes4* r) {
    const Lanes4 t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);
    const Lanes4 t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);
    const Lanes4 t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
    const Lanes4 t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
    r[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    r[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    r[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    r[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

[[gnu::always_inline]] inline void Transpose(Lanes8* r) {
    Lanes8 t[8], u[8];
    for (int k = 0; k < 8; k += 2) {
        t[k] = __builtin_shufflevector(r[k], r[k + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[k + 1] = __builtin_shufflevector(r[k], r[k + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int k = 0; k < 8; k += 4)
        for (int h = 0; h < 2; ++h) {
            u[k + 2 * h] = __builtin_shufflevector(t[k + h], t[k + h + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[k + 2 * h + 1] = __builtin_shufflevector(t[k + h], t[k + h + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    for (int k = 0; k < 4; ++k) {
        r[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        r[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// The transforms along y, W columns at a time: each group gathered into the lanes in
// bit-reversed order, transformed, and put back (scaled when asked). W rows of W columns go
// across by one transpose of W vectors, not W * W single moves.
template <bool Forward, int W>
[[gnu::always_inline]] inline void AlongYGroups(FftPlane& planeRe, FftPlane& planeIm, const AlongY& g) {
    using V = LanesOf<W>;
    const int n = g.n;
    V* re = reinterpret_cast<V*>(g.laneRe);
    V* im = reinterpret_cast<V*>(g.laneIm);
    for (int x = 0; x < n; x += W) {
        for (int y = 0; y < n; y += W) {
            V r[W], i[W];
            for (int l = 0; l < W; ++l) {
                __builtin_memcpy(&r[l], planeRe.Column(x + l) + y, sizeof(V));
                __builtin_memcpy(&i[l], planeIm.Column(x + l) + y, sizeof(V));
            }
            Transpose(r);
            Transpose(i);
            for (int k = 0; k < W; ++k) {
                re[g.rev[y + k]] = r[k];
                im[g.rev[y + k]] = i[k];
            }
        }
        RowFirstStages<Forward>(re, im, n);
        for (int half = 4; half < n; half *= 2)
            RowStage<Forward>(re, im, n, half, g.twRe + (half - 1), g.twIm + (half - 1));
        const float scale = g.scale;
        for (int y = 0; y < n; y += W) {
            V r[W], i[W];
            for (int k = 0; k < W; ++k) {
                r[k] = scale == 1.0f ? re[y + k] : re[y + k] * scale;
                i[k] = scale == 1.0f ? im[y + k] : im[y + k] * scale;
            }
            Transpose(r);
            Transpose(i);
            for (int l = 0; l < W; ++l) {
                __builtin_memcpy(planeRe.Column(x + l) + y, &r[l], sizeof(V));
                __builtin_memcpy(planeIm.Column(x + l) + y, &i[l], sizeof(V));
            }
        }
    }
}

// The n x n box stored row by row in `rows` into the plane's columns, W x W blocks at a time.
template <int W>
[[gnu::always_inline]] inline void RowsIntoColumns(const float* rows, int n, FftPlane& plane) {
    using V = LanesOf<W>;
    for (int y = 0; y < n; y += W)
        for (int x = 0; x < n; x += W) {
            V r[W];
            for (int k = 0; k < W; ++k) __builtin_memcpy(&r[k], rows + std::size_t(y + k) * std::size_t(n) + x, sizeof(V));
            Transpose(r);
            for (int l = 0; l < W; ++l) __builtin_memcpy(plane.Column(x + l) + y, &r[l], sizeof(V));
        }
}

using RowsFn = void (*)(const float*, int, FftPlane&);
void RowsIntoColumnsPlain(const float* rows, int n, FftPlane& plane) { RowsIntoColumns<4>(rows, n, plane); }

using AlongYFn = void (*)(FftPlane&, FftPlane&, const AlongY&);

void ForwardAlongYPlain(FftPlane& re, FftPlane& im, const AlongY& g) { AlongYGroups<true, 4>(re, im, g); }
void InverseAlongYPlain(FftPlane& re, FftPlane& im, const AlongY& g) { AlongYGroups<false, 4>(re, im, g); }

#if TALVENOR_AVX2_COPIES
__attribute__((target("avx2"))) void ForwardAlongYAvx2(FftPlane& re, FftPlane& im, const AlongY& g) {
    AlongYGroups<true, 8>(re, im, g);
}
__attribute__((target("avx2"))) void InverseAlongYAvx2(FftPlane& re, FftPlane& im, const AlongY& g) {
    AlongYGroups<false, 8>(re, im, g);
}

__attribute__((target("avx2"))) void RowsIntoColumnsAvx2(const float* rows, int n, FftPlane& plane) {
    RowsIntoColumns<8>(rows, n, plane);
}
#endif

// m[y] = |re[y] + i im[y]|, the squares summed in double precision and the root rounded to
// single. The root of a sum of squares is never negative, so the scalar library call's error
// handling (which keeps the compiler from vectorising it) has nothing to do; the vector root
// is the same correctly rounded value, two at a time on every x86-64, four with AVX (the roots
// bound the radial spectrum: 40 % of its time went to them).
void ColumnMagnitudesPlain(const float* re, const float* im, float* m, int n) {
    int y = 0;
#ifdef __SSE2__
    for (; y + 2 <= n; y += 2) {
        const __m128d r = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(re + y))));
        const __m128d i = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(im + y))));
        const __m128 root = _mm_cvtpd_ps(_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(r, r), _mm_mul_pd(i, i))));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(m + y), _mm_castps_si128(root));
    }
#endif
    for (; y < n; ++y) m[y] = float(std::sqrt(double(re[y]) * re[y] + double(im[y]) * im[y]));
}

using MagnitudesFn = void (*)(const float*, const float*, float*, int);

#if TALVENOR_AVX2_COPIES
__attribute__((target("avx2"))) void ColumnMagnitudesAvx2(const float* re, const float* im, float* m, int n) {
    int y = 0;
    for (; y + 4 <= n; y += 4) {
        const __m256d r = _mm256_cvtps_pd(_mm_loadu_ps(re + y));
        const __m256d i = _mm256_cvtps_pd(_mm_loadu_ps(im + y));
        _mm_storeu_ps(m + y, _mm256_cvtpd_ps(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(r, r), _mm256_mul_pd(i, i)))));
    }
    ColumnMagnitudesPlain(re + y, im + y, m + y, n - y);
}
#endif

// One column whitened; the root's argument is never below 0.000001, so the vector root (correctly
// rounded like the scalar one) never meets the library's error cases.
void WhitenColumnPlain(float* re, float* im, int n) {
    int y = 0;
#ifdef __SSE2__
    const __m128 floor = _mm_set1_ps(0.000001f);
    for (; y + 4 <= n; y += 4) {
        const __m128 r = _mm_loadu_ps(re + y), i = _mm_loadu_ps(im + y);
        const __m128 m = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(r, r), _mm_mul_ps(i, i)), floor));
        _mm_storeu_ps(re + y, _mm_div_ps(r, m));
        _mm_storeu_ps(im + y, _mm_div_ps(i, m));
    }
#endif
    for (; y < n; ++y) {
        const float m = std::sqrt(re[y] * re[y] + im[y] * im[y] + 0.000001f);
        re[y] /= m;
        im[y] /= m;
    }
}

using WhitenFn = void (*)(float*, float*, int);

#if TALVENOR_AVX2_COPIES
__attribute__((target("avx2"))) void WhitenColumnAvx2(float* re, float* im, int n) {
    const __m256 floor = _mm256_set1_ps(0.000001f);
    int y = 0;
    for (; y + 8 <= n; y += 8) {
        const __m256 r = _mm256_loadu_ps(re + y), i = _mm256_loadu_ps(im + y);
        const __m256 m = _mm256_sqrt_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(r, r), _mm256_mul_ps(i, i)), floor));
        _mm256_storeu_ps(re + y, _mm256_div_ps(r, m));
        _mm256_storeu_ps(im + y, _mm256_div_ps(i, m));
    }
    WhitenColumnPlain(re + y, im + y, n - y);
}
#endif

// Builds the 256 colours the spectrum picture can take: index l is the spectral colour of
// the wavelength l + 380 nm.
std::array<Bgr, 256> SpectrumPalette() {
    std::array<Bgr, 256> palette{};
    for (int l = 0; l < 256; ++l) palette[std::size_t(l)] = SpectralColour(l + 380.0);
    return palette;
}

}  // namespace

namespace {
// Floats from one column's start to the next for a plane of `side`: whole cache lines, an odd
// number of them. Columns a power of two apart start almost on the same cache sets otherwise,
// and the columns of a box fought over a few sets of the first-level cache whenever several
// were touched at one y.
std::size_t StrideFor(int side) {
    const std::size_t lines = (std::size_t(side) + 15) / 16;
    return (lines | 1) * 16;
}
constexpr std::size_t kLineFloats = 16;
}  // namespace

void FftPlane::Fit(int side) {
    side = ClampSide(side);
    if (side <= side_) return;
    const std::size_t stride = StrideFor(side);
    ZeroedArray<float> block(std::size_t(side) * stride + kLineFloats);
    const auto address = reinterpret_cast<std::uintptr_t>(block.get());
    float* data = block.get() + (kLineFloats - address / sizeof(float) % kLineFloats) % kLineFloats;
    for (int x = 0; x < side_; ++x)
        std::memcpy(data + std::size_t(x) * stride, Column(x), std::size_t(side_) * sizeof(float));
    block_ = std::move(block);
    data_ = data;
    side_ = side;
    stride_ = stride;
}

void FftPlane::ClearCorner(int n) {
    n = ClampSide(n);
    Fit(n);
    for (int x = 0; x < n; ++x) std::memset(Column(x), 0, std::size_t(n) * sizeof(float));
}

void FftPlane::CopyCornerFrom(const FftPlane& other, int n) {
    if (&other == this) return;
    n = ClampSide(n);
    Fit(n);
    const int held = std::min(n, other.side_);
    for (int x = 0; x < n; ++x) {
        float* to = Column(x);
        const int copied = x < held ? held : 0;
        if (copied) std::memcpy(to, other.Column(x), std::size_t(copied) * sizeof(float));
        std::memset(to + copied, 0, std::size_t(n - copied) * sizeof(float));
    }
}

// The buffers are written before they are read, so they are left uninitialised: their pages
// are only touched for the sizes in use.
FftEngine::FftEngine(FftVectors vectors)
    : baseline_(vectors == FftVectors::Baseline),
      magnitude_(new float[std::size_t(kMaxTransformSize) * kMaxTransformSize]),
      boxRows_(new float[std::size_t(kMaxTransformSize) * kMaxTransformSize]),
      radiusOf_(new uint8_t[std::size_t(kMaxTransformSize) * kMaxTransformSize]) {}

void FftEngine::SetTransformSize(int n) {
    int bits = 0;
    switch (n) {
        case 32: bits = 5; break;
        case 64: bits = 6; break;
        case 128: bits = 7; break;
        case 256: bits = 8; break;
        case 512: bits = 9; break;
        default: throw Error("unsupported transform size " + std::to_string(n));
    }
    n_ = n;
    bits_ = bits;
    TransformRe.Fit(n);
    TransformIm.Fit(n);

    for (int i = 0; i < n; ++i) {
        int v = i, r = 0;
        for (int b = 0; b < bits; ++b) {
            r = (r << 1) | (v & 1);
            v >>= 1;
        }
        bitReverse_[std::size_t(i)] = uint16_t(r);
    }

    // Stage with half-block length h keeps its h twiddles at offset h - 1 (1 + 2 + ... + h/2
    // = h - 1), N - 1 values in all. The quarter turn is set exactly so that the factors
    // 1 and i carry no rounding residue.
    for (int half = 1; half < n; half *= 2) {
        for (int j = 0; j < half; ++j) {
            float c, s;
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
            twiddleRe_[std::size_t(half - 1 + j)] = c;
            twiddleIm_[std::size_t(half - 1 + j)] = s;
        }
    }

    // Radius bin of every frequency (rounded distance from frequency 0, 0 when ignored) and
    // how many frequencies each bin holds: both depend only on N, so the per-frame spectrum
    // is a plain sweep. The frequencies of each bin are also listed in plane order (x outer,
    // y inner), bin after bin.
    radiusCount_.fill(0);
    const int halfSize = n / 2;
    for (int x = 0; x < n; ++x) {
        const int fx = (x + halfSize) % n - halfSize;
        for (int y = 0; y < n; ++y) {
            const int fy = (y + halfSize) % n - halfSize;
            const long r = std::lrint(std::sqrt(double(fx * fx + fy * fy)));
            const uint8_t bin = (r >= 1 && r <= 255) ? uint8_t(r) : uint8_t(0);
            radiusOf_[std::size_t(x) * std::size_t(n) + std::size_t(y)] = bin;
            if (bin != 0) ++radiusCount_[bin - 1];
        }
    }
    binStart_[0] = 0;
    for (int k = 0; k < 255; ++k) binStart_[std::size_t(k) + 1] = binStart_[std::size_t(k)] + radiusCount_[std::size_t(k)];
    binMembers_.resize(std::size_t(binStart_[255]));
    std::array<int, 255> next{};
    for (int k = 0; k < 255; ++k) next[std::size_t(k)] = binStart_[std::size_t(k)];
    for (int i = 0; i < n * n; ++i)
        if (const int bin = radiusOf_[std::size_t(i)]; bin != 0) binMembers_[std::size_t(next[std::size_t(bin - 1)]++)] = uint32_t(i);

    const double a = 4.5;
    double g = 0.45;
    if (g == 1.0) g = 0.999999;
    const double t = std::pow(a, 1.0 / (g - 1.0));
    for (int i = 0; i <= 1000; ++i) {
        const double v = i * 0.001;
        SpectrumGamma[std::size_t(i)] = v < t ? a * v : std::pow(v + 0.000001, g);
    }
}

template <bool Forward>
void FftEngine::TransformAlongY(float scale) {
    static const AlongYFn widest = Forward ? TALVENOR_WIDEST(ForwardAlongY) : TALVENOR_WIDEST(InverseAlongY);
    const AlongYFn transform = !baseline_ ? widest : Forward ? ForwardAlongYPlain : InverseAlongYPlain;
    transform(TransformRe, TransformIm,
              AlongY{n_, bitReverse_.data(), twiddleRe_.data(), twiddleIm_.data(), laneRe_.data(), laneIm_.data(), scale});
}

void FftEngine::BoxRowsInto(FftPlane& plane) {
    static const RowsFn widest = TALVENOR_WIDEST(RowsIntoColumns);
    plane.Fit(n_);
    (baseline_ ? RowsIntoColumnsPlain : widest)(boxRows_.get(), n_, plane);
}

void FftEngine::TransformAlongX(int direction, float scale) {
    const int n = n_;
    // Bit-reversed order by swapping whole columns: each pair is exchanged once.
    for (int x = 0; x < n; ++x) {
        const int r = bitReverse_[std::size_t(x)];
        if (x < r) {
            std::swap_ranges(TransformRe.Column(x), TransformRe.Column(x) + n, TransformRe.Column(r));
            std::swap_ranges(TransformIm.Column(x), TransformIm.Column(x) + n, TransformIm.Column(r));
        }
    }
    if (direction > 0) ForwardColumnStages(TransformRe, TransformIm, n, twiddleRe_.data(), twiddleIm_.data());
    else InverseColumnStages(TransformRe, TransformIm, n, twiddleRe_.data(), twiddleIm_.data());
    if (scale != 1.0f) {
        for (int x = 0; x < n; ++x) {
            float* __restrict colRe = TransformRe.Column(x);
            float* __restrict colIm = TransformIm.Column(x);
            for (int y = 0; y < n; ++y) {
                colRe[y] *= scale;
                colIm[y] *= scale;
            }
        }
    }
}

void FftEngine::ForwardTransform2D() {
    if (n_ == 0) return;
    // Along x for every y first, then along y for every x.
    TransformAlongX(+1, 1.0f);
    TransformAlongY<true>(1.0f);
}

void FftEngine::InverseTransform2D() {
    if (n_ == 0) return;
    // The reverse order of the forward transform; every 1-D pass scales by 1/N (a power of
    // two, so the scaling itself adds no rounding).
    const float scale = 1.0f / float(n_);
    TransformAlongY<false>(scale);
    TransformAlongX(-1, scale);
}

void FftEngine::ComputeRadialSpectrum() {
    RadialSpectrum.fill(0.0f);
    RadialSpectrumMax = 0.0f;
    const int n = n_;
    if (n == 0) return;

    // The magnitudes (a vectorisable sweep) and their peak, then the sum of each radius bin,
    // unscaled, divided by the peak at the end, which gives the same means as scaling each
    // magnitude first. Each bin is summed in plane order (x outer, y inner) as a sweep over the
    // plane would add it, but four bins at a time: summing the plane in one sweep made every
    // addition wait for the previous one to the same bin, a neighbour's.
    static const MagnitudesFn widest = TALVENOR_WIDEST(ColumnMagnitudes);
    const MagnitudesFn columnMagnitudes = baseline_ ? ColumnMagnitudesPlain : widest;
    float* __restrict mag = magnitude_.get();
    float peak = -1e11f;
    for (int x = 0; x < n; ++x) {
        const float* colRe = TransformRe.Column(x);
        const float* colIm = TransformIm.Column(x);
        float* m = mag + std::size_t(x) * std::size_t(n);
        columnMagnitudes(colRe, colIm, m, n);
        for (int y = 0; y < n; ++y) peak = std::max(peak, m[y]);
    }
    std::array<double, 256> sums{};  // sums[k + 1]: radius k + 1
    const uint32_t* members = binMembers_.data();
    for (int k = 0; k < 255; k += 4) {
        const int group = std::min(4, 255 - k);
        int common = radiusCount_[std::size_t(k)];
        for (int g = 1; g < group; ++g) common = std::min(common, radiusCount_[std::size_t(k + g)]);
        double acc[4] = {0, 0, 0, 0};
        const uint32_t* list[4];
        for (int g = 0; g < group; ++g) list[g] = members + binStart_[std::size_t(k + g)];
        if (group == 4)
            for (int i = 0; i < common; ++i) {
                acc[0] += mag[list[0][i]];
                acc[1] += mag[list[1][i]];
                acc[2] += mag[list[2][i]];
                acc[3] += mag[list[3][i]];
            }
        else
            common = 0;
        for (int g = 0; g < group; ++g) {
            for (int i = common; i < radiusCount_[std::size_t(k + g)]; ++i) acc[g] += mag[list[g][i]];
            sums[std::size_t(k + g) + 1] = acc[g];
        }
    }
    const double s = 1.0 / (double(peak) + 0.00001);
    for (int k = 0; k < 255; ++k) {
        const int count = radiusCount_[std::size_t(k)];
        const float value = count >= 1 ? float(sums[std::size_t(k) + 1] * s / count) : 0.0f;
        RadialSpectrum[std::size_t(k)] = value;
        RadialSpectrumMax = std::max(RadialSpectrumMax, value);
    }
    // Entry 255 would hold radius 256, which is never counted.
    RadialSpectrum[255] = 0.0f;
}

Bitmap24 FftEngine::RenderSpectrum(const FftPlane& re, const FftPlane* im, double threshold) const {
    static const std::array<Bgr, 256> palette = SpectrumPalette();
    const int n = n_;
    Bitmap24 picture(n, n);
    if (n == 0) return picture;

    // A plane fitted for a smaller side (or none) holds zeros beyond it.
    const auto value = [](const FftPlane& p, int x, int y) { return x < p.Side() && y < p.Side() ? p(x, y) : 0.0f; };
    float peak = -1e11f;
    for (int x = 0; x < n; ++x) {
        float* mag = magnitude_.get() + std::size_t(x) * std::size_t(n);
        for (int y = 0; y < n; ++y) {
            const float r = value(re, x, y);
            mag[y] = im ? float(std::sqrt(double(r) * r + double(value(*im, x, y)) * value(*im, x, y))) : std::fabs(r);
            peak = std::max(peak, mag[y]);
        }
    }
    const double s = 1.0 / (double(peak) + 0.00001);

    const int halfSize = n / 2;
    for (int py = 0; py < n; ++py) {
        uint8_t* out = picture.Row(py);
        const int y = (py + halfSize) % n;
        for (int px = 0; px < n; ++px) {
            const int x = (px + halfSize) % n;
            double v = double(magnitude_[std::size_t(x) * std::size_t(n) + std::size_t(y)]) * s;
            if (v > 1.0) v = 1.0;
            // A NaN in the plane must not index outside the curve.
            if (!(v >= 0.0)) v = 0.0;
            const long level = std::lrint(255.0 * SpectrumGamma[std::size_t(std::lrint(1000.0 * v))]);
            const uint8_t l = uint8_t(std::clamp(level, 0L, 255L));
            const Bgr c = v >= threshold ? Bgr{l, 0, 0} : palette[l];
            out[3 * px] = c.b;
            out[3 * px + 1] = c.g;
            out[3 * px + 2] = c.r;
        }
    }
    return picture;
}

void WhitenSpectrum(FftPlane& re, FftPlane& im, int n, FftVectors vectors) {
    static const WhitenFn widest = TALVENOR_WIDEST(WhitenColumn);
    const WhitenFn whiten = vectors == FftVectors::Baseline ? WhitenColumnPlain : widest;
    n = ClampSide(n);
    for (int x = 0; x < n; ++x) whiten(re.Column(x), im.Column(x), n);
}

Bgr SpectralColour(double wavelength) {
    double r = 0, g = 0, b = 0;
    // The row is chosen by the integer part of the wavelength, the value by the wavelength.
    if (wavelength >= 380.0 && wavelength < 781.0) {
        const int band = int(wavelength);
        const double w = wavelength;
        if (band <= 439) {
            r = (440.0 - w) / 60.0;
            b = 1;
        } else if (band <= 489) {
            g = (w - 440.0) / 50.0;
            b = 1;
        } else if (band <= 509) {
            g = 1;
            b = (510.0 - w) / 20.0;
        } else if (band <= 579) {
            r = (w - 510.0) / 70.0;
            g = 1;
        } else if (band <= 644) {
            r = 1;
            g = (645.0 - w) / 65.0;
        } else {
            r = 1;
        }
    }
    const auto byte = [](double c) -> uint8_t {
        if (!(c > 0)) return 0;
        return uint8_t(std::clamp(std::lrint(255.0 * std::pow(c, 0.8)), 0L, 255L));
    };
    return Bgr{byte(b), byte(g), byte(r)};
}

}  // namespace talvenor
