#include "wavelets/fine_thresholds.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "wavelets/sky_and_noise.h"

namespace talvenor {

namespace {

constexpr int kFine = 2;                   // layers considered
constexpr double kObjectFraction = 0.05;   // of the way from the sky to the peak: the object
constexpr double kWorthwhile = 0.97;       // a threshold must save 3 % of the layer's noise error
constexpr double kSteps[] = {0.25, 0.5, 0.75, 1};  // candidate T / sky deviation

// One channel's two finest layers over the area, and each pixel's noise variance relative to
// the sky's (the level's light adds photon noise).
struct FineLayers {
    std::array<std::vector<float>, kFine + 1> layer;
    std::vector<float> relativeVariance;
    std::vector<bool> object;  // the pixels the error is counted on
    std::array<double, kFine + 1> skyDeviation{};
};

double MedianAbs(std::vector<float> v) {
    if (v.empty()) return 0;
    for (float& x : v) x = std::fabs(x);
    const auto middle = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    return *middle;
}

FineLayers SplitFine(const Single2dArray& source, int imageWidth, int imageHeight, const PixelRect& area,
                     const SmoothingKernel& kernel, const LayerScales& scales) {
    const int w = area.right - area.left, h = area.bottom - area.top;
    Single2dArray plane(imageWidth, imageHeight), scratch(imageWidth, imageHeight), layer(w, h);
    for (int y = 0; y < imageHeight; ++y) std::copy_n(source.Row(y), imageWidth, plane.Row(y));
    const float sky = SkyLevel(source, area, 0.01), peak = SkyLevel(source, area, 0.999);
    const NoiseModel noise = EstimateNoise(source, area, sky);
    const LayerArea a{area.left, area.top, area.right - 1, area.bottom - 1};
    FineLayers out;
    for (int n = 1; n <= kFine; ++n) {
        DecomposeLayer(plane, scratch, layer, imageWidth, imageHeight, a, scales[std::size_t(n)], kernel, nullptr);
        std::vector<float>& v = out.layer[std::size_t(n)];
        v.reserve(std::size_t(w) * h);
        for (int y = 0; y < h; ++y) v.insert(v.end(), layer.Row(y), layer.Row(y) + w);
    }
    // The sky: where the smoothed picture lies below the object (the darkest tenth at least).
    std::vector<float> level;
    level.reserve(std::size_t(w) * h);
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) level.push_back(plane.Get(x, y) - sky);
    std::vector<float> sorted = level;
    const auto tenth = sorted.begin() + std::ptrdiff_t(sorted.size() / 10);
    std::nth_element(sorted.begin(), tenth, sorted.end());
    const float skyTop = std::max(*tenth, float(kObjectFraction * (peak - sky)));
    const double skyVariance = noise.Variance(0);
    out.relativeVariance.resize(level.size());
    for (std::size_t i = 0; i < level.size(); ++i)
        out.relativeVariance[i] = skyVariance > 0 ? float(noise.Variance(level[i]) / skyVariance) : 1.0f;
    // Judged on the object, where the detail is: the sky's many pixels would otherwise ask for
    // thresholds that flatten the object's finest detail along with the noise.
    out.object.resize(level.size());
    long objectPixels = 0;
    for (std::size_t i = 0; i < level.size(); ++i) objectPixels += out.object[i] = level[i] > skyTop;
    if (objectPixels < 256) out.object.assign(level.size(), true);
    for (int n = 1; n <= kFine; ++n) {
        std::vector<float> skyValues;
        for (std::size_t i = 0; i < level.size(); ++i)
            if (level[i] <= skyTop) skyValues.push_back(out.layer[std::size_t(n)][i]);
        out.skyDeviation[std::size_t(n)] = MedianAbs(skyValues) / 0.6745;
    }
    return out;
}

}  // namespace

std::array<LayerCut, 3> ChooseFineThresholds(std::span<const Single2dArray* const> channels, int imageWidth,
                                             int imageHeight, const PixelRect& area, const SmoothingKernel& kernel,
                                             const LayerScales& scales) {
    std::array<LayerCut, 3> cuts{};
    if (channels.empty() || area.right - area.left < 16 || area.bottom - area.top < 16) return cuts;
    std::vector<FineLayers> split;
    for (const Single2dArray* c : channels) split.push_back(SplitFine(*c, imageWidth, imageHeight, area, kernel, scales));
    // Thresholds in steps of the green (or only) channel's sky noise.
    const FineLayers& reference = split[channels.size() == 3 ? 1 : 0];
    for (int n = 1; n <= kFine; ++n) {
        const double unit = reference.skyDeviation[std::size_t(n)];
        if (!(unit > 0)) continue;
        double keepAll = 0;
        std::vector<double> risk(std::size(kSteps), 0.0);
        for (const FineLayers& f : split) {
            const double s0 = f.skyDeviation[std::size_t(n)] * f.skyDeviation[std::size_t(n)];
            const std::vector<float>& v = f.layer[std::size_t(n)];
            for (std::size_t i = 0; i < v.size(); ++i) {
                if (!f.object[i]) continue;
                const double s2 = s0 * f.relativeVariance[i], w = std::fabs(v[i]);
                keepAll += s2;
                for (std::size_t k = 0; k < std::size(kSteps); ++k) {
                    const double t = kSteps[k] * unit;
                    risk[k] += w <= t ? w * w - s2 : s2 + t * t;
                }
            }
        }
        const auto best = std::min_element(risk.begin(), risk.end());
        if (*best < kWorthwhile * keepAll)
            cuts[std::size_t(n)] = {true, float(kSteps[std::size_t(best - risk.begin())] * unit)};
    }
    return cuts;
}

}  // namespace talvenor
