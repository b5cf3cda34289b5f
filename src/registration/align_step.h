#pragma once
// Registers one frame (or one de-interlace field) against the reference: correlates the
// box's spectrum with the reference spectrum, finds the shift, lets the box follow the
// object, asks the user when the match collapses, and measures the registration difference
// and the frame's quality.
#include "registration/alignment_state.h"
#include "workspace/app_context.h"

namespace talvenor {

// The refinement of the correlation peak by parabolas through the 3 x 3 samples around it:
// (dx, dy) offsets of the true maximum from the integer peak (px, py), in -1..1; a flat
// parabola (no curvature) gives 0.
std::pair<float, float> SubPixelPeak(const FftEngine& fft, int px, int py);

// One step on CurrentFrame / FieldIndex with the frame in CurrentFrameImage.
void AlignStep(AppContext& c, FftEngine& fft, AlignmentState& a);

// The rows of the frames to come that AlignStep will look at, as the tracking stands now: the
// box where it will be looked for (with the room a second cut takes), the registration
// difference's and the quality's boxes around where the feature will be found, and a margin
// for the drift of the few frames read ahead. A frame's step that needs other rows has it read
// whole then (Workspace::ReadWholeFrame); all rows while the user aligns by hand.
FrameRows AlignStepRows(const AppContext& c, const FftEngine& fft, const AlignmentState& a);

}  // namespace talvenor
