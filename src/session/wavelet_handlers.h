#pragma once
// Wires the Wavelet Processing page, its filter and channel-shift windows to their work.
#include "session/session.h"

namespace talvenor {

// The kernel from the 25 filter spins, normalised (the start-up step and "Set" without Process).
void NormaliseKernel(Session& s);

// While a layer button is held its layer is shown; the release restores the picture.
void PreviewLayer(Session& s, int n);
void EndPreview(Session& s);

void RegisterWaveletHandlers(Session& s);

}  // namespace talvenor
