#include "wavelets/richardson_lucy.h"

#include <algorithm>
#include <cmath>

#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

std::vector<float> GaussianTaps(double sigma) {
    const int radius = std::max(1, int(std::ceil(4 * sigma)));
    std::vector<float> taps(std::size_t(2 * radius + 1));
    double sum = 0;
    for (int t = -radius; t <= radius; ++t) sum += std::exp(-0.5 * t * t / (sigma * sigma));
    for (int t = -radius; t <= radius; ++t)
        taps[std::size_t(t + radius)] = float(std::exp(-0.5 * t * t / (sigma * sigma)) / sum);
    return taps;
}

}  // namespace

void GaussianBlur(const FloatPlane& in, FloatPlane& out, double sigma) {
    const std::vector<float> taps = GaussianTaps(sigma);
    const int radius = int(taps.size() / 2), w = in.width, h = in.height;
    out.width = w;
    out.height = h;
    out.values.resize(in.values.size());
    ParallelRows(0, h - 1, [&](int first, int last) {
        std::vector<float> column(static_cast<std::size_t>(w)), padded(static_cast<std::size_t>(w + 2 * radius));
        for (int y = first; y <= last; ++y) {
            // Down the columns first, a whole row at a time, then along the row.
            std::fill(column.begin(), column.end(), 0.0f);
            for (int t = -radius; t <= radius; ++t) {
                const float k = taps[std::size_t(t + radius)];
                const float* src = in.Row(MirroredIndex(y + t, h));
                for (int x = 0; x < w; ++x) column[std::size_t(x)] += k * src[x];
            }
            for (int x = -radius; x < w + radius; ++x) padded[std::size_t(x + radius)] = column[std::size_t(MirroredIndex(x, w))];
            // Along the row tap by tap over the whole row: every pixel adds the same products in
            // the same order as a pixel-by-pixel loop, and the row vectorises.
            float* dst = out.Row(y);
            std::fill(dst, dst + w, 0.0f);
            for (std::size_t t = 0; t < taps.size(); ++t) {
                const float k = taps[t];
                const float* src = padded.data() + t;
                for (int x = 0; x < w; ++x) dst[x] += k * src[x];
            }
        }
    }, 16);
}

bool RichardsonLucy(FloatPlane& data, double sigma, int iterations, double damping, const NoiseModel& noise,
                    const std::function<bool(int)>& step) {
    // Division needs positive values; the sky's noise dips below zero once its level is off.
    constexpr float kFloor = 1.0f;
    for (float& v : data.values) v = std::max(v, kFloor);
    FloatPlane estimate = data, model, ratio{data.width, data.height, std::vector<float>(data.values.size())};
    const float floor = float(damping * damping * noise.floor), perLevel = float(damping * damping * noise.perLevel);
    const bool damped = damping > 0 && (floor > 0 || perLevel > 0);
    // Each pixel's update is its own, so rows are shared among the cores with the same result.
    const std::size_t width = std::size_t(data.width);
    for (int i = 1; i <= iterations; ++i) {
        GaussianBlur(estimate, model, sigma);
        ParallelRows(0, data.height - 1, [&](int first, int last) {
            for (std::size_t k = std::size_t(first) * width; k < std::size_t(last + 1) * width; ++k) {
                const float m = std::max(model.values[k], kFloor), r = data.values[k] - m;
                const float weight = damped ? std::min(1.0f, r * r / (floor + perLevel * m)) : 1.0f;
                ratio.values[k] = 1.0f + weight * r / m;
            }
        }, 16);
        GaussianBlur(ratio, model, sigma);
        ParallelRows(0, data.height - 1, [&](int first, int last) {
            for (std::size_t k = std::size_t(first) * width; k < std::size_t(last + 1) * width; ++k)
                estimate.values[k] *= model.values[k];
        }, 16);
        if (step && !step(i)) return false;
    }
    data.values.swap(estimate.values);
    return true;
}

}  // namespace talvenor
