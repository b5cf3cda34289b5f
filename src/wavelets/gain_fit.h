#pragma once
// The expected error of a wavelet rebuild as a function of its gains. For a picture that is a
// scene of power S(f) = signal f^-exponent blurred by a Gaussian H(f) = exp(-2 pi^2 sigma^2 f^2)
// plus white noise of power N, a rebuild with response G = residual + sum g_n layer_n leaves
//   E(g) = sum over f of |G H - 1|^2 S + |G|^2 N
// of squared error against the scene: a quadratic in g, summed over the channels that share the
// gains, and minimised within bounds.
#include <array>
#include <span>

#include "wavelets/layer_response.h"

namespace talvenor {

struct SpectrumModel {
    double sigma = 0, exponent = 0, signal = 0, noise = 0;
};

using Gains = std::array<double, kLayers>;  // layers 1..6 at 0..5

struct GainProblem {
    std::array<Gains, kLayers> m{};  // E = g.M.g + 2 q.g + e0
    Gains q{};
    double e0 = 0;
    double Error(const Gains& g) const;
    // The gains minimising E with each within lo .. hi (coordinate descent: the few unknowns
    // converge in a few hundred sweeps, and a layer without response keeps lo).
    Gains Solve(double lo, double hi) const;
};

GainProblem ExpectedError(std::span<const SpectrumModel> channels, const SmoothingKernel& kernel, const LayerScales& scales);

}  // namespace talvenor
