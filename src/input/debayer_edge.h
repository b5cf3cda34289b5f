#pragma once
// The pieces the two demosaicing methods share, and the edge-directed method itself (the
// public entry points are in input/debayer.h).
#include <cstdint>
#include <vector>

#include "input/debayer.h"

namespace talvenor {

// The mosaic with `border` samples added on every side, mirrored about the edge pixels, into
// `padded`: the mirror of a pixel is an even distance away, so the filter colours continue
// unbroken.
void MirrorPaddedMosaic(const uint16_t* mosaic, int width, int height, int border, std::vector<uint16_t>& padded);

// DebayerSamples for DebayerMethod::Edge, for a mosaic at least 2 x 2.
void DebayerEdgeSamples(const uint16_t* mosaic, int width, int height, BayerPattern pattern, uint16_t* rgb,
                        DebayerScratch& scratch);

}  // namespace talvenor
