#pragma once
// The stacker: every chosen frame is read again, shifted by its alignment offset, calibrated
// when asked, optionally resampled or drizzled onto a finer grid, and added into the
// accumulation planes with a per-pixel coverage; at the end each pixel is divided by its
// coverage and the result scaled into the 24-bit stack picture and the 16-bit image.
#include <array>
#include <functional>
#include <vector>

#include "registration/alignment_state.h"
#include "workspace/app_context.h"

namespace talvenor {

struct StackerState {
    int CurShiftX = 0, CurShiftY = 0;
    float CurSubShiftX = 0, CurSubShiftY = 0;
    float FrameWeight = 1;
    int StackFrameCount = 0;
    int StackListLength = 0;
    int ExpandMinX = 0, ExpandMaxX = 0, ExpandMinY = 0, ExpandMaxY = 0;
    int ExpandedWidth = 0, ExpandedHeight = 0;
    int ExpandOffsetX = 0, ExpandOffsetY = 0;
    float StackMin = 0, StackMax = 0;
};

// One drizzle cell: half-pixel (I, K) of the 2 x 2 output pixels a drop can reach, 0..3.
struct DrizzleCell {
    int I, K;
    float Weight;
};

// The cells a drop of side `pixfrac` at fractional position (fx, fy) covers, weights
// normalised to sum 1, x-cell outer and y-cell inner.
std::vector<DrizzleCell> DrizzleWeights(float fx, float fy, float pixfrac);

// Adds CurrentFrameImage (or the TIFF/FITS samples of the frame just read) to the planes.
void AccumulateFrame(AppContext& c, StackerState& st);

// A quality of the sums accumulated so far (comparable from frame to frame).
float RunningStackQuality(AppContext& c, FftEngine& fft, const AlignmentState& a);

// The frames of ranking positions 0..StackSlider.Value that pass the cut-offs: not excluded
// and Difference <= differencecutslider % of the largest difference.
std::vector<int> StackedRanks(const AppContext& c);

// "Stack". `selectionChanged` runs the stack-selection update after the frame loop.
void StackButtonClick(AppContext& c, FftEngine& fft, const AlignmentState& a, StackerState& st,
                      const std::function<void()>& selectionChanged);

// The stack written to StackTiff at 16 bits, scaled so its largest value is 65535 (for the
// Stacking page's TIFF save).
void ExportStackTo16Bits(AppContext& c);

}  // namespace talvenor
