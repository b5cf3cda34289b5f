#pragma once
// Pictures for the sharpening tests: white noise, and a planet whose detail has power at every
// scale falling off as f^-3, as a real planet's does (what the blind blur estimate relies on).
#include <cmath>
#include <random>
#include <vector>

#include "wavelets/float_plane.h"
#include "wavelets/mixed_radix_fft.h"

namespace talvenor::testing {

inline FloatPlane NoisePlane(int w, int h, double sd, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> normal(0, float(sd));
    FloatPlane p{w, h, std::vector<float>(std::size_t(w) * h)};
    for (float& v : p.values) v = normal(random);
    return p;
}

// A disk of `radius` at the centre, 30000 levels with 3000 levels rms of detail, on a sky of 1000.
inline FloatPlane SyntheticPlanet(int w, int h, double radius, unsigned seed) {
    FftPlane2d field(w, h);
    const FloatPlane white = NoisePlane(w, h, 1, seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) field.Row(y)[x] = white.Row(y)[x];
    field.Forward();
    field.MultiplySpectrum([](float fx, float fy) { return std::pow(std::max(fx * fx + fy * fy, 1e-4f), -0.75f); });
    field.Inverse();
    double power = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) power += std::norm(field.Row(y)[x].real());
    const float scale = float(3000 / std::sqrt(power / (double(w) * h)));
    FloatPlane p{w, h, std::vector<float>(std::size_t(w) * h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Row(y)[x] = std::hypot(x - w / 2.0, y - h / 2.0) < radius ? 30000 + scale * field.Row(y)[x].real() : 1000;
    return p;
}

}  // namespace talvenor::testing
