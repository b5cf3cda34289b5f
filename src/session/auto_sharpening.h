#pragma once
// "Auto" on the Wavelet page and the sharpening a new stack gets by itself: the settings read
// off the stack, for the layer gains or for the deconvolution, and the blind estimate of the
// stack's blur shown on the page.
#include "session/session.h"

namespace talvenor {

// The method a new stack is sharpened by when "Sharpen automatically after stacking" is
// checked (the SharpenMethod item): the one that measured best on generated captures against
// their truth.
inline constexpr int kAutomaticSharpenMethod = 1;

// Sets the page's controls for the method in use from the stack: the deconvolution's sigma
// (and the Wiener filter's regularisation), or the scheme, the six gains and the noise
// thresholds of the finest layers. Processes nothing.
void ChooseAutomaticSharpening(Session& s);

// "Auto": the settings chosen, then Process.
void AutoSharpenClick(Session& s);

// A new stack on its way to the Wavelet page: with "Sharpen automatically after stacking"
// checked, the best-measuring method with settings chosen from the stack.
void SharpenNewStack(Session& s);

// A new input: the estimate of the previous stack's blur no longer holds.
void ForgetBlurEstimate(Session& s);

}  // namespace talvenor
