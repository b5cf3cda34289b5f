#pragma once
// talvenor-deconvolve --wavelets: the stack sharpened by the automatic wavelet gains, and the
// best of a grid of hand-set dyadic gains, judged against the truth. The stack is split into
// its layers once per scheme and rebuilt for each setting as the page's rebuild sums them (in
// float, before the display mapping), so the grid runs in seconds.
#include <functional>
#include <string>

#include "capture/evaluate.h"

namespace talvenor::capture {

struct WaveletMeasurement {
    std::string autoChoice;   // the scheme, gains and thresholds "Auto" chose
    double autoPsnr = 0, autoSeconds = 0;
    std::string gridBest;     // the grid's best setting (empty without the grid)
    double gridBestPsnr = 0, gridMedianPsnr = 0;
    int gridSettings = 0;
};

// `row(label, image)` reports a result as the tool's other rows do (PSNR, ring, sky noise).
WaveletMeasurement MeasureWavelets(const FloatImage& stack, const GroundTruth& truth, bool grid,
                                   const std::function<void(const std::string&, const FloatImage&)>& row);

}  // namespace talvenor::capture
