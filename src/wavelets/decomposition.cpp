#include "wavelets/decomposition.h"

#include <algorithm>
#include <cmath>

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
    // The taps that count: positive weights only (a negative entry smooths as 0).
    struct Tap {
        int dx, dy;
        float w;
    };
    Tap taps[25];
    int count = 0;
    for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i) {
            const float w = kernel[std::size_t((j + 2) * 5 + (i + 2))];
            if (w > 0) taps[count++] = {i * scale, j * scale, w};
        }
    for (int y = area.top; y <= area.bottom; ++y) {
        const bool statsRow = sums && y > area.top + 10 && y < area.bottom - 10;
        for (int x = area.left; x <= area.right; ++x) {
            double smooth = 0;
            for (int t = 0; t < count; ++t) {
                const int sx = x + taps[t].dx, sy = y + taps[t].dy;
                if (sx < 0 || sy < 0 || sx >= imageWidth || sy >= imageHeight) continue;
                smooth += double(taps[t].w) * plane.Get(sx, sy);
            }
            scratch.Put(x, y, float(smooth));
            const float v = float(plane.Get(x, y) - smooth);
            layer.Put(x - area.left, y - area.top, v);
            if (statsRow && x > area.left + 10 && x < area.right - 10) {
                ++sums->count;
                sums->sumAbs += std::fabs(v);
                sums->sum += v;
                sums->sumSquares += double(v) * v;
            }
        }
    }
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x) plane.Put(x, y, scratch.Get(x, y));
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
