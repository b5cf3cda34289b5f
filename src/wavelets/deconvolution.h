#pragma once
// Undoing the Gaussian blur that seeing, guiding and stacking leave in a stacked picture, before
// (or instead of) wavelet sharpening. Two ways: a Wiener filter (one pass in the frequency
// domain) and Richardson-Lucy iterations (in the picture, with damping where the model already
// fits the data within the noise). Planes hold 16-bit levels; each channel is restored on its own.
//
// The sky level (a low percentile of the area) is taken off before and put back after, so the
// filters work on the object's light alone and a flat sky stays at its level. The area is
// widened by a margin of the picture's own pixels, mirrored where the picture ends, and for the
// Wiener filter widened again to a transform size of factors 2, 3 and 5: the seam where the
// transform wraps around then lies far outside the area and nothing rings at the borders.
#include <functional>
#include <span>

#include "workspace/canvas.h"
#include "workspace/single2d_array.h"

namespace talvenor {

enum class DeconvolutionMethod { Wiener, RichardsonLucy };

struct DeconvolutionSettings {
    DeconvolutionMethod method = DeconvolutionMethod::Wiener;
    double sigma = 1.3;     // of the Gaussian blur, pixels
    // Wiener: the noise power relative to the signal power. The filter is
    // H (1 + K) / (H^2 + K) with H the blur's transfer function, so level areas keep their level.
    double wienerK = 0.005;
    // Richardson-Lucy: iterations, and the damping: residuals below `damping` times the
    // picture's noise count only by the square of their share of it (0: plain iterations).
    int iterations = 20;
    double damping = 1.0;
};

struct DeconvolutionHooks {
    std::function<void(double fraction)> progress;  // 0 .. 1, after each step; may be empty
    std::function<bool()> cancelled;                // polled between steps; may be empty
};

// Restores channels[c] inside `area` (right and bottom exclusive, within the picture of
// imageWidth x imageHeight); pixels outside it are read, never written. Returns false when
// cancelled, leaving every plane as it was. Values below 0 are raised to 0.
bool Deconvolve(std::span<Single2dArray* const> channels, int imageWidth, int imageHeight, const PixelRect& area,
                const DeconvolutionSettings& settings, const DeconvolutionHooks& hooks = {});

// The level of the sky: the given percentile (0 .. 1) of the plane's values inside `area`.
float SkyLevel(const Single2dArray& plane, const PixelRect& area, double percentile = 0.01);

// The standard deviation of the picture's pixel-to-pixel noise inside `area`, from the median
// absolute difference of each pixel from the mean of its four neighbours.
float PixelNoise(const Single2dArray& plane, const PixelRect& area);

}  // namespace talvenor
