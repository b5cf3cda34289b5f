#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor {

// The peak signal-to-noise ratio of `image` against `reference` in dB, over the area both
// cover, after fitting the image's brightness to the reference (gain and offset by least
// squares): a stack is scaled to its own brightest pixel, the truth to its own.
double MatchedPsnr(const Bitmap24& image, const Bitmap24& reference, int border = 0);

// `compare IMAGE REFERENCE [--border N]`: prints the PSNR.
int RunCompareCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace talvenor
