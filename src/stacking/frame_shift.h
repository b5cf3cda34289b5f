#pragma once
// Where a frame goes in the stack. The alignment gives every frame a whole-pixel shift and,
// refined, a sub-pixel one (SubShiftX/Y: the same shift in the same sign convention, the
// feature's displacement in the frame). Stacking reads the frame at destination + shift.
#include <vector>

namespace talvenor {

struct FrameShift {
    double X = 0, Y = 0;
};

// The sub-pixel shift when `subPixel` is asked for and the frame has one, else the whole
// shift. A sub-pixel shift of exactly (0, 0) beside a whole shift that is not was never
// measured (the alignment left it empty), so the whole shift is used rather than putting
// the frame at the origin.
FrameShift ShiftOf(int wholeX, int wholeY, float subX, float subY, bool subPixel);

// A drizzle drop: the source index offset (Dx, Dy) and the drop's position (Fx, Fy) within
// the output pixel, 0 <= F < 1. Source pixel x + Dx lands at x + F, which is where its
// content belongs: x + Dx - shift.
struct DrizzleDrop {
    int Dx = 0, Dy = 0;
    float Fx = 0, Fy = 0;
};

// The drop of a frame at `shift`, given in pixels of a grid `factor` times finer than the
// frame's (1 unless the alignment was resampled).
DrizzleDrop DropOf(FrameShift shift, double factor);

// One drizzle cell: half-pixel (I, K) of the 2 x 2 output pixels a drop can reach, 0..3.
struct DrizzleCell {
    int I, K;
    float Weight;
};

// The cells a drop of side `pixfrac` at fractional position (fx, fy) covers, weights
// normalised to sum 1, x-cell outer and y-cell inner.
std::vector<DrizzleCell> DrizzleWeights(float fx, float fy, float pixfrac);

}  // namespace talvenor
