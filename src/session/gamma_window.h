#pragma once
// The gamma window: the curve graph the user edits with the mouse, the gamma spin that
// replaces the curve with a power law, and the display table both fill.
#include "session/session.h"

namespace talvenor {

// The curve of start-up and of a new input: the three default points drawn, and the table of
// gamma 1 (nothing is rebuilt).
void CreateGammaCurve(Session& s);

// Sets the gamma spin and applies it as its change would.
void SetGammaValue(Session& s, double gamma);

// `Gamma1spin` changed: the spline back to its default points and the table from the power law
// (a gamma of 0 or less becomes 1.0); the image is rebuilt.
void GammaSpinChanged(Session& s);

// Double-click or "Reset": the default curve, the table from it, the image rebuilt.
void ResetCurve(Session& s);

// The graph drawn again with the curve as it stands (after the curve was set from outside).
void RedrawGammaGraph(Session& s);

void RegisterGammaWindowHandlers(Session& s);

}  // namespace talvenor
