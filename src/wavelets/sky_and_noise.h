#pragma once
// What deconvolution needs to know of a picture besides its blur: the level of its sky, and how
// strong its noise is at each level of light.
#include "wavelets/richardson_lucy.h"
#include "workspace/canvas.h"
#include "workspace/single2d_array.h"

namespace talvenor {

// The given percentile (0 .. 1) of the plane's values inside `area`.
float SkyLevel(const Single2dArray& plane, const PixelRect& area, double percentile = 0.01);

// The noise of the picture inside `area` against the level above `sky`: each pixel's difference
// from the mean of its four neighbours, its median size in bands of level, fitted by a line.
NoiseModel EstimateNoise(const Single2dArray& plane, const PixelRect& area, float sky);

}  // namespace talvenor
