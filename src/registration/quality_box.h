#pragma once
// The box a frame's quality is measured on. It is the alignment box, except that a 32-pixel
// box holds too little detail to tell a frame blurred by 1 pixel from one blurred by 3 under
// photon noise (rank correlation with the true blur about -0.6 on planetary captures), and a
// 64-pixel box too little to sort frames reliably (-0.82): with the automatic band, frames
// are rated on the 128-pixel box around the feature instead (-0.95 to -0.98 on the same
// captures), transformed by an engine of its own.
#include <array>
#include <vector>

#include "registration/alignment_state.h"
#include "workspace/app_context.h"

namespace talvenor {

constexpr int kSmallestQualityBox = 128;

// The side of the quality box for an alignment box of side `alignBox`: with the automatic
// band, AutomaticQualityBoxSize; with a band set by hand, the alignment box, as the band's
// bins refer to it.
int QualityBoxSize(const AppContext& c, int alignBox);
int AutomaticQualityBoxSize(const Workspace& ws, int alignBox);

// The radial spectrum of the mean-free, tapered luminance of the q x q square of `frame`
// (q = engine.AlignBoxSize()) whose top-left pixel is (left, top), into engine.RadialSpectrum.
// Pixels outside width x height count as the mean.
void MeasureBoxSpectrum(const Bitmap24& frame, int width, int height, int left, int top,
                        const std::array<float, 3>& weights, FftEngine& engine, const std::vector<float>& taper);

// The mean-free aligned box in the n x n corner of fft.TransformRe faded by `taper` (one
// factor per column and row), as it is transformed for the quality on the alignment box.
void TaperAlignedBox(FftEngine& fft, int n, const std::vector<float>& taper);

// The engine whose RadialSpectrum holds the last quality measured (the alignment engine, or
// the quality box's own).
const FftEngine& LastQualitySpectrum(const AlignmentState& a, const FftEngine& alignment);

}  // namespace talvenor
