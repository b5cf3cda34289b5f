#pragma once
// The noise reduction window: per-layer thresholds from an estimator or by hand, and the
// anti-ringing level picked on the dark background of the processed image.
#include "session/session.h"

namespace talvenor {

// A click on the estimator choice: the six thresholds, the sliders re-ranged around them, the
// rebuild.
void ApplyEstimator(Session& s);

// Threshold slider n (1..6) moved: its value in thousandths becomes the layer's threshold.
void SetThresholdFromSlider(Session& s, int n);

// A press on the processed image other than the plain left button: the anti-ring level from
// the 11 x 11 pixels around (x, y).
void PickAntiRingLevel(Session& s, int x, int y);

// The noise window's threshold slider of layer n (1..6).
Slider& NoiseSlider(Controls& f, int n);

void RegisterNoiseWindowHandlers(Session& s);

}  // namespace talvenor
