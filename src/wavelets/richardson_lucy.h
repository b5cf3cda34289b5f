#pragma once
// Richardson-Lucy restoration of one plane blurred by a Gaussian, worked in the picture itself
// (a separable blur per step, edges mirrored) rather than through transforms: the kernel is a
// few pixels wide, so two blurs per iteration cost less than four transforms.
#include <functional>

#include "wavelets/float_plane.h"

namespace talvenor {

// out = in blurred by a Gaussian of `sigma` pixels (taps to 3 sigma: the 0.3 % beyond is left out), edges mirrored.
void GaussianBlur(const FloatPlane& in, FloatPlane& out, double sigma);

// The noise of a picture as it grows with the light: variance = floor + perLevel x level, the
// level counted from the sky (photon noise on the object, read noise and sky alone in the sky).
struct NoiseModel {
    double floor = 0, perLevel = 0;
    double Variance(double level) const { return floor + perLevel * (level > 0 ? level : 0); }
};

// `data` (sky removed, so the object's light alone) restored in place by `iterations`
// multiplicative updates; `damping` > 0 eases residuals smaller than damping times the noise
// at their level (White's damped iteration, simplified): the update then follows the square of
// their share of it, so noise is not sharpened into grain where the model already fits.
// `step(i)` runs after iteration i (1-based) and returns false to stop early (the plane is
// then not restored).
bool RichardsonLucy(FloatPlane& data, double sigma, int iterations, double damping, const NoiseModel& noise,
                    const std::function<bool(int)>& step);

}  // namespace talvenor
