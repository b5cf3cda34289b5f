#pragma once
// Sizing of the planes that follow the stacked image and of the wavelet layers.
#include "workspace/controls.h"
#include "workspace/workspace.h"

namespace talvenor {

// Sizes every stack-size plane for a stacked image of width x height, places the processing
// area (centred when the image is larger), sets the scroll ranges of the views and appends
// the memory report. Frees the previous planes itself.
void AllocateStackBuffers(Workspace& ws, Controls& form, int width, int height);

// `Processarea` item -> side (item 0 "full" = 4096 ... 5 = 128; anything else keeps 512).
int ProcessAreaSideForItem(int itemIndex);

// Maps the item to ProcessAreaMax, re-creates the 21 layer planes at that square size and
// sets the processing area to the full square.
void SetProcessAreaMax(Workspace& ws, int itemIndex);

}  // namespace talvenor
