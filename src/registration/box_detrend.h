#pragma once
// Preparing an alignment box for its transform.
#include <vector>

#include "registration/fft_engine.h"

namespace talvenor {

// out(x, y) := (box(x, y) - plane(x, y)) * taper[x] * taper[y] over the n x n corner, where
// the plane is the least-squares fit a + b x + c y to the box.
//
// Removing the mean alone leaves any brightness slope across the box (limb darkening, the
// side of a planet, a bright crater wall) in it; faded out by the taper, a slope becomes a
// hump that sits in the same place in every box, whatever the frame's shift, and pulls the
// correlation peak towards zero shift. On blurred frames, whose detail no longer outweighs
// it, that held shifts of 6 to 9 pixels at 0 to 2. The plane takes the slope out first.
void DetrendAndTaper(const FftPlane& box, int n, const std::vector<float>& taper, FftPlane& out);

}  // namespace talvenor
