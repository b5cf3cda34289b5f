#include "capture/random_field.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "capture/lanes.h"
#include "capture/prng.h"

namespace talvenor::capture {

namespace {

// The correlation of a B-spline field is close to the Gaussian exp(-0.75 d^2 / spacing^2)
// (the spline's own autocorrelation), which falls to 1/e at d = spacing / sqrt(0.75).
constexpr double kSpacingPerLength = 0.8660254037844386;

// Cubic B-spline weights of the four nodes around position t, in node spacings: nodes
// floor(t) .. floor(t) + 3 of a grid that starts one node before the field's first pixel.
void SplineWeights(double t, int& first, float w[4]) {
    const double i = std::floor(t);
    const float f = float(t - i), f2 = f * f, f3 = f2 * f;
    first = int(i);
    w[0] = (1.f - f) * (1.f - f) * (1.f - f) / 6.f;
    w[1] = (3.f * f3 - 6.f * f2 + 4.f) / 6.f;
    w[2] = (-3.f * f3 + 3.f * f2 + 3.f * f + 1.f) / 6.f;
    w[3] = f3 / 6.f;
}

}  // namespace

void SmoothRandomField(int width, int height, double length, uint64_t seed, std::vector<float>& out, double rms) {
    const std::size_t w = std::size_t(std::max(0, width)), h = std::size_t(std::max(0, height));
    out.resize(w * h);
    if (out.empty()) return;
    const double spacing = std::max(1.0, length * kSpacingPerLength);
    Rng rng(seed);
    const double phaseX = rng.Uniform() * spacing, phaseY = rng.Uniform() * spacing;
    const std::size_t nx = std::size_t(std::floor((double(w) - 1 + phaseX) / spacing)) + 4;
    const std::size_t ny = std::size_t(std::floor((double(h) - 1 + phaseY) / spacing)) + 4;
    std::vector<float> grid(nx * ny);
    for (float& g : grid) g = float(rng.Gaussian());

    // Columns between the same two nodes read the same four values, so a row is made a node
    // interval at a time from per-column weights laid out for four columns at once.
    std::vector<float> weights[4];
    for (auto& k : weights) k.resize(w);
    std::vector<std::size_t> starts;  // first column of each node interval, then w
    for (std::size_t x = 0; x < w; ++x) {
        int first = 0;
        float k[4];
        SplineWeights((double(x) + phaseX) / spacing, first, k);
        for (int j = 0; j < 4; ++j) weights[j][x] = k[j];
        if (starts.size() <= std::size_t(first)) starts.resize(std::size_t(first) + 1, x);
    }
    starts.push_back(w);

    std::vector<float> across(nx);  // the grid interpolated down to the current row
    double sum = 0, sum2 = 0;
    for (std::size_t y = 0; y < h; ++y) {
        int first = 0;
        float k[4];
        SplineWeights((double(y) + phaseY) / spacing, first, k);
        const float* g0 = grid.data() + std::size_t(first) * nx;
        for (std::size_t j = 0; j < nx; ++j)
            across[j] = k[0] * g0[j] + k[1] * g0[j + nx] + k[2] * g0[j + 2 * nx] + k[3] * g0[j + 3 * nx];
        float* row = out.data() + y * w;
        for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
            const float* a = across.data() + i;
            for (std::size_t x = starts[i]; x < starts[i + 1]; ++x)
                row[x] = weights[0][x] * a[0] + weights[1][x] * a[1] + weights[2][x] * a[2] + weights[3][x] * a[3];
        }
        // Row sums in lanes, the frame's in double.
        Lanes s = {}, s2 = {};
        std::size_t x = 0;
        for (; x + 4 <= w; x += 4) {
            const Lanes v = LoadLanes(row + x);
            s += v;
            s2 += v * v;
        }
        sum += SumLanes(s);
        sum2 += SumLanes(s2);
        for (; x < w; ++x) {
            sum += row[x];
            sum2 += double(row[x]) * row[x];
        }
    }

    // Measured, not predicted: the spline's variance depends on where the pixels fall between
    // the nodes, and the frame holds only so many cells.
    const double n = double(out.size()), mean = sum / n, variance = std::max(0.0, sum2 / n - mean * mean);
    const float scale = variance > 0 ? float(rms / std::sqrt(variance)) : 0.f, offset = float(mean);
    const float clip = float(kFieldClip * rms);
    for (float& v : out) v = std::clamp((v - offset) * scale, -clip, clip);
}

}  // namespace talvenor::capture
