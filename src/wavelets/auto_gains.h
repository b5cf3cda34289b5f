#pragma once
// "Auto": one click to sharpen a stack well. The wavelet scheme, the six layer gains and, where
// they pay, soft noise thresholds on the two finest layers are chosen from measurements of the
// stack itself: the blind estimate of its Gaussian blur and of its noise floor, per channel,
// give a model of the scene's spectrum and the noise's, and the gains are those that bring the
// rebuilt picture closest to the unblurred scene under that model. Deterministic: the same
// planes always give the same choice.
#include <array>
#include <span>

#include "wavelets/decomposition.h"
#include "workspace/canvas.h"
#include "workspace/single2d_array.h"

namespace talvenor {

struct AutoWavelets {
    // The scheme: dyadic, or linear with the page's "Initial" and "Step".
    bool dyadic = true;
    double initial = 1, step = 0;
    // [1..6]: the gain sliders' values in tenths (10 is a gain of 1.0), 0 .. 1000.
    std::array<int, kLayers + 1> gain{0, 10, 10, 10, 10, 10, 10};
    // [1..6]: a soft threshold applied, and its value in the planes' levels, as
    // RebuildSettings takes them.
    std::array<bool, kLayers + 1> cut{};
    std::array<float, kLayers + 1> threshold{};
    // The blur the gains undo (the channels' blind estimates, mean); 0 when the picture gave no
    // estimate or holds nothing but noise, and the gains are then all 1.0 (the picture is left
    // as it is).
    double sigma = 0;
};

// From `channels` (working planes of 16-bit levels: one for a grey picture, three for colour,
// all processed with the same gains) inside `area` (right and bottom exclusive) of an
// imageWidth x imageHeight picture, decomposed with `kernel`.
AutoWavelets ChooseAutoWavelets(std::span<const Single2dArray* const> channels, int imageWidth, int imageHeight,
                                const PixelRect& area, const SmoothingKernel& kernel);

}  // namespace talvenor
