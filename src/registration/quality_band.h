#pragma once
// The automatic quality band: which spatial frequencies tell a sharp frame from a blurred one
// in this capture, read off the reference box's radial spectrum.
//
// Seeing blurs a frame by attenuating its spectrum more and more towards high frequencies,
// so the share of a band of frequencies in the whole spectrum falls as the blur grows, but
// only where the band still holds detail rather than noise. Above the radius where the
// spectrum sinks into the noise floor, a band measures noise: blur then lowers the total
// while the noise in the band stays, and the "quality" grows with the blur. At the very
// lowest radii the share grows with blur too, as blur moves power from the middle towards
// them. The band therefore starts at a fixed fraction of the box size and ends below the
// radius where the reference's spectrum meets its noise floor.
#include <array>
#include <optional>

namespace talvenor {

struct QualityBand {
    int Start = 0;  // QualityFilter: the band sums bins Start + 1 .. Start + Width - 1
    int Width = 0;  // QualFilterDX
};

// What the band was derived from, for the graph and for tests.
struct QualityBandAnalysis {
    QualityBand Band;
    float NoiseFloor = 0;  // median of the outer radii up to the box's Nyquist radius
    int DetailRadius = 0;  // first bin where the spectrum has fallen to twice the floor
};

// The band for a box of side `boxSize` whose radial spectrum is `radial` (bin k holds radius
// k + 1, as the FFT engine computes it). Nothing for a spectrum without any power.
std::optional<QualityBandAnalysis> AutomaticQualityBand(const std::array<float, 256>& radial, int boxSize);

}  // namespace talvenor
