#pragma once
// The display transfer table GammaCurve (1001 entries for inputs 0, 0.001, .. 1) and the
// gamma window's spline it can be drawn from. In the window's graph x = 0 .. 255 is the input
// and y = 0 .. 255 the output with 255 at the bottom (output 0).
#include <array>

#include "wavelets/tb_spline.h"
#include "workspace/workspace.h"

namespace talvenor {

using GammaTable = std::array<double, kGammaEntries>;

// The spline back to its three points (0, 255), (128, 128), (255, 0): interpolating, points
// shown, drawn with 50 segments, or one per gap between points with "Linear".
void ResetGammaSpline(TBSpline& spline, bool linear);

// The segments the curve is drawn with: 50, or count - 1 with "Linear" (the polyline then
// joins the points).
int GammaSplineResolution(const TBSpline& spline, bool linear);

// The table from the spline: 10001 samples of the curve, each writing (255 - y) / 255 (limited
// to 0 .. 1) at Round(x * 1000 / 255); entries no sample reached take 0 before the first
// positive output and 1 after it.
void CurveFromSpline(TBSpline& spline, GammaTable& curve);

// The power law (0.001 i + 0.000001)^(1 / gamma). False (table unchanged) for gamma <= 0.
bool CurveFromGamma(double gamma, GammaTable& curve);

}  // namespace talvenor
