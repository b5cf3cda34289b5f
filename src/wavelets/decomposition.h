#pragma once
// The à trous split of the working image into six detail layers and a residual: a 5 x 5
// smoothing kernel applied again and again with its taps spread further apart; each layer is
// the image before one smoothing minus the image after it, so the layers and the residual add
// back up to the image.
#include <array>

#include "workspace/single2d_array.h"

namespace talvenor {

constexpr int kLayers = 6;

// Weights at row * 5 + column (centre 12), normalised to sum 1.
using SmoothingKernel = std::array<float, 25>;

// The scale (tap spacing) of layer n = 1..6: 2^(n-1) in the dyadic scheme, else
// round(step * (n - 1) + initial), ties to even.
int ScaleOfLayer(int n, bool dyadic, double initial, double step);

// The kernel from the 25 spin values in row order (row * 5 + column), divided by their sum
// (a sum of exactly 0 counts as 1).
SmoothingKernel NormalisedKernel(const std::array<double, 25>& values);
// The default spin values: centre 50, its eight neighbours 6, the outer ring 0.
std::array<double, 25> DefaultKernelValues();

// The pixels decomposed: the processing area clipped to the image, right and bottom inclusive.
struct LayerArea {
    int left = 0, top = 0, right = -1, bottom = -1;
};
LayerArea ClipArea(int left, int top, int width, int height, int imageWidth, int imageHeight);

// Sums over a layer's pixels at least 11 pixels inside the area (channel 1 only).
struct LayerSums {
    long long count = 0;
    float sumAbs = 0;
    double sum = 0, sumSquares = 0;
};

// One layer of one channel: for every area pixel, smooth = the kernel's positive taps at
// spacing `scale` that fall inside the whole image (no renormalisation), accumulated in double;
// layer(x - left, y - top) = plane(x, y) - smooth; then the area of `plane` becomes the
// smoothed image (through `scratch`, so the scan order does not matter). `sums`, when given,
// collects the layer's statistics.
void DecomposeLayer(Single2dArray& plane, Single2dArray& scratch, Single2dArray& layer, int imageWidth,
                    int imageHeight, const LayerArea& area, int scale, const SmoothingKernel& kernel, LayerSums* sums);

// Variance and mean absolute value of a layer from its sums (a count below 2 counts as 2).
struct LayerStatistic {
    float variance = 0, meanAbs = 0;
};
LayerStatistic StatisticOf(const LayerSums& sums);

// The noise estimators' ratios for layers 1..6 (index 0 unused) from the layers' mean
// absolute values: A[n] = meanAbs[6]^2 / (meanAbs[n] + 0.0001), B[n] = 2^((6 - n) / 2) * 0.5 *
// meanAbs[1].
struct NoiseRatios {
    std::array<float, kLayers + 1> A{}, B{};
};
NoiseRatios ComputeNoiseRatios(const std::array<float, kLayers + 1>& meanAbs);

}  // namespace talvenor
