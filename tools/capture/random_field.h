#pragma once
// Smooth random fields for seeing that differs across the frame. The air above the telescope
// is a patchwork of cells: neighbouring pixels look through nearly the same air, pixels
// further apart than a cell through unrelated air. A field of that kind is made from
// independent Gaussian values on a coarse grid joined by cubic B-splines, which are smooth
// (continuous curvature, no grid pattern in the pixels) and, with positive weights, never
// overshoot the grid values. The grid is laid at a random offset so that no pixel is
// special from frame to frame.
#include <cstdint>
#include <vector>

namespace talvenor::capture {

// Values beyond this many rms are clipped: the frame renderer sizes the scene margin for
// the widest blur and the largest displacement a field can ask for. A B-spline field almost
// never reaches it (its values are averages of several grid values).
constexpr double kFieldClip = 4.0;

// A width x height field (row-major) with zero mean and the given rms over the field, whose
// values at two pixels `length` apart are correlated by about 1/e (less than 0.05 at twice
// that), from the random stream `seed`.
void SmoothRandomField(int width, int height, double length, uint64_t seed, std::vector<float>& out,
                       double rms = 1);

}  // namespace talvenor::capture
