#include "stacking/resample.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "workspace/error.h"

namespace talvenor {

float BoxFilter(float x) { return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f; }

float TriangleFilter(float x) {
    const float t = std::fabs(x);
    return t < 1.0f ? 1.0f - t : 0.0f;
}

float HermiteFilter(float x) {
    const float t = std::fabs(x);
    return t < 1.0f ? (2.0f * t - 3.0f) * t * t + 1.0f : 0.0f;
}

float BellFilter(float x) {
    const float t = std::fabs(x);
    if (t < 0.5f) return 0.75f - t * t;
    if (t < 1.5f) {
        const float u = t - 1.5f;
        return 0.5f * u * u;
    }
    return 0.0f;
}

float BSplineFilter(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f) return 0.5f * t * t * t - t * t + 2.0f / 3.0f;
    if (t < 2.0f) {
        const float u = 2.0f - t;
        return u * u * u / 6.0f;
    }
    return 0.0f;
}

float SinC(float x) {
    if (x == 0.0f) return 1.0f;
    const float a = std::numbers::pi_v<float> * x;
    return std::sin(a) / a;
}

float Lanczos3Filter(float x) {
    const float t = std::fabs(x);
    return t < 3.0f ? SinC(x) * SinC(x / 3.0f) : 0.0f;
}

