#pragma once
// The histogram window: the graph of the processed image's levels with its stretch markers,
// the channel offsets and the colour balance.
#include "session/session.h"

namespace talvenor {

// The graph from the last rebuild's counts (the rebuild calls it while the window is shown).
void DrawHistogramWindow(Session& s);

// Start-up and a new input: no stretch, the markers at the ends, and the colour balance the
// rebuild applies as the balance spins show it.
void ResetHistogramLimits(Session& s);

// "Set Zero": offsets 0, balances 1.0, the image rebuilt.
void ZeroColour(Session& s);

void RegisterHistogramWindowHandlers(Session& s);

}  // namespace talvenor
