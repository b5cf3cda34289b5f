#include "registration/alignment_state.h"

#include <cmath>

namespace talvenor {

const std::vector<float>& AlignmentState::Taper(int n) {
    if (int(taper_.size()) != n) {
        taper_.resize(std::size_t(n));
        for (int i = 0; i < n; ++i) taper_[std::size_t(i)] = float(0.5 * (1 - std::cos(2 * M_PI * (i + 0.5) / n)));
    }
    return taper_;
}

}  // namespace talvenor
