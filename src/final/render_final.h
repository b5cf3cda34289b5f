#pragma once
// The final picture from the 16-bit processed image: rotated about its centre with bilinear
// interpolation, shifted in hue, saturation and lightness (globally and per hue), and flipped.
#include <array>
#include <cstdint>

#include "final/final_state.h"
#include "workspace/bitmap24.h"
#include "workspace/tiff_bitmap.h"

namespace talvenor {

struct FinalSettings {
    double angle = 0;                     // degrees, counter-clockwise on the screen
    int hue = 0, saturation = 0, lightness = 0;
    bool flipX = false, flipY = false;
    const FinalState* curves = nullptr;   // per-hue tables (none: neutral)
};

// Renders the top-left width x height of `wide` into `out` (resized to that, not flipped) and
// counts the hue histogram of pixels brighter than 100.
void RenderFinal(const TTIFFBitMap& wide, int width, int height, const FinalSettings& s, Bitmap24& out,
                 std::array<int32_t, 361>& hueHistogram);

// Row y of the result is row y of the source (height - 1 - y with flipY); within a row pixel x
// is source pixel x (width - 1 - x with flipX).
Bitmap24 FlipPicture(const Bitmap24& picture, bool flipX, bool flipY);

// White, and a black line per degree of hue as high as its count against the largest (a white
// box when every count is 0).
void DrawHueHistogram(Bitmap24& picture, const std::array<int32_t, 361>& hueHistogram);

// The same rendering at 16 bits per channel for the TIFF save (flips applied; no crop).
void RenderFinal16(const TTIFFBitMap& wide, int width, int height, const FinalSettings& s, TTIFFBitMap& out);

}  // namespace talvenor
