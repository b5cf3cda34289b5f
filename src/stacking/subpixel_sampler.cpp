#include "stacking/subpixel_sampler.h"

#include <algorithm>
#include <cmath>

#include "stacking/resample.h"
#include "stacking/shift_reach.h"

namespace talvenor {

SubPixelTaps SubPixelTaps::For(double fraction) {
    SubPixelTaps taps;
    if (fraction == 0) return taps;
    // Sample i + k lies t - k away from the position read; Lanczos-3 reaches three samples
    // either side. The weights are normalised so a flat area stays exactly flat.
    taps.First = -2;
    taps.Count = 6;
    double sum = 0;
    for (int k = 0; k < 6; ++k) {
        taps.Weight[std::size_t(k)] = Lanczos3Filter(float(fraction - double(k + taps.First)));
        sum += taps.Weight[std::size_t(k)];
    }
    for (float& w : taps.Weight) w = float(w / sum);
    return taps;
}

void SubPixelSampler::Begin(int channels, int width, int height, double shiftX, double shiftY, int loX, int hiX,
                            int loY, int hiY, RowSource source) {
    channels_ = std::clamp(channels, 1, kMaxChannels);
    width_ = width;
    height_ = height;
    source_ = std::move(source);
    // A shift that is not a number, or beyond any frame, reads nothing (the destination
    // range is left empty) rather than becoming a pixel index.
    const bool lands = std::abs(shiftX) <= kShiftReach && std::abs(shiftY) <= kShiftReach;
    if (!lands) shiftX = shiftY = 0;
    wholeX_ = int(std::floor(shiftX));
    wholeY_ = int(std::floor(shiftY));
    shiftY_ = shiftY;
    tapsX_ = SubPixelTaps::For(shiftX - wholeX_);
    tapsY_ = SubPixelTaps::For(shiftY - wholeY_);
    loX = std::max(loX, 0);
    hiX = std::min(hiX, width - 1);
    loY = std::max(loY, 0);
    hiY = std::min(hiY, height - 1);
    // Destination x reads source position x + shift, which must lie within lo .. hi.
    x0_ = int(std::ceil(loX - shiftX));
    x1_ = int(std::floor(hiX - shiftX));
    y0_ = int(std::ceil(loY - shiftY));
    y1_ = int(std::floor(hiY - shiftY));
    if (width <= 0 || height <= 0 || !lands) x1_ = x0_ - 1, y1_ = y0_ - 1;

    const std::size_t stride = std::size_t(std::max(width, 0) + 2 * kPad);
    ring_.resize(std::size_t(kRing) * std::size_t(channels_) * stride);
    ringRow_.fill(-1);
    column_.resize(std::size_t(channels_) * stride);
    for (int c = 0; c < channels_; ++c) out_[std::size_t(c)].resize(std::size_t(std::max(0, x1_ - x0_ + 1)));
}

int SubPixelSampler::NearestSourceRow(int y) const {
    return std::clamp(int(std::nearbyint(double(y) + shiftY_)), 0, std::max(0, height_ - 1));
}

const float* SubPixelSampler::SourceRow(int row) {
    const std::size_t stride = std::size_t(width_ + 2 * kPad);
    const int slot = row % kRing;
    float* base = ring_.data() + std::size_t(slot) * std::size_t(channels_) * stride;
    if (ringRow_[std::size_t(slot)] != row) {
        std::array<float*, kMaxChannels> out{};
        for (int c = 0; c < channels_; ++c) out[std::size_t(c)] = base + std::size_t(c) * stride + kPad;
        source_(row, out.data());
        for (int c = 0; c < channels_; ++c) {
            float* r = out[std::size_t(c)];
            for (int p = 1; p <= kPad; ++p) {
                r[-p] = r[0];
                r[width_ - 1 + p] = r[width_ - 1];
            }
        }
        ringRow_[std::size_t(slot)] = row;
    }
    return base;
}

void SubPixelSampler::ReadRow(int y) {
    const std::size_t stride = std::size_t(width_ + 2 * kPad);
    const std::size_t n = std::size_t(channels_) * stride;
    // Vertical pass into one padded row per channel.
    const int top = y + wholeY_ + tapsY_.First;
    if (tapsY_.Count == 1) {
        const float* p = SourceRow(std::clamp(top, 0, height_ - 1));
        std::copy_n(p, n, column_.data());
    } else {
        std::fill(column_.begin(), column_.end(), 0.0f);
        float* acc = column_.data();
        for (int k = 0; k < tapsY_.Count; ++k) {
            const float* p = SourceRow(std::clamp(top + k, 0, height_ - 1));
            const float w = tapsY_.Weight[std::size_t(k)];
            for (std::size_t i = 0; i < n; ++i) acc[i] += w * p[i];
        }
    }
    // Horizontal pass over the destination columns.
    const int count = x1_ - x0_ + 1;
    for (int c = 0; c < channels_; ++c) {
        const float* row = column_.data() + std::size_t(c) * stride + kPad + (x0_ + wholeX_ + tapsX_.First);
        float* out = out_[std::size_t(c)].data();
        if (tapsX_.Count == 1) {
            std::copy_n(row, count, out);
            continue;
        }
        const std::array<float, 6>& w = tapsX_.Weight;
        for (int i = 0; i < count; ++i) {
            const float* p = row + i;
            out[i] = w[0] * p[0] + w[1] * p[1] + w[2] * p[2] + w[3] * p[3] + w[4] * p[4] + w[5] * p[5];
        }
    }
}

}  // namespace talvenor
