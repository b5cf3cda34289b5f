#pragma once
// Colour from a one-shot-colour sensor's mosaic: each pixel saw one of red, green, blue through
// its filter, laid out in a 2 x 2 pattern; the two colours a pixel did not see are taken from
// its neighbours that did.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/demosaic_scratch.h"

namespace talvenor {

// The colour of the top-left 2 x 2 cell, row by row.
enum class BayerPattern { Rggb, Grbg, Gbrg, Bggr };

// Bilinear: the plain mean of the neighbours that saw a colour (soft, fringes on sharp edges).
// Edge: green interpolated along an edge rather than across it, red and blue from the colour
// differences to that green (sharper, no zipper along a planet's limb).
enum class DebayerMethod { Bilinear, Edge };

// "bilinear" / "edge" (any case) and back, for the command line and settings.
std::optional<DebayerMethod> ParseDebayerMethod(std::string_view text);
const char* DebayerMethodName(DebayerMethod method);

// "RGGB", "GRBG", "GBRG", "BGGR" (any case) and back.
std::optional<BayerPattern> ParseBayerPattern(std::string_view text);
const char* BayerPatternName(BayerPattern pattern);

// Channel (0 red, 1 green, 2 blue) the filter at (x, y) lets through.
int BayerChannelAt(BayerPattern pattern, int x, int y);

// Demosaics `width` x `height` samples (row-major; 8-bit data widened, or up to 16 bits) into
// `rgb` (3 * width * height values, red, green, blue per pixel, the samples' scale). Every
// sample the sensor saw is kept; no value made up passes the brightest sample of the frame or
// drops below 0; the picture's edges are mirrored. A mosaic less than 2 pixels wide or high
// has no full cell and comes out grey. `scratch`, kept by a caller that demosaics frame after
// frame, spares the allocation (and the first touch) of the working planes each time.
void DebayerSamples(const uint16_t* mosaic, int width, int height, BayerPattern pattern,
                    DebayerMethod method, uint16_t* rgb, DebayerScratch* scratch = nullptr);

// The 24-bit picture form, in place: the green bytes of `picture` (its grey bytes, when it holds
// them) are the mosaic's samples. A picture less than 2 pixels wide or high is left as it is.
void Debayer(Bitmap24& picture, BayerPattern pattern, DebayerMethod method, DebayerScratch* scratch = nullptr);

// Bilinear demosaicing of the grey mosaic `picture` (its green bytes are the samples), in place:
// a missing colour is the mean of the neighbours within one pixel that saw it (rounded), the
// picture's edges mirrored.
void DebayerBilinear(Bitmap24& picture, BayerPattern pattern);

}  // namespace talvenor
