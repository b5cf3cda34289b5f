#include "wavelets/decomposition.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "workspace/parallel_rows.h"

namespace talvenor {

int ScaleOfLayer(int n, bool dyadic, double initial, double step) {
    if (dyadic) return int(std::nearbyint(std::pow(2.0, n - 1)));
    return int(std::nearbyint(step * (n - 1) + initial));
}

SmoothingKernel NormalisedKernel(const std::array<double, 25>& values) {
    float sum = 0;
    for (double v : values) sum += float(v);
    if (sum == 0) sum = 1;
    SmoothingKernel k{};
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = float(values[i]) / sum;
    return k;
}

std::array<double, 25> DefaultKernelValues() {
    std::array<double, 25> v{};
    for (int row = 1; row <= 3; ++row)
        for (int col = 1; col <= 3; ++col) v[std::size_t(row * 5 + col)] = 6;
    v[12] = 50;
    return v;
}

LayerArea ClipArea(int left, int top, int width, int height, int imageWidth, int imageHeight) {
    LayerArea a;
    a.left = std::max(0, left);
    a.top = std::max(0, top);
    a.right = std::min(left + width - 1, imageWidth - 1);
    a.bottom = std::min(top + height - 1, imageHeight - 1);
    return a;
}

void DecomposeLayer(Single2dArray& plane, Single2dArray& scratch, Single2dArray& layer, int imageWidth,
                    int imageHeight, const LayerArea& area, int scale, const SmoothingKernel& kernel, LayerSums* sums) {
    if (area.right < area.left || area.bottom < area.top) return;
    // The taps that count: positive weights only (a negative entry smooths as 0).
    struct Tap {
        int dx, dy;
        double w;
    };
    Tap taps[25];
    int count = 0;
    for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i) {
            const float w = kernel[std::size_t((j + 2) * 5 + (i + 2))];
            if (w > 0) taps[count++] = {i * scale, j * scale, double(w)};
        }
    const int width = area.right - area.left + 1;
    // Rows are independent: each reads only `plane` and writes its own row of `scratch` and
    // `layer`. Within a row the taps are added tap by tap over the whole row, which adds them to
    // every pixel in the same order as a pixel-by-pixel loop would, so the sums are identical.
    ParallelRows(area.top, area.bottom, [&](int y0, int y1) {
        std::vector<double> acc(static_cast<std::size_t>(width));
        for (int y = y0; y <= y1; ++y) {
            std::fill(acc.begin(), acc.end(), 0.0);
            for (int t = 0; t < count; ++t) {
                const int sy = y + taps[t].dy;
                if (sy < 0 || sy >= imageHeight) continue;
                const int dx = taps[t].dx;
                const int xs = std::max(area.left, -dx), xe = std::min(area.right, imageWidth - 1 - dx);
                const float* src = plane.Row(sy) + dx;
                const double w = taps[t].w;
                double* a = acc.data() - area.left;
                for (int x = xs; x <= xe; ++x) a[x] += w * double(src[x]);
            }
            const float* in = plane.Row(y);
            float* smoothed = scratch.Row(y);
            float* out = layer.Row(y - area.top) - area.left;
            for (int x = area.left; x <= area.right; ++x) {
                const double smooth = acc[std::size_t(x - area.left)];
                smoothed[x] = float(smooth);
                out[x] = float(in[x] - smooth);
            }
        }
    }, 16);
    // The statistics add in scan order (the float sum of |v| depends on it).
    if (sums)
        for (int y = area.top + 11; y < area.bottom - 10; ++y) {
            const float* v = layer.Row(y - area.top) - area.left;
            for (int x = area.left + 11; x < area.right - 10; ++x) {
                ++sums->count;
                sums->sumAbs += std::fabs(v[x]);
                sums->sum += v[x];
                sums->sumSquares += double(v[x]) * v[x];
            }
        }
    for (int y = area.top; y <= area.bottom; ++y)
        std::copy(scratch.Row(y) + area.left, scratch.Row(y) + area.right + 1, plane.Row(y) + area.left);
}

LayerStatistic StatisticOf(const LayerSums& s) {
    const double n = double(std::max<long long>(s.count, 2));
    LayerStatistic out;
    out.variance = float((s.sumSquares - s.sum * s.sum / n) / (n - 1));
    out.meanAbs = float(double(s.sumAbs) / n);
    return out;
}

NoiseRatios ComputeNoiseRatios(const std::array<float, kLayers + 1>& meanAbs) {
    NoiseRatios r;
    for (int n = 1; n <= kLayers; ++n) {
        r.A[std::size_t(n)] = meanAbs[kLayers] * meanAbs[kLayers] / (meanAbs[std::size_t(n)] + 0.0001f);
        r.B[std::size_t(n)] = float(std::pow(2.0, (6 - n) / 2.0) * 0.5 * meanAbs[1]);
    }
    return r;
}

}  // namespace talvenor
