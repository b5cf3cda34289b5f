#include "stacking/local_shift.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#ifdef __SSE2__
#include <immintrin.h>
#endif

#include "workspace/vector_clones.h"

namespace talvenor {

namespace {

// Sum of (gain f - r)^2 over n samples, in eight running sums the compiler keeps in one vector
// register (a single running sum would be one long chain of dependent additions).
TALVENOR_VECTOR_CLONES
float RowSsd(const float* f, const float* r, int n, float gain) {
    float acc[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k) {
            const float d = gain * f[i + k] - r[i + k];
            acc[k] += d * d;
        }
    float tail = 0;
    for (; i < n; ++i) {
        const float d = gain * f[i] - r[i];
        tail += d * d;
    }
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7])) + tail;
}

// The sum of squared differences between the reference box and the frame at offset (u, v),
// the frame scaled by `gain`.
double Ssd(const LumaView& ref, const LumaView& frame, int x0, int y0, int size, int u, int v, float gain) {
    double total = 0;
    for (int y = y0; y < y0 + size; ++y)
        total += RowSsd(frame.Data + std::size_t(y + v) * frame.Stride + std::size_t(x0 + u),
                        ref.Data + std::size_t(y) * ref.Stride + std::size_t(x0), size, gain);
    return total;
}

double BoxSum(const LumaView& p, int x0, int y0, int size) {
    double s = 0;
    for (int y = y0; y < y0 + size; ++y) {
        const float* row = p.Data + std::size_t(y) * p.Stride;
        float r = 0;
        for (int x = x0; x < x0 + size; ++x) r += row[x];
        s += r;
    }
    return s;
}

// The vertex of the parabola through (-1, a), (0, b), (1, c), within half a pixel; 0 when
// the three do not curve upwards.
float Vertex(double a, double b, double c) {
    const double curvature = a + c - 2 * b;
    if (!(curvature > 0)) return 0;
    return float(std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5));
}

}  // namespace

void HalveLuma(const LumaView& full, LargeFloats& storage, LumaView& half, int left, int top, int right, int bottom) {
    half.Width = full.Width / 2;
    half.Height = full.Height / 2;
    half.Stride = std::size_t(std::max(half.Width, 1));
    const std::size_t count = half.Stride * std::size_t(std::max(half.Height, 1));
    if (storage.size() != count) AssignZeros(storage, count);
    half.Data = storage.data();
    if (right < 0) right = full.Width - 1;
    if (bottom < 0) bottom = full.Height - 1;
    const int x0 = std::max(left / 2, 0), x1 = std::min(right / 2, half.Width - 1);
    const int y0 = std::max(top / 2, 0), y1 = std::min(bottom / 2, half.Height - 1);
    for (int y = y0; y <= y1; ++y) {
        const float* a = full.Data + std::size_t(2 * y) * full.Stride;
        const float* b = a + full.Stride;
        float* out = storage.data() + std::size_t(y) * half.Stride;
        for (int x = x0; x <= x1; ++x) out[x] = 0.25f * ((a[2 * x] + a[2 * x + 1]) + (b[2 * x] + b[2 * x + 1]));
    }
}

namespace {

// One row's gradient energy and sum from column `from` on, added to `e` and `s` pixel by pixel
// left to right: the order every row's sums keep, however many rows are measured at once.
void QualityRowTail(const float* row, std::size_t stride, int from, int end, float& e, float& s) {
    const float* up = row - stride;
    const float* down = row + stride;
    for (int x = from; x < end; ++x) {
        const float gx = row[x + 1] - row[x - 1], gy = down[x] - up[x];
        e += gx * gx + gy * gy;
        s += row[x];
    }
}

#ifdef __SSE2__
// Four rows at once, four columns a step: each row's running sums are one lane of a register.
// The terms are worked out row-wise, then a 4 x 4 transpose gives each column as a vector over
// the rows, added in column order, so every lane sums exactly as the single row would. A row
// alone is one chain of dependent additions; four independent chains run at the speed of one.
// Returns the columns done (a multiple of four).
int QualityFourRows(const LumaView& frame, int x0, int y, int size, float e[4], float s[4]) {
    const std::size_t stride = frame.Stride;
    const float* rows[4];
    for (int r = 0; r < 4; ++r) rows[r] = frame.Data + std::size_t(y + r) * stride;
    __m128 ev = _mm_setzero_ps(), sv = _mm_setzero_ps();
    int x = x0;
    for (; x + 4 <= x0 + size; x += 4) {
        __m128 t[4], v[4];
        for (int r = 0; r < 4; ++r) {
            const float* row = rows[r];
            const __m128 gx = _mm_sub_ps(_mm_loadu_ps(row + x + 1), _mm_loadu_ps(row + x - 1));
            const __m128 gy = _mm_sub_ps(_mm_loadu_ps(row + stride + x), _mm_loadu_ps(row - stride + x));
            t[r] = _mm_add_ps(_mm_mul_ps(gx, gx), _mm_mul_ps(gy, gy));
            v[r] = _mm_loadu_ps(row + x);
        }
        _MM_TRANSPOSE4_PS(t[0], t[1], t[2], t[3]);
        _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
        for (int k = 0; k < 4; ++k) {
            ev = _mm_add_ps(ev, t[k]);
            sv = _mm_add_ps(sv, v[k]);
        }
    }
    _mm_storeu_ps(e, ev);
    _mm_storeu_ps(s, sv);
    return x - x0;
}
#endif

}  // namespace