float MitchellFilter(float x) {
    const float t = std::fabs(x);
    const float t2 = t * t, t3 = t2 * t;
    if (t < 1.0f) return (7.0f * t3 - 12.0f * t2 + 16.0f / 3.0f) / 6.0f;
    if (t < 2.0f) return (-(7.0f / 3.0f) * t3 + 12.0f * t2 - 20.0f * t + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
}

const std::array<ResampleFilter, 7> ResampleFilters{{
    {"Box", BoxFilter, 0.5f},
    {"Triangle", TriangleFilter, 1.0f},
    {"Hermite", HermiteFilter, 1.0f},
    {"Bell", BellFilter, 1.5f},
    {"B-Spline", BSplineFilter, 2.0f},
    {"Lanczos3", Lanczos3Filter, 3.0f},
    {"Mitchell", MitchellFilter, 2.0f},
}};

const ResampleFilter& FilterForListIndex(int listIndex) {
    // The lists offer Bell .. Mitchell only. A negative index means nothing is chosen (a list
    // with no selection, or a settings file that lost the entry): that is the Hermite default.
    // An index past the end (a settings file from a program offering more filters) takes the
    // last filter the user could have picked rather than running off the table.
    if (listIndex < 0) return ResampleFilters[2];
    return ResampleFilters[std::size_t(std::min(listIndex, 3) + 3)];
}

namespace {

// Corner pixel centres map onto each other, so the scale is (dst - 1) / (src - 1). A single
// source pixel has no such span and takes dst / src. So does a single destination pixel:
// (dst - 1) / (src - 1) would be 0 there and every centre i / scale undefined.
float ScaleOf(int src, int dst) {
    if (src == 1 || dst == 1) return float(dst) / float(src);
    return float(dst - 1) / float(src - 1);
}

int32_t Mirrored(int64_t j, int src) {
    // Reflected about the first pixel on the left and beyond the last pixel on the right.
    // A filter wider than a tiny source reaches further than one reflection covers, so the
    // reflected index is then held at the border.
    if (j < 0) j = -j;
    else if (j >= src) j = 2 * int64_t(src) - 1 - j;
    return int32_t(std::clamp<int64_t>(j, 0, src - 1));
}

}  // namespace

Contributors MakeContributors(int src, int dst, FilterFunction filter, float support) {
    Contributors c;
    c.start.reserve(std::size_t(dst) + 1);
    const float scale = ScaleOf(src, dst);
    const bool magnify = scale >= 1.0f;
    // In reduction the filter is widened by 1 / scale so every source pixel contributes.
    const float fs = magnify ? 1.0f : 1.0f / scale;
    const float width = magnify ? support : support / scale;
    const std::size_t perList = std::size_t(std::max(0.0f, 2.0f * width + 3.0f));
    c.index.reserve(std::size_t(dst) * perList);
    c.weight.reserve(std::size_t(dst) * perList);
    for (int i = 0; i < dst; ++i) {
        c.start.push_back(int32_t(c.index.size()));
        const float centre = float(i) / scale;
        const auto lo = int64_t(std::floor(centre - width));
        const auto hi = int64_t(std::ceil(centre + width));
        for (int64_t j = lo; j <= hi; ++j) {
            const float w = magnify ? filter(centre - float(j)) : filter((centre - float(j)) / fs) / fs;
            if (w == 0.0f) continue;
            c.index.push_back(Mirrored(j, src));
            c.weight.push_back(w);
        }
    }
    c.start.push_back(int32_t(c.index.size()));
    return c;
}

namespace {

// Above 255 -> 255, below 0 -> 0, else nearest with ties to even. Adding 2^23 leaves the
// rounded value in the low mantissa bits under the default rounding mode (the same result as
// nearbyint), without a library call in the innermost loop.
inline uint8_t ToByte(float v) {
    v = v > 255.0f ? 255.0f : v;
    v = v >= 0.0f ? v : 0.0f;
    return uint8_t(std::bit_cast<uint32_t>(v + 8388608.0f) & 0xFFu);
}

// One source row into one row of the temporary picture. The row is turned into floats once so
// the tap loop only multiplies and adds.
void HorizontalRow(const uint8_t* src, int srcW, uint8_t* dst, int dstW, const Contributors& c,
                   float* rowF) {
    for (int k = 0; k < 3 * srcW; ++k) rowF[k] = float(src[k]);
    const int32_t* start = c.start.data();
    const int32_t* index = c.index.data();
    const float* weight = c.weight.data();
    for (int i = 0; i < dstW; ++i) {
        float b = 0.0f, g = 0.0f, r = 0.0f;
        for (int32_t k = start[i], e = start[i + 1]; k < e; ++k) {
            const float* p = rowF + index[k];
            const float w = weight[k];
            b += w * p[0];
            g += w * p[1];
            r += w * p[2];
        }
        dst[0] = ToByte(b);
        dst[1] = ToByte(g);
        dst[2] = ToByte(r);
        dst += 3;
    }
}

}  // namespace

void Stretch(const Bitmap24& source, Bitmap24& destination, FilterFunction filter, float support) {
    const int srcW = source.Width(), srcH = source.Height();
    if (srcW <= 0 || srcH <= 0) throw Error("Source bitmap too small");
    const int dstW = destination.Width(), dstH = destination.Height();
    if (dstW <= 0 || dstH <= 0) return;

    // The horizontal lists hold byte offsets into a row of three floats per pixel.
    Contributors columns = MakeContributors(srcW, dstW, filter, support);
    for (int32_t& j : columns.index) j *= 3;
    const Contributors rows = MakeContributors(srcH, dstH, filter, support);

    // The whole horizontal pass finishes before the destination is written, so a caller may
    // pass the same picture as source and destination.
    const std::size_t tmpStride = std::size_t(dstW) * 3;
    std::vector<uint8_t> tmp(tmpStride * std::size_t(srcH));
    std::vector<float> buffer(std::max(std::size_t(srcW) * 3, tmpStride));
    for (int y = 0; y < srcH; ++y)
        HorizontalRow(source.Row(y), srcW, tmp.data() + std::size_t(y) * tmpStride, dstW, columns, buffer.data());

    // The vertical pass runs along whole rows: each contributing row of the temporary picture
    // is added into a row of sums, which keeps the reads sequential and the loop vectorisable
    // while every pixel still sums its contributors in list order.
    float* acc = buffer.data();
    const int n = int(tmpStride);
    for (int y = 0; y < dstH; ++y) {
        std::fill(acc, acc + n, 0.0f);
        for (int32_t k = rows.start[std::size_t(y)], e = rows.start[std::size_t(y) + 1]; k < e; ++k) {
            const uint8_t* t = tmp.data() + std::size_t(rows.index[std::size_t(k)]) * tmpStride;
            const float w = rows.weight[std::size_t(k)];
            for (int x = 0; x < n; ++x) acc[x] += w * float(t[x]);
        }
        uint8_t* out = destination.Row(y);
        for (int x = 0; x < n; ++x) out[x] = ToByte(acc[x]);
    }
    destination.Touch();
}

}  // namespace talvenor
