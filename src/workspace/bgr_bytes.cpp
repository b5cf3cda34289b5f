#include "workspace/bgr_bytes.h"

#include <algorithm>

#include "workspace/vector_clones.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define TALVENOR_SPLIT_SSSE3 1
#endif

namespace talvenor {

namespace {

void SplitBgrPlain(const uint8_t* src, int n, uint8_t* blue, uint8_t* green, uint8_t* red) {
    for (int i = 0; i < n; ++i) {
        blue[i] = src[3 * i];
        green[i] = src[3 * i + 1];
        red[i] = src[3 * i + 2];
    }
}

#ifdef TALVENOR_SPLIT_SSSE3
__attribute__((target("ssse3"))) inline __m128i Pick(__m128i a0, __m128i a1, __m128i a2, __m128i m0, __m128i m1,
                                                    __m128i m2) {
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a0, m0), _mm_shuffle_epi8(a1, m1)), _mm_shuffle_epi8(a2, m2));
}

// Sixteen pixels (48 bytes) a step: each channel's bytes picked out of the three 16-byte loads
// by one shuffle each and put together.
__attribute__((target("ssse3"))) void SplitBgrSsse3(const uint8_t* src, int n, uint8_t* blue, uint8_t* green,
                                                   uint8_t* red) {
    constexpr char Z = -128;  // a shuffle index that gives 0
    const __m128i b0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i b1 = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, 2, 5, 8, 11, 14, Z, Z, Z, Z, Z);
    const __m128i b2 = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 1, 4, 7, 10, 13);
    const __m128i g0 = _mm_setr_epi8(1, 4, 7, 10, 13, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i g1 = _mm_setr_epi8(Z, Z, Z, Z, Z, 0, 3, 6, 9, 12, 15, Z, Z, Z, Z, Z);
    const __m128i g2 = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 2, 5, 8, 11, 14);
    const __m128i r0 = _mm_setr_epi8(2, 5, 8, 11, 14, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i r1 = _mm_setr_epi8(Z, Z, Z, Z, Z, 1, 4, 7, 10, 13, Z, Z, Z, Z, Z, Z);
    const __m128i r2 = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, Z, Z, 0, 3, 6, 9, 12, 15);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const uint8_t* p = src + 3 * i;
        const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i a2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + i), Pick(a0, a1, a2, b0, b1, b2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(green + i), Pick(a0, a1, a2, g0, g1, g2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(red + i), Pick(a0, a1, a2, r0, r1, r2));
    }
    SplitBgrPlain(src + 3 * i, n - i, blue + i, green + i, red + i);
}
#endif

void GreyToBgrPlain(const uint8_t* grey, int n, uint8_t* bgr) {
    for (int x = 0; x < n; ++x) bgr[3 * x] = bgr[3 * x + 1] = bgr[3 * x + 2] = grey[x];
}

#ifdef TALVENOR_SPLIT_SSSE3
// Spreading each grey byte over three is the whole cost of a monochrome frame's colour rows: one
// byte shuffle makes 16 bytes of output at a time, several times faster than a byte loop.
__attribute__((target("ssse3"))) void GreyToBgrSsse3(const uint8_t* grey, int n, uint8_t* bgr) {
    const __m128i m0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i m1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i m2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey + x));
        uint8_t* d = bgr + 3 * x;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(v, m0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), _mm_shuffle_epi8(v, m1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(v, m2));
    }
    GreyToBgrPlain(grey + x, n - x, bgr + 3 * x);
}
#endif

#ifdef TALVENOR_SPLIT_SSSE3
// The SSSE3 version of a row helper where the processor has SSSE3, else the plain one.
#define TALVENOR_PICK(name) TALVENOR_PICK_IF("ssse3", name##Ssse3, name##Plain)
#else
#define TALVENOR_PICK(name) name##Plain
#endif

using GreyFn = void (*)(const uint8_t*, int, uint8_t*);
using SplitFn = void (*)(const uint8_t*, int, uint8_t*, uint8_t*, uint8_t*);

}  // namespace

void GreyToBgr(const uint8_t* grey, int n, uint8_t* bgr) {
    static const GreyFn spread = TALVENOR_PICK(GreyToBgr);
    spread(grey, n, bgr);
}

void SplitBgr(const uint8_t* src, int n, uint8_t* blue, uint8_t* green, uint8_t* red) {
    static const SplitFn split = TALVENOR_PICK(SplitBgr);
    split(src, n, blue, green, red);
}

TALVENOR_VECTOR_CLONES
void WeighBytes(const uint8_t* a, float wa, const uint8_t* b, float wb, const uint8_t* c, float wc, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = (float(a[i]) * wa + float(b[i]) * wb) + float(c[i]) * wc;
}

TALVENOR_VECTOR_CLONES
void BytesToFloats(const uint8_t* bytes, float* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = float(bytes[i]);
}

