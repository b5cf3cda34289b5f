#pragma once
// How far apart two pictures are, for tests that compare what the program shows.
#include <algorithm>
#include <cstdlib>

#include "workspace/bitmap24.h"

namespace talvenor::testing {

// The largest difference of any byte (1000 when the sizes differ).
inline int MaxDifference(const Bitmap24& a, const Bitmap24& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return 1000;
    int d = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (std::size_t i = 0; i < a.Stride(); ++i) d = std::max(d, std::abs(int(a.Row(y)[i]) - int(b.Row(y)[i])));
    return d;
}

}  // namespace talvenor::testing
