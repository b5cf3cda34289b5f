#pragma once
// What the à trous split does to a pattern of one spatial frequency: each smoothing multiplies
// it by the kernel's response at that frequency with the taps spread to the layer's scale, so
// layer n keeps (product of the first n - 1 smoothings) - (product of the first n), and the
// residual keeps the product of all six. Lets a choice of gains be judged without splitting a
// picture.
#include <array>
#include <complex>

#include "wavelets/decomposition.h"

namespace talvenor {

// Scales of layers 1..6 (index 0 unused).
using LayerScales = std::array<int, kLayers + 1>;
LayerScales ScalesOf(bool dyadic, double initial, double step);

// [0] the residual, [1..6] the layers, at (fx, fy) cycles per pixel. Only the kernel's positive
// taps count, as in DecomposeLayer.
using LayerResponse = std::array<std::complex<double>, kLayers + 1>;
LayerResponse ResponseAt(double fx, double fy, const SmoothingKernel& kernel, const LayerScales& scales);

}  // namespace talvenor
