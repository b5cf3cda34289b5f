#pragma once
// Frame quality, the ranking of the frames by it, and the two graphs of the registration
// properties window: the power spectrum with the quality band, and the ranked quality and
// registration-difference curves (also shown on the Stacking page).
//
// A frame's quality is the share of its radial power spectrum that falls into the band the
// user picks with "Quality filter band": fine detail survives seeing only in sharp frames, so
// a larger share there means a sharper frame. Everything that selects frames later (the stack
// cut, the optimizer) compares a frame's quality with the best one as a percentage.
#include "registration/fft_engine.h"
#include "registration/quality_band.h"
#include "workspace/app_context.h"

namespace talvenor {

// White picture with a black one-pixel frame and a grey 10 x 10 grid. The picture's Image is
// first made graph.Width x graph.Height when it has another size.
void ClearGraph(Picture& graph);

// The band the quality is the share of, and whether the box contrast scales it: read from the
// controls once, so the quality can be worked out away from them.
struct QualityRating {
    QualityBand Band;
    bool Contrast = false;
    static QualityRating Of(const Controls& form);
    // The quality of the box spectrum in fft.RadialSpectrum for the frame's record (its box
    // contrast, AlignDifference).
    float Of(const FftEngine& fft, const FrameRecord* record) const;
};

// The quality of the box spectrum in fft.RadialSpectrum: the band's share of the spectrum,
// times the box contrast when "Use contrast" is checked. Stores it for CurrentFrame (in
// QualityA for the first field of de-interlaced input, otherwise in Quality), draws the
// spectrum graph on imgGraph and returns the quality.
// `draw` false skips the graph (a pass draws it only as often as the screen can show it).
float MeasureQuality(AppContext& c, const FftEngine& fft, bool draw = true);

// Sorts Ranking[0..LastFrame] by RankQuality, best first; equal qualities keep their order.
// Only FrameIndex and RankQuality move: StackValue belongs to the rank position.
void SortRanking(Workspace& ws);

// Whether the frame at `rank` reaches `percent` per cent of the best quality (rank 0).
bool IsGoodRank(const Workspace& ws, int rank, double percent);

// The last rank "Align && stack" stacks, for selectedCount ranked frames and the fraction p of
// the best quality below which a frame is poor: the last good rank, at least 1; the last rank
// itself is never cut away, and a single frame gives 0.
int AlignAndStackCut(const Workspace& ws, int selectedCount, double p);

// The ranked quality (red) and registration difference (blue) curves for ranks
// 0..AlignSlider.MaxValue on imgGraph, dotted from the first poor rank on, with the difference
// cut as a blue line; the picture is then copied onto StackGraph.
void DrawRankGraph(AppContext& c);
// Its axes and legend: rank across, quality and difference (each against its largest) up.
GraphAxes RankGraphAxes();

// Marks the rank AlignSlider.Value on imgGraph with a green vertical line.
void DrawGraphMarker(AppContext& c);

}  // namespace talvenor
