#pragma once
// Colour from a one-shot-colour sensor's mosaic: each pixel saw one of red, green, blue through
// its filter, laid out in a 2 x 2 pattern; the two colours a pixel did not see are taken from
// its neighbours that did.
#include "workspace/bitmap24.h"

namespace talvenor {

// The colour of the top-left 2 x 2 cell, row by row.
enum class BayerPattern { Rggb, Grbg, Gbrg, Bggr };

// Channel (0 red, 1 green, 2 blue) the filter at (x, y) lets through.
int BayerChannelAt(BayerPattern pattern, int x, int y);

// Bilinear demosaicing of the grey mosaic `picture` (its green bytes are the samples), in place:
// a missing colour is the mean of the neighbours within one pixel that saw it (rounded), the
// picture's edges mirrored.
void DebayerBilinear(Bitmap24& picture, BayerPattern pattern);

}  // namespace talvenor
