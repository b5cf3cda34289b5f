#include "capture/seeing.h"

#include <algorithm>
#include <cmath>

#include "capture/prng.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

enum : uint64_t { kSeeingPlan = 111 };

// An AR(1) series with a standard normal marginal: every value is N(0, 1), neighbours are
// correlated by rho.
class Wander {
public:
    Wander(double rho, double first) : rho_(rho), innovation_(std::sqrt(1 - rho * rho)), z_(first) {}
    double Step(double e) { return z_ = rho_ * z_ + innovation_ * e; }
    double Value() const { return z_; }

private:
    double rho_, innovation_, z_;
};

double NormalCdf(double z) { return 0.5 * std::erfc(-z / 1.4142135623730951); }

}  // namespace

void CheckSeeing(const SeeingOptions& s) {
    if (!std::isfinite(s.correlationFrames) || s.correlationFrames < 0 || s.correlationFrames > 10000)
        throw Error("seeing correlation must be 0 .. 10000 frames");
    if (!std::isfinite(s.anisotropy) || s.anisotropy < 0 || s.anisotropy > 3) throw Error("anisotropy must be 0 .. 3");
    if (!std::isfinite(s.walk) || s.walk < 0 || s.walk > 10) throw Error("walk must be 0 .. 10 pixels per frame");
    if (!std::isfinite(s.distortion) || s.distortion < 0 || s.distortion > 8)
        throw Error("distortion must be 0 .. 8 pixels");
    if (!std::isfinite(s.patchiness) || s.patchiness < 0 || s.patchiness > 1) throw Error("patchiness must be 0 .. 1");
}

std::vector<FrameTruth> PlanSeeingFrames(const MotionOptions& o, const SeeingOptions& s) {
    Rng rng(SubSeed(o.seed, kSeeingPlan));
    const int n = std::max(0, o.frames);
    std::vector<FrameTruth> plan(static_cast<std::size_t>(n));
    const double lo = std::min(o.blurMin, o.blurMax), hi = std::max(o.blurMin, o.blurMax);
    const double rho = s.correlationFrames > 0 ? std::exp(-1.0 / s.correlationFrames) : 0.0;
    const double ratio = std::log1p(s.anisotropy);
    // Seven draws per frame whatever the options, so one option never reshuffles the others.
    Wander seeing(rho, rng.Gaussian()), shape(rho, rng.Gaussian()), clouds(rho, rng.Gaussian());
    double walkX = 0, walkY = 0, x0 = 0, y0 = 0;
    for (int k = 0; k < n; ++k) {
        const double es = rng.Gaussian(), ea = rng.Gaussian(), eb = rng.Gaussian();
        const double wx = rng.Gaussian(), wy = rng.Gaussian(), jx = rng.Gaussian(), jy = rng.Gaussian();
        if (k > 0) {
            seeing.Step(es);
            shape.Step(ea);
            clouds.Step(eb);
            walkX += s.walk * wx;
            walkY += s.walk * wy;
        }
        const double x = o.driftX * k + walkX + o.jitter * jx, y = o.driftY * k + walkY + o.jitter * jy;
        if (k == 0) {
            x0 = x;
            y0 = y;
        }
        FrameTruth& t = plan[std::size_t(k)];
        t.dx = k == 0 ? 0.0 : x - x0;
        t.dy = k == 0 ? 0.0 : y - y0;
        t.sigma = lo + (hi - lo) * std::sqrt(NormalCdf(seeing.Value()));
        const double half = 0.5 * ratio * std::tanh(shape.Value());
        t.sigmaX = t.sigma * std::exp(half);
        t.sigmaY = t.sigma * std::exp(-half);
        t.gain = 1 + o.brightness * std::tanh(clouds.Value());
    }
    for (int d : o.dropped)
        if (d >= 0 && d < n) plan[std::size_t(d)].dropped = true;
    return plan;
}

}  // namespace talvenor::capture
