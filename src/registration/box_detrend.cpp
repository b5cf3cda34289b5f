#include "registration/box_detrend.h"

namespace talvenor {

void DetrendAndTaper(const FftPlane& box, int n, const std::vector<float>& taper, FftPlane& out) {
    // On a whole grid the centred coordinates are orthogonal to each other and to the
    // constant, so the three coefficients are independent sums.
    const double centre = 0.5 * (n - 1);
    double sum = 0, sumX = 0, sumY = 0;
    for (int x = 0; x < n; ++x) {
        const float* col = box.Column(x);
        const double cx = x - centre;
        double colSum = 0, colY = 0;
        for (int y = 0; y < n; ++y) {
            colSum += col[y];
            colY += double(col[y]) * (y - centre);
        }
        sum += colSum;
        sumX += colSum * cx;
        sumY += colY;
    }
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
