#pragma once
// Chooses an alignment feature automatically (the command line, and a suggestion where no
// one clicks): the box-sized window whose detail registers best in both directions.
#include <optional>
#include <utility>

#include "workspace/bitmap24.h"
#include "workspace/workspace.h"

namespace talvenor {

// The centre of the best box of side `boxSize` in `frame` that satisfies the border rule,
// or nothing when the frame is too small for any. Windows are scored by the weaker of their
// horizontal and vertical gradient energy (a feature must pin the shift on both axes: a
// stretch of a planet's bands alone does not), with saturated pixels and empty sky left out.
// The frame is summed in `bands` bands of rows side by side (0: one per core), with the same
// result however many.
std::optional<std::pair<int, int>> FindAlignmentFeature(const Bitmap24& frame, int width, int height, int boxSize,
                                                        const std::array<float, 3>& weights, int bands = 0);

}  // namespace talvenor
