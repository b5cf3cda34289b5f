#include "registration/alignment_state.h"

#include <cmath>

namespace talvenor {

namespace {

const std::vector<float>& HannTaper(std::vector<float>& taper, int n) {
    if (int(taper.size()) != n) {
        taper.resize(std::size_t(n));
        for (int i = 0; i < n; ++i) taper[std::size_t(i)] = float(0.5 * (1 - std::cos(2 * M_PI * (i + 0.5) / n)));
    }
    return taper;
}

}  // namespace

const std::vector<float>& AlignmentState::Taper(int n) { return HannTaper(taper_, n); }

const std::vector<float>& AlignmentState::QualityTaper(int q) { return HannTaper(qualityTaper_, q); }

FftEngine& AlignmentState::QualityEngine(int q) {
    if (!qualityEngine_) qualityEngine_ = std::make_unique<FftEngine>();
    if (qualityEngine_->AlignBoxSize() != q) qualityEngine_->SetTransformSize(q);
    return *qualityEngine_;
}

}  // namespace talvenor
