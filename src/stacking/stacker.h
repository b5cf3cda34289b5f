#pragma once
// The stacker: every chosen frame is read again, shifted by its alignment offset, calibrated
// when asked, optionally resampled or drizzled onto a finer grid, and added into the
// accumulation planes with a per-pixel coverage; at the end each pixel is divided by its
// coverage and the result scaled into the 24-bit stack picture and the 16-bit image.
#include <array>
#include <functional>
#include <vector>

#include "registration/fft_engine.h"
#include "stacking/alignment_points.h"
#include "stacking/frame_shift.h"
#include "stacking/subpixel_sampler.h"
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
    // The frames (fields) added by the stack being made.
    int FramesAdded = 0;

    // Scratch kept from frame to frame, so the frame loop allocates nothing: the reader of
    // sub-pixel stacking, and the window of a resampled FITS frame (cut out, across, done).
    SubPixelSampler Sampler;
    std::vector<float> FitsWindow, FitsAcross, FitsResampled;
};

// Adds CurrentFrameImage (or the TIFF/FITS samples of the frame just read) to the planes.
void AccumulateFrame(AppContext& c, StackerState& st);

// A quality of the sums accumulated so far (comparable from frame to frame), over the
// alignment box around the feature.
float RunningStackQuality(AppContext& c, FftEngine& fft);

// The ranking positions 0..lastRank whose frames pass the cut-offs: not excluded and
// Difference <= differencecutslider % of the largest difference (over the whole ranking).
std::vector<int> RanksPassingCuts(const AppContext& c, int lastRank);
// Those of positions 0..StackSlider.Value: the frames "Stack" takes.
std::vector<int> StackedRanks(const AppContext& c);

// "Stack": the frames up to the cut, then (when "Use alignment points" is on) the stack made
// again area by area at the points. `selectionChanged` runs the stack-selection update after
// the frame loop.
void StackButtonClick(AppContext& c, FftEngine& fft, StackerState& st, AlignmentPointState& ap,
                      const std::function<void()>& selectionChanged);

// The stack at 16 bits in StackTiff as the stack pass leaves it (the display scale x 255), over
// the stacked image: the 16-bit processed result starts from it, as the processed picture
// starts from the stacked one.
void StackTo16Bits(Workspace& ws, const StackerState& st, bool colour);

// The stack written to StackTiff at 16 bits, scaled so its largest value is 65535 (for the
// Stacking page's TIFF save).
void ExportStackTo16Bits(AppContext& c);

}  // namespace talvenor
