#include "wavelets/noise.h"

#include <algorithm>

namespace talvenor {

std::array<float, kLayers + 1> EstimatedThresholds(NoiseEstimator method, double factor,
                                                   const std::array<float, kLayers + 1>& variance,
                                                   const std::array<float, kLayers + 1>& meanAbs,
                                                   const NoiseRatios& ratios) {
    std::array<float, kLayers + 1> t{};
    for (int n = 1; n <= kLayers; ++n) {
        double statistic = 0;
        switch (method) {
            case NoiseEstimator::None: statistic = 0; break;
            case NoiseEstimator::A: statistic = variance[std::size_t(n)]; break;
            case NoiseEstimator::B: statistic = ratios.A[std::size_t(n)]; break;
            case NoiseEstimator::C: statistic = ratios.B[std::size_t(n)]; break;
            case NoiseEstimator::D: statistic = meanAbs[std::size_t(n)]; break;
        }
        t[std::size_t(n)] = float(factor * statistic * 0.1);
    }
    return t;
}

float AntiRingPickLevel(const Workspace& ws, bool threeChannels, int x, int y) {
    double sum = 0;
    int count = 0;
    for (int v = std::max(0, y - 5); v <= std::min(ws.ImageHeight - 1, y + 5); ++v)
        for (int u = std::max(0, x - 5); u <= std::min(ws.ImageWidth - 1, x + 5); ++u) {
            const float r = threeChannels ? ws.ResultPlanes[0].Get(u, v) : 0;
            const float b = threeChannels ? ws.ResultPlanes[2].Get(u, v) : 0;
            sum += AntiRingLuminance(ws.LrgbWeight, threeChannels, r, ws.ResultPlanes[1].Get(u, v), b);
            ++count;
        }
    return count ? float(sum / count) : 0.0f;
}

}  // namespace talvenor
