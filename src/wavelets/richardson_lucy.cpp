#include "wavelets/richardson_lucy.h"

#include <algorithm>
#include <cmath>

#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

// Division needs positive values; the sky's noise dips below zero once its level is off.
constexpr float kFloor = 1.0f;

std::vector<float> GaussianTaps(double sigma) {
    const int radius = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> taps(std::size_t(2 * radius + 1));
    double sum = 0;
    for (int t = -radius; t <= radius; ++t) sum += std::exp(-0.5 * t * t / (sigma * sigma));
    for (int t = -radius; t <= radius; ++t)
        taps[std::size_t(t + radius)] = float(std::exp(-0.5 * t * t / (sigma * sigma)) / sum);
    return taps;
}

}  // namespace

namespace {

// One blur of `in` into `out` with the symmetric `taps`, and `finish(y, row)` on each output row
// as soon as it is complete, on the thread that made it: the iteration's per-pixel work then
// rides on the blur's pass over memory instead of a pass of its own.
void BlurRows(const FloatPlane& in, FloatPlane& out, const std::vector<float>& taps,
              const std::function<void(int, float*)>& finish) {
    const int radius = int(taps.size() / 2), w = in.width, h = in.height;
    out.width = w;
    out.height = h;
    out.values.resize(in.values.size());
    const float* k = taps.data() + radius;  // k[-radius .. radius], k[-t] == k[t]
    ParallelRows(0, h - 1, [&](int first, int last) {
        std::vector<float> padded(static_cast<std::size_t>(w + 2 * radius));
        float* column = padded.data() + radius;
        for (int y = first; y <= last; ++y) {
            // Down the columns first, a whole row at a time, the rows t above and below taken
            // together (the kernel is even), then along the row the same way.
            const float* centre = in.Row(y);
            for (int x = 0; x < w; ++x) column[x] = k[0] * centre[x];
            for (int t = 1; t <= radius; ++t) {
                const float* above = in.Row(MirroredIndex(y - t, h));
                const float* below = in.Row(MirroredIndex(y + t, h));
                for (int x = 0; x < w; ++x) column[x] += k[t] * (above[x] + below[x]);
            }
            for (int t = 1; t <= radius; ++t) {
                column[-t] = column[MirroredIndex(-t, w)];
                column[w - 1 + t] = column[MirroredIndex(w - 1 + t, w)];
            }
            float* dst = out.Row(y);
            for (int x = 0; x < w; ++x) dst[x] = k[0] * column[x];
            for (int t = 1; t <= radius; ++t)
                for (int x = 0; x < w; ++x) dst[x] += k[t] * (column[x - t] + column[x + t]);
            if (finish) finish(y, dst);
        }
    }, 16);
}

}  // namespace

void GaussianBlur(const FloatPlane& in, FloatPlane& out, double sigma) { BlurRows(in, out, GaussianTaps(sigma), {}); }

bool RichardsonLucy(FloatPlane& data, double sigma, int iterations, double damping, const NoiseModel& noise,
                    const std::function<bool(int)>& step) {
    for (float& v : data.values) v = std::max(v, kFloor);
    const std::vector<float> taps = GaussianTaps(sigma);
    FloatPlane estimate = data, ratio, correction;
    const float floor = float(damping * damping * noise.floor), perLevel = float(damping * damping * noise.perLevel);
    const bool damped = damping > 0 && (floor > 0 || perLevel > 0);
    const int width = data.width;
    // Each pixel's update is its own, so the rows are shared among the cores with the same result.
    // The constants are copied in: read through the captures, they could alias the row and
    // the loop would not vectorise.
    const auto toRatio = [&data, width, floor, perLevel, damped](int y, float* model) {
        const float* d = data.Row(y);
        const float f = floor, p = perLevel;
        if (damped) {
            for (int x = 0; x < width; ++x) {
                const float m = std::max(model[x], kFloor), r = d[x] - m;
                model[x] = 1.0f + std::min(1.0f, r * r / (f + p * m)) * r / m;
            }
        } else {
            for (int x = 0; x < width; ++x) {
                const float m = std::max(model[x], kFloor);
                model[x] = 1.0f + (d[x] - m) / m;
            }
        }
    };
    const auto update = [&estimate, width](int y, const float* c) {
        float* e = estimate.Row(y);
        for (int x = 0; x < width; ++x) e[x] *= c[x];
    };
    for (int i = 1; i <= iterations; ++i) {
        BlurRows(estimate, ratio, taps, toRatio);
        BlurRows(ratio, correction, taps, update);
        if (step && !step(i)) return false;
    }
    data.values.swap(estimate.values);
    return true;
}

}  // namespace talvenor