namespace {

TALVENOR_VECTOR_CLONES
void AddBytes(const uint8_t* bytes, float* sum, int n) {
    for (int i = 0; i < n; ++i) sum[i] += float(bytes[i]);
}

TALVENOR_VECTOR_CLONES
void AddFloats(const float* v, float* sum, int n) {
    for (int i = 0; i < n; ++i) sum[i] += v[i];
}

// Runs of at most kBgrRun pixels of a row, each split into its channels' bytes first.
template <class Run>
void ForEachRun(const uint8_t* src, int n, Run run) {
    alignas(32) uint8_t blue[kBgrRun], green[kBgrRun], red[kBgrRun];
    for (int x = 0; x < n; x += kBgrRun) {
        const int m = std::min(kBgrRun, n - x);
        SplitBgr(src + 3 * x, m, blue, green, red);
        run(x, m, red, green, blue);
    }
}

}  // namespace

void AddBgrRow(const uint8_t* src, int n, float* red, float* green, float* blue) {
    ForEachRun(src, n, [&](int x, int m, const uint8_t* r, const uint8_t* g, const uint8_t* b) {
        AddBytes(b, blue + x, m);
        AddBytes(g, green + x, m);
        AddBytes(r, red + x, m);
    });
}

void AddGreyMixRow(const uint8_t* src, int n, float wr, float wg, float wb, float* sum) {
    alignas(32) float mixed[kBgrRun];
    ForEachRun(src, n, [&](int x, int m, const uint8_t* r, const uint8_t* g, const uint8_t* b) {
        WeighBytes(g, wg, r, wr, b, wb, mixed, m);
        AddFloats(mixed, sum + x, m);
    });
}

void SplitBgrRow(const uint8_t* src, int n, float* red, float* green, float* blue) {
    ForEachRun(src, n, [&](int x, int m, const uint8_t* r, const uint8_t* g, const uint8_t* b) {
        BytesToFloats(b, blue + x, m);
        BytesToFloats(g, green + x, m);
        BytesToFloats(r, red + x, m);
    });
}

void WeighBgrRow(const uint8_t* src, int n, float wr, float wg, float wb, bool greenFirst, float* out) {
    ForEachRun(src, n, [&](int x, int m, const uint8_t* r, const uint8_t* g, const uint8_t* b) {
        if (greenFirst) WeighBytes(g, wg, r, wr, b, wb, out + x, m);
        else WeighBytes(r, wr, g, wg, b, wb, out + x, m);
    });
}

namespace {

// WeighBytes with the same bytes thrice, each converted once.
TALVENOR_VECTOR_CLONES
void WeighGreyBytes(const uint8_t* grey, float wa, float wb, float wc, float* out, int n) {
    for (int i = 0; i < n; ++i) {
        const float v = float(grey[i]);
        out[i] = (v * wa + v * wb) + v * wc;
    }
}

}  // namespace

void WeighGreyRow(const uint8_t* grey, int n, float wr, float wg, float wb, bool greenFirst, float* out) {
    if (greenFirst) WeighGreyBytes(grey, wg, wr, wb, out, n);
    else WeighGreyBytes(grey, wr, wg, wb, out, n);
}

namespace {

// Pixels x .. x + n - 1 of row y of `picture` into three channel rows: `fromBgr` on its blue,
// green, red bytes, or `perChannel` on its grey bytes for each channel.
template <class FromBgr, class PerChannel>
void ChannelsOfRow(const Bitmap24& picture, int y, int x, int n, float* red, float* green, float* blue,
                   FromBgr fromBgr, PerChannel perChannel) {
    if (!picture.HoldsGrey()) return fromBgr(picture.Row(y) + 3 * std::ptrdiff_t(x), n, red, green, blue);
    const uint8_t* grey = picture.GreyRow(y) + x;
    perChannel(grey, blue, n);
    perChannel(grey, green, n);
    perChannel(grey, red, n);
}

}  // namespace

void AddPictureRow(const Bitmap24& picture, int y, int x, int n, float* red, float* green, float* blue) {
    ChannelsOfRow(picture, y, x, n, red, green, blue, AddBgrRow, AddBytes);
}

void SplitPictureRow(const Bitmap24& picture, int y, int x, int n, float* red, float* green, float* blue) {
    ChannelsOfRow(picture, y, x, n, red, green, blue, SplitBgrRow, BytesToFloats);
}

void AddGreyMixPictureRow(const Bitmap24& picture, int y, int x, int n, float wr, float wg, float wb, float* sum) {
    if (!picture.HoldsGrey()) return AddGreyMixRow(picture.Row(y) + 3 * std::ptrdiff_t(x), n, wr, wg, wb, sum);
    const uint8_t* grey = picture.GreyRow(y) + x;
    alignas(32) float mixed[kBgrRun];
    for (int i = 0; i < n; i += kBgrRun) {
        const int m = std::min(kBgrRun, n - i);
        WeighGreyBytes(grey + i, wg, wr, wb, mixed, m);
        AddFloats(mixed, sum + i, m);
    }
}

}  // namespace talvenor
