#pragma once
// How far a shift can place a frame. Beyond the largest frame side, even on the four times
// finer grid of a resampled stack, no pixel of the frame overlaps the stack; holding shifts to
// that reach where they enter the stacking arithmetic keeps every range computed from them
// (canvas size, first and last row and column) within int, whatever the alignment, the
// optimizer or a file gave.
#include <algorithm>
#include <cmath>

#include "workspace/workspace.h"

namespace talvenor {

constexpr int kShiftReach = 16 * kMaxImageSide;

inline int HeldShift(int shift) { return std::clamp(shift, -kShiftReach, kShiftReach); }

// A sub-pixel shift that is not a number stands for none measured: the whole shift is used.
inline float HeldSubShift(float sub, int whole) {
    if (!std::isfinite(sub)) return float(HeldShift(whole));
    return std::clamp(sub, -float(kShiftReach), float(kShiftReach));
}

}  // namespace talvenor
