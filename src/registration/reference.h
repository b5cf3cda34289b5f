#pragma once
// The alignment feature and the reference spectrum every frame is correlated with.
#include "registration/alignment_state.h"
#include "workspace/app_context.h"

namespace talvenor {

// The low-pass "Alignment filter": clears, in both parts, every element whose signed
// frequencies satisfy fx^2 + fy^2 > radius2 (the boundary itself stays).
void ApplyAlignmentFilter(FftEngine& fft, float radius2);

// The quality band read off the reference box's spectrum, written into QualityFilter and
// QualFilterDX ("Automatic band").
void ApplyAutomaticQualityBand(AppContext& c, const AlignmentState& a);

// Computes the reference spectrum for the frame in CurrentFrameImage (shown in PreviewImage):
// the box's mean-free luminance, transformed, its quality graph drawn, low-pass filtered when
// "Alignment filter" is checked; ReferenceImage and AlignImage get the frame with the box.
void CalculateReferenceFFT(AppContext& c, FftEngine& fft, AlignmentState& a);

// Draws the magnitude of the working plane on imgFFT (zero frequency in the centre).
void ShowSpectrum(AppContext& c, const FftEngine& fft);
// Clears imgFFT and writes " Not defined " in its middle.
void ClearSpectrumPicture(AppContext& c);

// Whether a feature at (x, y) keeps the box clear of the frame border.
bool FeatureInsideBorder(const Workspace& ws, int boxSize, int x, int y);

// The feature mark drawn on AlignImage: a circle of radius 15, four ticks and the box.
void DrawFeatureMark(Bitmap24& picture, int cx, int cy, int boxLeft, int boxTop, int boxSize, bool dot);

// A new box size: the transform size, the box clamped to the fixed 352 x 288 limits, the
// spectrum window's caption.
void ChangeBoxSize(AppContext& c, FftEngine& fft, AlignmentState& a);

}  // namespace talvenor
