#pragma once
// A plain working plane of floats for the deconvolution, and the mirror that extends a picture
// past its edges without a step there.
#include <cstddef>
#include <vector>

namespace talvenor {

// width x height values, rows contiguous.
struct FloatPlane {
    int width = 0, height = 0;
    std::vector<float> values;
    float* Row(int y) { return values.data() + std::size_t(y) * width; }
    const float* Row(int y) const { return values.data() + std::size_t(y) * width; }
};

// Index i folded into 0 .. n - 1 by mirroring with the edge pixel repeated: -1 -> 0, n -> n - 1.
inline int MirroredIndex(int i, int n) {
    const int period = 2 * n;
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - 1 - i;
}

}  // namespace talvenor
