#include "wavelets/sky_and_noise.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace talvenor {

namespace {
constexpr int kLevelBands = 10;
constexpr std::size_t kMostSamples = 250000;  // larger pictures are sampled on a coarser grid
}  // namespace

float SkyLevel(const Single2dArray& plane, const PixelRect& area, double percentile) {
    // Larger pictures on a coarser grid, as the noise is: a percentile of a quarter of a million
    // samples is as good, and every slider move of a deconvolution pays for it.
    const long pixels = long(std::max(0, area.right - area.left)) * std::max(0, area.bottom - area.top);
    const int step = std::max(1, int(std::ceil(std::sqrt(double(pixels) / kMostSamples))));
    std::vector<float> values;
    values.reserve(std::size_t(pixels / (long(step) * step) + area.bottom - area.top + 1));
    for (int y = area.top; y < area.bottom; y += step) {
        const float* row = plane.Row(y);
        for (int x = area.left; x < area.right; x += step) values.push_back(row[x]);
    }
    if (values.empty()) return 0;
    const auto k = std::size_t(std::clamp(percentile, 0.0, 1.0) * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

NoiseModel EstimateNoise(const Single2dArray& plane, const PixelRect& area, float sky) {
    const long pixels = long(area.right - area.left) * (area.bottom - area.top);
    const int step = std::max(1, int(std::ceil(std::sqrt(double(std::max(0L, pixels)) / kMostSamples))));
    std::vector<std::pair<float, float>> samples;  // (level above the sky, |difference|)
    for (int y = area.top + 1; y < area.bottom - 1; y += step)
        for (int x = area.left + 1; x < area.right - 1; x += step) {
            const float around = 0.25f * (plane.Get(x - 1, y) + plane.Get(x + 1, y) + plane.Get(x, y - 1) + plane.Get(x, y + 1));
            samples.push_back({around - sky, std::fabs(plane.Get(x, y) - around)});
        }
    if (samples.size() < std::size_t(kLevelBands) * 10) return {};
    std::sort(samples.begin(), samples.end());
    // White noise of deviation s gives differences of deviation s sqrt(1 + 4/16); the median of
    // their size is 0.6745 of that.
    const double toVariance = 1.0 / (0.6745 * 0.6745 * 1.25);
    std::vector<double> level, variance;
    for (int b = 0; b < kLevelBands; ++b) {
        const auto first = samples.begin() + std::ptrdiff_t(samples.size() * b / kLevelBands);
        const auto last = samples.begin() + std::ptrdiff_t(samples.size() * (b + 1) / kLevelBands);
        std::vector<float> sizes;
        double sum = 0;
        for (auto i = first; i != last; ++i) sizes.push_back(i->second), sum += i->first;
        const auto middle = sizes.begin() + std::ptrdiff_t(sizes.size() / 2);
        std::nth_element(sizes.begin(), middle, sizes.end());
        level.push_back(std::max(0.0, sum / double(sizes.size())));
        variance.push_back(double(*middle) * *middle * toVariance);
    }
    // Least squares line variance = floor + perLevel x level, neither below 0.
    double ml = 0, mv = 0;
    for (int b = 0; b < kLevelBands; ++b) ml += level[std::size_t(b)], mv += variance[std::size_t(b)];
    ml /= kLevelBands, mv /= kLevelBands;
    double sll = 0, slv = 0;
    for (int b = 0; b < kLevelBands; ++b)
        sll += (level[std::size_t(b)] - ml) * (level[std::size_t(b)] - ml),
            slv += (level[std::size_t(b)] - ml) * (variance[std::size_t(b)] - mv);
    NoiseModel model;
    model.perLevel = sll > 0 ? std::max(0.0, slv / sll) : 0.0;
    model.floor = std::max(0.0, mv - model.perLevel * ml);
    if (model.floor == 0) model.floor = *std::min_element(variance.begin(), variance.end());
    return model;
}

}  // namespace talvenor
