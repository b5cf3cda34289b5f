#include "registration/box_detrend.h"

#include <algorithm>
#include <array>

namespace talvenor {

void DetrendAndTaper(const FftPlane& box, int n, const std::vector<float>& taper, FftPlane& out) {
    // On a whole grid the centred coordinates are orthogonal to each other and to the
    // constant, so the three coefficients are independent sums.
    // Each column's two sums are chains of dependent additions; eight columns are summed side
    // by side, each in its own order, so the chains overlap and every sum is what it was.
    const double centre = 0.5 * (n - 1);
    double sum = 0, sumX = 0, sumY = 0;
    constexpr int kSide = 8;
    for (int x0 = 0; x0 < n; x0 += kSide) {
        const int count = std::min(kSide, n - x0);
        std::array<double, kSide> colSum{}, colY{};
        std::array<const float*, kSide> col{};
        for (int k = 0; k < count; ++k) col[std::size_t(k)] = box.Column(x0 + k);
        for (int y = 0; y < n; ++y) {
            const double dy = y - centre;
            for (int k = 0; k < count; ++k) {
                const float v = col[std::size_t(k)][y];
                colSum[std::size_t(k)] += v;
                colY[std::size_t(k)] += double(v) * dy;
            }
        }
        for (int k = 0; k < count; ++k) {
            sum += colSum[std::size_t(k)];
            sumX += colSum[std::size_t(k)] * (x0 + k - centre);
            sumY += colY[std::size_t(k)];
        }
    }
    out.Fit(n);
    const double count = double(n) * n;
    const double squares = count * (double(n) * n - 1) / 12.0;  // sum of (x - centre)^2 over the grid
    const double a = sum / count, b = sumX / squares, c = sumY / squares;
    for (int x = 0; x < n; ++x) {
        const float* col = box.Column(x);
        float* o = out.Column(x);
        const double base = a + b * (x - centre);
        const float tx = taper[std::size_t(x)];
        for (int y = 0; y < n; ++y)
            o[y] = float(col[y] - (base + c * (y - centre))) * tx * taper[std::size_t(y)];
    }
}

}  // namespace talvenor
