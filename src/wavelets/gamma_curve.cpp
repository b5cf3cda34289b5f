#include "wavelets/gamma_curve.h"

#include <algorithm>
#include <cmath>

namespace talvenor {

namespace {
constexpr int kSplineSamples = 10000;
constexpr int kDefaultSegments = 50;
}  // namespace

int GammaSplineResolution(const TBSpline& spline, bool linear) {
    return linear ? std::max(1, spline.PointCount() - 1) : kDefaultSegments;
}

void ResetGammaSpline(TBSpline& spline, bool linear) {
    spline.Clear();
    spline.AddPoint(0, 255);
    spline.AddPoint(128, 128);
    spline.AddPoint(255, 0);
    spline.SetInterpolate(true);
    spline.ShowPoints = true;
    spline.SetResolution(GammaSplineResolution(spline, linear));
}

void CurveFromSpline(TBSpline& spline, GammaTable& curve) {
    curve.fill(-1.0);
    const int last = kGammaEntries - 1;
    for (int s = 0; s <= kSplineSamples; ++s) {
        const auto [x, y] = spline.Value(float(s * 0.0001));
        const double at = double(x) * last / 255.0;
        const int index = std::isfinite(at) ? int(std::clamp(std::nearbyint(at), 0.0, double(last))) : 0;
        curve[std::size_t(index)] = std::clamp((255.0 - double(y)) / 255.0, 0.0, 1.0);
    }
    // Entries no sample reached: black before the curve first rises, white after.
    double fill = 0;
    for (double& v : curve) {
        if (v == -1.0) v = fill;
        if (v > 0) fill = 1;
    }
}

bool CurveFromGamma(double gamma, GammaTable& curve) {
    if (!(gamma > 0)) return false;
    for (int i = 0; i < kGammaEntries; ++i) curve[std::size_t(i)] = std::pow(0.001 * i + 0.000001, 1.0 / gamma);
    return true;
}

}  // namespace talvenor
