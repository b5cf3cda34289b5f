#pragma once
// What the Final page keeps between user actions: the per-hue curve tables and their splines,
// the hue histogram of the last render, and the crop rectangle.
#include <array>
#include <cstdint>

#include "wavelets/tb_spline.h"

namespace talvenor {

constexpr int kHueSteps = 3601;  // tenths of a degree, 0 .. 360

struct FinalState {
    // Added twice to the hue, saturation and lightness shifts of a pixel of that hue
    // (index = Round(hue x 10)); all 0 is neutral.
    std::array<float, kHueSteps> HueCurve{}, SatCurve{}, LightCurve{};
    // The curves the HSL window edits (graph x = hue 0 .. 360, y = 50 neutral, 0 top).
    TBSpline HueSpline, SatSpline, LightSpline;
    // Pixels brighter than 100 per whole degree of hue, counted by the last render.
    std::array<int32_t, 361> HueHistogram{};
    // The crop rectangle in the final picture's pixels; CropLeft = -1: none.
    int CropLeft = -1, CropRight = 0, CropTop = 0, CropBottom = 0;
    // A crop outline is on the picture (drawn in XOR).
    bool CropDrawn = false;
};

}  // namespace talvenor
