#include "wavelets/layer_response.h"

#include <numbers>

namespace talvenor {

LayerScales ScalesOf(bool dyadic, double initial, double step) {
    LayerScales s{};
    for (int n = 1; n <= kLayers; ++n) s[std::size_t(n)] = ScaleOfLayer(n, dyadic, initial, step);
    return s;
}

LayerResponse ResponseAt(double fx, double fy, const SmoothingKernel& kernel, const LayerScales& scales) {
    using C = std::complex<double>;
    LayerResponse out{};
    C kept = 1;  // what the smoothings so far leave
    for (int n = 1; n <= kLayers; ++n) {
        const double s = scales[std::size_t(n)];
        // The tap offsets' phases -2..2 along each axis, from one exponential per axis.
        const C ex = std::polar(1.0, 2 * std::numbers::pi * fx * s), ey = std::polar(1.0, 2 * std::numbers::pi * fy * s);
        const C px[5] = {std::conj(ex * ex), std::conj(ex), 1.0, ex, ex * ex};
        const C py[5] = {std::conj(ey * ey), std::conj(ey), 1.0, ey, ey * ey};
        C smoothing = 0;
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i) {
                const float w = kernel[std::size_t(j * 5 + i)];
                if (w > 0) smoothing += double(w) * px[i] * py[j];
            }
        const C next = kept * smoothing;
        out[std::size_t(n)] = kept - next;
        kept = next;
    }
    out[0] = kept;
    return out;
}

}  // namespace talvenor
