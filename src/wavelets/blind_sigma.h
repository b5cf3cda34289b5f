#pragma once
// The blur of a stack read off the stack itself: the radial power spectrum of the object
// (the bright area and a little sky around it, windowed) is fitted by
//   P(f) = A f^-a exp(-4 pi^2 s^2 f^2) + N
// a scene whose detail falls off as a power of the frequency, blurred by a Gaussian of sigma s,
// over a floor of white noise. The fit is a fixed grid over s and a with A and N solved for at
// each point (relative errors), so the answer is deterministic.
#include <span>

#include "workspace/canvas.h"
#include "workspace/single2d_array.h"

namespace talvenor {

struct BlindSigmaEstimate {
    double sigma = 0;      // pixels
    double exponent = 0;   // a
    double noiseFloor = 0; // N relative to the spectrum's mean over the fitted band
    double amplitude = 0;  // A relative to the same mean
    double meanPower = 0;  // that mean, in squared levels (Hann-windowed periodogram): puts
                           // the spectra of several channels on one scale
    // The Wiener filter's K for this picture: the noise floor times kWienerKPerFloor, within
    // 0.001 .. 0.1 (a quiet picture, the Moon, wants far less regularisation than a noisy one).
    double wienerK = 0.02;
    // Richardson-Lucy's iterations for this picture: kIterationsTimesK / wienerK within 20 .. 40.
    // A quiet picture restores further before its noise grows (the Moon gains 0.5 dB from 20 to
    // 40, the quieter colour planet 0.15 dB at 30); noisier ones are best near 20.
    int iterations = 20;
    PixelRect region;      // where the spectrum was taken
};
inline constexpr double kWienerKPerFloor = 30;
inline constexpr double kIterationsTimesK = 0.26;

// From the sum of `channels` inside `area` of an imageWidth x imageHeight picture.
BlindSigmaEstimate EstimateBlurSigma(std::span<const Single2dArray* const> channels, int imageWidth, int imageHeight,
                                     const PixelRect& area);

}  // namespace talvenor
