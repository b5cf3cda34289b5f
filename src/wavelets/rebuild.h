#pragma once
// The processed image from the stored layers: each area pixel is the residual plus the
// enabled layers times their gains (with the noise thresholds), mapped for display through
// contrast, the gamma table, brightness, the histogram stretch, the channel offsets and the
// colour balance into the 24-bit picture, the 16-bit result and the histograms.
#include <array>

#include "wavelets/decomposition.h"
#include "workspace/bitmap24.h"
#include "workspace/workspace.h"

namespace talvenor {

enum class ColourMode { Mono, Colour, Lrgb };

struct RebuildSettings {
    std::array<float, kLayers + 1> gain{};       // [1..6], slider value x 0.1
    std::array<bool, kLayers + 1> enabled{};     // [1..6]
    std::array<bool, kLayers + 1> cut{};         // [1..6] noise threshold applied
    std::array<float, kLayers + 1> threshold{};  // [1..6]
    bool subtract = true;                        // soft threshold
    int contrast = 100;                          // percent
    int brightness = 0;
    float stackMin = 0, stackMax = 255;
    const std::array<double, kGammaEntries>* gamma = nullptr;
    float histLo = 0, histHi = 255;
    std::array<int, 3> offset{};                 // R, G, B levels
    std::array<float, 3> balance{1, 1, 1};
    ColourMode mode = ColourMode::Mono;
    std::array<bool, 3> show{true, true, true};  // R, G, B bytes of the picture (colour mode)
    int margin = 4;                              // inner border of the area left unredrawn
    // Anti-ringing: a pixel whose sums' luminance is below the level shows the residual.
    bool antiRing = false;
    float antiRingLevel = 0;
    std::array<float, 3> lumWeights{0.299f, 0.587f, 0.114f};
};

// The inner border of the area a rebuild leaves alone (where the layers saw past the area):
// the linear scheme's scale of layer 6 plus 3.
int RedrawMargin(double initial, double step);

// The part of the area a rebuild redraws: the area shrunk by `margin` on every side that does
// not lie on the image border.
LayerArea RedrawnRegion(const LayerArea& area, int margin, int imageWidth, int imageHeight);

// Rebuilds the processing area: LayerPlanes[0] (the sums), the region's pixels of `picture`
// (which must be ImageWidth x ImageHeight) and of StackTiff, and ws.Histogram.
void RebuildProcessedImage(Workspace& ws, const RebuildSettings& s, Bitmap24& picture);

// White 10-pixel corner marks of the area, drawn in XOR (drawing them twice removes them).
void DrawAreaMarks(Bitmap24& picture, const LayerArea& area);

}  // namespace talvenor
