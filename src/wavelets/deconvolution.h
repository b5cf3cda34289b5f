#pragma once
// Undoing the Gaussian blur that seeing, guiding and stacking leave in a stacked picture, before
// (or instead of) wavelet sharpening. Two ways: a Wiener filter (one pass in the frequency
// domain) and Richardson-Lucy iterations (in the picture, with damping where the model already
// fits the data within the noise). Planes hold 16-bit levels.
//
// The sky level (a low percentile of the whole picture, so that an area restores as the whole
// picture would there) is taken off before and put back after, so the filters work on the
// object's light alone and a flat sky stays at its level. The area is widened by a margin of the
// picture's own pixels, mirrored where the picture ends, and for the Wiener filter widened again
// to a transform size of factors 2, 3 and 5: the seam where the transform wraps around then lies
// far outside the area and nothing rings at the borders.
#include <functional>
#include <span>

#include "workspace/canvas.h"
#include "workspace/single2d_array.h"

namespace talvenor {

enum class DeconvolutionMethod { Wiener, RichardsonLucy };

struct DeconvolutionSettings {
    // Richardson-Lucy by default: on generated captures it gains as much as the best Wiener
    // filter at the blind estimate of sigma and loses less when sigma is misjudged.
    DeconvolutionMethod method = DeconvolutionMethod::RichardsonLucy;
    double sigma = 1.3;     // of the Gaussian blur, pixels
    // Wiener: the noise power relative to the signal power. The filter is
    // H (1 + K) / (H^2 + K) with H the blur's transfer function, so level areas keep their level.
    double wienerK = 0.02;
    // Richardson-Lucy: iterations, and the damping: residuals below `damping` times the
    // picture's noise count only by the square of their share of it (0: plain iterations).
    // Damping 1.5 keeps the sky's noise within 1.5 times the stack's on generated captures
    // (damping 1: up to 1.56) for 0.05-0.2 dB.
    int iterations = 20;
    double damping = 1.5;
    // Colour: restore the mean of the channels and add its change to each channel, rather than
    // each channel on its own (three times the noise power).
    bool luminance = true;
};

struct DeconvolutionHooks {
    std::function<void(double fraction)> progress;  // 0 .. 1, after each step; may be empty
    std::function<bool()> cancelled;                // polled between steps; may be empty
};

// Restores channels[c] inside `area` (right and bottom exclusive, within the picture of
// imageWidth x imageHeight); pixels outside it are read, never written. Returns false when
// cancelled, leaving every plane as it was. Values below 0 are raised to 0. Throws Error for a
// sigma outside 0 .. 20 or a Wiener K not above 0; no iterations leave the planes as they are.
bool Deconvolve(std::span<Single2dArray* const> channels, int imageWidth, int imageHeight, const PixelRect& area,
                const DeconvolutionSettings& settings, const DeconvolutionHooks& hooks = {});

}  // namespace talvenor
