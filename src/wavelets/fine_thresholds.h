#pragma once
// Soft noise thresholds for the finest layers, chosen where they pay: a threshold T replaces a
// layer value w by w - clamp(w, -T, T), and Stein's unbiased estimate of that error
//   sum over pixels of  s^2 - 2 s^2 [|w| <= T] + min(|w|, T)^2
// (s the noise deviation of the pixel's layer value) needs no scene, only the noise. It is
// compared with the error of keeping every value (sum of s^2) for a few T, over the object (the
// sky follows); the noise of each layer is read in the sky and grows with the light as the
// picture's noise does.
#include <array>
#include <span>

#include "wavelets/layer_response.h"
#include "workspace/canvas.h"
#include "workspace/single2d_array.h"

namespace talvenor {

struct LayerCut {
    bool cut = false;
    float threshold = 0;  // in the planes' levels
};

// Layers 1 and 2 (index 0 unused) of `channels` split with `kernel` and `scales` inside `area`
// (right and bottom exclusive); one threshold per layer for all channels, as the rebuild takes.
std::array<LayerCut, 3> ChooseFineThresholds(std::span<const Single2dArray* const> channels, int imageWidth,
                                             int imageHeight, const PixelRect& area, const SmoothingKernel& kernel,
                                             const LayerScales& scales);

}  // namespace talvenor
