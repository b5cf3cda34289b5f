#include "wavelets/gain_fit.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace talvenor {

namespace {

// Frequencies over the half plane (the other half mirrors it) on a polar grid, denser near 0
// where the coarse layers live, with each point's share of the area.
struct Frequency {
    double fx, fy, f, weight;
};

std::vector<Frequency> FrequencyGrid() {
    constexpr int kRadii = 160, kAngles = 16;
    constexpr double kReach = 0.5 * std::numbers::sqrt2;  // the corners of the Nyquist square
    std::vector<Frequency> grid;
    for (int k = 0; k < kRadii; ++k) {
        const double u = (k + 0.5) / kRadii, f = kReach * u * u, df = kReach * 2 * u / kRadii;
        for (int a = 0; a < kAngles; ++a) {
            const double angle = std::numbers::pi * (a + 0.5) / kAngles;
            const double fx = f * std::cos(angle), fy = f * std::sin(angle);
            if (std::fabs(fx) <= 0.5 && std::fabs(fy) <= 0.5) grid.push_back({fx, fy, f, f * df * std::numbers::pi / kAngles});
        }
    }
    return grid;
}

// Below this the scene is its outline rather than detail of falling power: held level there.
constexpr double kLowestDetail = 0.01;

}  // namespace

double GainProblem::Error(const Gains& g) const {
    double e = e0;
    for (int n = 0; n < kLayers; ++n) {
        e += 2 * q[std::size_t(n)] * g[std::size_t(n)];
        for (int k = 0; k < kLayers; ++k) e += g[std::size_t(n)] * m[std::size_t(n)][std::size_t(k)] * g[std::size_t(k)];
    }
    return e;
}

Gains GainProblem::Solve(double lo, double hi) const {
    Gains g;
    g.fill(lo);
    for (int sweep = 0; sweep < 400; ++sweep)
        for (int n = 0; n < kLayers; ++n) {
            const double mnn = m[std::size_t(n)][std::size_t(n)];
            if (!(mnn > 1e-300)) continue;
            double rhs = -q[std::size_t(n)];
            for (int k = 0; k < kLayers; ++k)
                if (k != n) rhs -= m[std::size_t(n)][std::size_t(k)] * g[std::size_t(k)];
            g[std::size_t(n)] = std::clamp(rhs / mnn, lo, hi);
        }
    return g;
}

GainProblem ExpectedError(std::span<const SpectrumModel> channels, const SmoothingKernel& kernel, const LayerScales& scales) {
    static_assert(kLayers == 6);
    GainProblem p;
    for (const Frequency& fr : FrequencyGrid()) {
        const LayerResponse r = ResponseAt(fr.fx, fr.fy, kernel, scales);
        for (const SpectrumModel& c : channels) {
            const double s = c.signal * std::pow(std::max(fr.f, kLowestDetail), -c.exponent) * fr.weight;
            const double noise = c.noise * fr.weight;
            const double h = std::exp(-2 * std::numbers::pi * std::numbers::pi * c.sigma * c.sigma * fr.f * fr.f);
            const double both = s * h * h + noise;
            const std::complex<double> b = r[0];
            for (int n = 0; n < kLayers; ++n) {
                const std::complex<double> an = r[std::size_t(n + 1)];
                p.q[std::size_t(n)] += both * (std::conj(an) * b).real() - s * h * an.real();
                for (int k = 0; k < kLayers; ++k)
                    p.m[std::size_t(n)][std::size_t(k)] += both * (std::conj(an) * r[std::size_t(k + 1)]).real();
            }
            p.e0 += both * std::norm(b) - 2 * s * h * b.real() + s;
        }
    }
    return p;
}

}  // namespace talvenor
