#pragma once
// The picture shown while a layer button is held: one layer of the processing area in red
// (where it darkens) and green (where it brightens), with its range and variance written on it.
#include "wavelets/decomposition.h"
#include "workspace/bitmap24.h"
#include "workspace/workspace.h"

namespace talvenor {

struct LayerPreviewSettings {
    bool cut = false;       // the layer's noise threshold applies
    float threshold = 0;
    bool subtract = true;   // soft threshold
    float variance = 0;     // shown as "DEV :"
};

// The lowest and highest value of layer n (channel 1) over the pixels at least 10 pixels inside
// the area, after the noise rule.
struct LayerRange {
    float min = 1e10f, max = -1e10f;
};
LayerRange PreviewRange(const Workspace& ws, int n, const LayerPreviewSettings& s);

// Draws layer n over the area of `picture` (ImageWidth x ImageHeight).
void DrawLayerPreview(const Workspace& ws, int n, const LayerPreviewSettings& s, Bitmap24& picture);

// A number cut to two decimals, as the preview writes it ("1.23").
std::string TwoDecimals(double x);

}  // namespace talvenor
