#include "registration/quality_band.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace talvenor {

namespace {

// Fractions of the box side, in cycles per pixel, found on captures with photon noise and
// seeing between 0.8 and 3.5 pixels: below 0.045 blur hardly changes a band's share (and
// below about 0.03 it raises it); above 0.15 even the sharpest frames hold little but noise.
constexpr double kBandStart = 0.045;
constexpr double kBandEndLimit = 0.15;
// The band ends a little below the radius where detail meets the noise floor, so that
// frames blurrier than the reference still have detail in it.
constexpr double kBelowDetailRadius = 0.8;
constexpr int kLastQualityBin = 50;  // the quality only ever sums bins 0..50

int RoundToInt(double v) { return int(std::nearbyint(v)); }

}  // namespace

std::optional<QualityBandAnalysis> AutomaticQualityBand(const std::array<float, 256>& radial, int boxSize) {
    const int nyquist = std::clamp(boxSize / 2, 4, int(radial.size()) - 1);
    // The outer radii up to Nyquist hold noise whatever the seeing; their median ignores
    // the odd radius that still carries a strong edge.
    std::vector<float> outer(radial.begin() + std::ptrdiff_t(nyquist * 6 / 10), radial.begin() + nyquist);
    if (outer.empty()) return std::nullopt;
    std::nth_element(outer.begin(), outer.begin() + std::ptrdiff_t(outer.size() / 2), outer.end());
    const float floor = outer[outer.size() / 2];
    if (!(floor > 0) || !(radial[0] > floor)) return std::nullopt;

    // Two neighbouring radii averaged, so one noisy radius does not end the detail early.
    int detail = 1;
    while (detail < nyquist - 1 && 0.5f * (radial[std::size_t(detail)] + radial[std::size_t(detail) + 1]) > 2 * floor)
        ++detail;

    const int lo = std::max(2, RoundToInt(kBandStart * boxSize));
    int hi = std::min(RoundToInt(kBelowDetailRadius * detail), RoundToInt(kBandEndLimit * boxSize));
    hi = std::min(std::max(hi, lo + 2), kLastQualityBin);
    QualityBandAnalysis result;
    result.NoiseFloor = floor;
    result.DetailRadius = detail;
    result.Band.Start = lo - 1;
    result.Band.Width = hi - lo + 2;
    return result;
}

}  // namespace talvenor
