#pragma once
// Noise thresholds per wavelet layer from the layers' statistics, and the luminance the
// anti-ringing compares against the level measured on the dark background.
#include <array>

#include "wavelets/decomposition.h"
#include "workspace/workspace.h"

namespace talvenor {

// The estimators of the noise window, in the order of its choice list.
enum class NoiseEstimator { None = 0, A, B, C, D };

// Thresholds of layers 1..6 (index 0 unused): 0 for None; otherwise factor x 0.1 x the layer's
// variance (A), NoiseRatioA (B), NoiseRatioB (C) or mean absolute value (D). With the factor 10
// a threshold is the statistic itself.
std::array<float, kLayers + 1> EstimatedThresholds(NoiseEstimator method, double factor,
                                                   const std::array<float, kLayers + 1>& variance,
                                                   const std::array<float, kLayers + 1>& meanAbs,
                                                   const NoiseRatios& ratios);

// The brightness anti-ringing works with: the weighted sum of red, green and blue when all three
// channels are processed, else the green weight times the one processed channel.
inline float AntiRingLuminance(const std::array<float, 3>& weights, bool threeChannels, float r, float g, float b) {
    return threeChannels ? weights[0] * r + weights[1] * g + weights[2] * b : weights[1] * g;
}

// The mean AntiRingLuminance of the working planes over the 11 x 11 pixels around (x, y), the
// window clipped to the image (0 when nothing of it lies inside).
float AntiRingPickLevel(const Workspace& ws, bool threeChannels, int x, int y);

}  // namespace talvenor
