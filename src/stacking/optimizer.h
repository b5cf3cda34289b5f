#pragma once
// The optimizer: refines the whole-pixel shift of every ranked frame found by the alignment
// pass. It does not correlate spectra; it compares the alignment box of the frame, moved by
// every offset of a small search square, with the same box of the reference picture pixel by
// pixel, keeps the offset with the smallest mean-removed difference and stores that
// difference (what the difference cut-off of the stack selection works on) together with a
// score of how much the run improved it. The alignment pass repeats it until a run no longer
// improves the total difference enough.
#include <memory>

#include "registration/alignment_state.h"
#include "workspace/app_context.h"

namespace talvenor {

class AviFrameSource;

struct OptimizerState {
    // 0.001 x the sum of Difference over the ranked frames within the quality limit, as the
    // last completed run left it.
    double OptimizeTotal = 0;
    // Sum of the best scores of the current (or last) run.
    float OptimizeSum = 0;
    // While clear, showing the frame at the AlignSlider position leaves AlignImage alone, so
    // the optimizer's comparison picture stays visible.
    bool AlignViewFollows = true;
    // During a run over an AVI or SER: the capture kept open, its frames visited in file order
    // so a codec that predicts from earlier frames decodes each once, and the frame the run
    // visits next (decoded ahead), -1 for none.
    std::shared_ptr<AviFrameSource> RunSource;
    int RunNextFrame = -1;
};

// One optimizer run over the ranked frames within the quality limit (and, with "Fast
// optimize", only over those the last run still improved). Returns OptimizeTotal for the
// auto-optimisation loop; a cancelled run returns the previous total unchanged.
double OptimizeButtonClick(AppContext& c, AlignmentState& a, OptimizerState& o);

// Refines the shift of frame f for the current FieldIndex: loads the frame, samples both
// boxes into ReferenceRe / FrameSpecRe (scratch, their contents are lost), searches the
// offsets within SearchArea, updates the frame record and OptimizeSum and draws the
// comparison into AlignImage. AlignX/AlignY are unchanged afterwards, ImageWidth/ImageHeight
// hold the source size, AlignBoxX/AlignBoxY the frame's base shift.
void OptimizeFrame(AppContext& c, AlignmentState& a, OptimizerState& o, int f);

// Shows the frame at the AlignSlider position (its rank's frame), copies it into AlignImage
// when AlignViewFollows is set, redraws the rank graph and marks the position on it.
void AlignSliderChange(AppContext& c, AlignmentState& a, OptimizerState& o);

}  // namespace talvenor