float LocalQuality(const LumaView& frame, int x0, int y0, int size) {
    double energy = 0, sum = 0;
    int y = y0;
#ifdef __SSE2__
    for (; y + 4 <= y0 + size; y += 4) {
        float e[4], s[4];
        const int done = QualityFourRows(frame, x0, y, size, e, s);
        for (int r = 0; r < 4; ++r) {
            QualityRowTail(frame.Data + std::size_t(y + r) * frame.Stride, frame.Stride, x0 + done, x0 + size, e[r],
                           s[r]);
            energy += e[r];
            sum += s[r];
        }
    }
#endif
    for (; y < y0 + size; ++y) {
        float e = 0, s = 0;
        QualityRowTail(frame.Data + std::size_t(y) * frame.Stride, frame.Stride, x0, x0 + size, e, s);
        energy += e;
        sum += s;
    }
    const double n = double(size) * size, mean = sum / n;
    return mean > 0 ? float(energy / n / (mean * mean)) : 0.0f;
}

LocalMatch MatchPatch(const MatchPlanes& ref, const MatchPlanes& frame, int x0, int y0, int size, int search, int cx,
                      int cy) {
    LocalMatch m;
    const double refSum = BoxSum(ref.Full, x0, y0, size), frameSum = BoxSum(frame.Full, x0, y0, size);
    if (!(refSum > 0) || !(frameSum > 0)) return m;
    const float gain = float(refSum / frameSum);

    // The best offset on the halved pictures: a quarter of the work per offset, a quarter of
    // the offsets.
    // Offsets of up to two pixels per step of the half-size search (a quarter of the radius, at
    // least one step): the walk at full size goes on to the radius from its best. A wider first
    // look found no more (bending seeing, radius 4: 669 shifts from neighbours against 647).
    const int hs = size / 2, hx = x0 / 2, hy = y0 / 2, reach = std::max(1, search / 4);
    const int hcx = cx / 2, hcy = cy / 2;
    int bu = 0, bv = 0;
    double best = std::numeric_limits<double>::max(), sum = 0;
    int count = 0;
    for (int v = hcy - reach; v <= hcy + reach; ++v)
        for (int u = hcx - reach; u <= hcx + reach; ++u) {
            const double d = Ssd(ref.Half, frame.Half, hx, hy, hs, u, v, gain);
            sum += d;
            ++count;
            if (d < best) {
                best = d;
                bu = u;
                bv = v;
            }
        }
    // A surface without a clear dip: nothing to align on here. Over noise alone the sums
    // scatter by about sqrt(2 / n) of their mean (n samples), so the best must lie well below
    // what the noise would give.
    const double mean = sum / std::max(count, 1);
    const double scatter = std::sqrt(2.0 / (double(hs) * hs));
    if (!(mean > 0) || (mean - best) < 3 * scatter * mean) return m;

    // At full resolution from there: the cross of the four neighbours, moved while one of
    // them is better. Each offset's sum is worked out once (a step reuses the old centre and
    // the new one).
    constexpr int kLargestSide = 2 * 16 + 3;  // the search radius is at most 16
    search = std::min(search, 16);
    const int side = 2 * search + 3;
    std::array<double, kLargestSide * kLargestSide> known;
    std::fill_n(known.begin(), side * side, -1.0);
    auto at = [&](int u, int v) {
        double& slot = known[std::size_t(v - cy + search + 1) * std::size_t(side) + std::size_t(u - cx + search + 1)];
        if (slot < 0) slot = Ssd(ref.Full, frame.Full, x0, y0, size, u, v, gain);
        return slot;
    };
    bu = std::clamp(2 * bu, cx - search + 1, cx + search - 1);
    bv = std::clamp(2 * bv, cy - search + 1, cy + search - 1);
    double c = at(bu, bv), left = 0, right = 0, up = 0, down = 0;
    for (int round = 0; round <= 2 * search; ++round) {
        left = at(bu - 1, bv);
        right = at(bu + 1, bv);
        up = at(bu, bv - 1);
        down = at(bu, bv + 1);
        const double lowest = std::min({left, right, up, down});
        if (lowest >= c) break;
        if (lowest == left) --bu;
        else if (lowest == right) ++bu;
        else if (lowest == up) --bv;
        else ++bv;
        c = lowest;
        if (std::abs(bu - cx) >= search || std::abs(bv - cy) >= search) return m;  // the edge of the search
    }
    if (std::abs(bu - cx) >= search || std::abs(bv - cy) >= search) return m;
    m.Dx = float(bu) + Vertex(left, c, right);
    m.Dy = float(bv) + Vertex(up, c, down);
    m.Ok = true;
    return m;
}

}  // namespace talvenor
