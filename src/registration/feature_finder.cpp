#include "registration/feature_finder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "registration/luminance.h"

namespace talvenor {

namespace {

// The mean over the (2r + 1)^2 square around every pixel (the square cut at the borders).
std::vector<float> BoxSmoothed(const std::vector<float>& v, int width, int height, int r) {
    const std::size_t w = std::size_t(width);
    std::vector<float> across(v.size()), out(v.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            int count = 0;
            for (int k = std::max(0, x - r); k <= std::min(width - 1, x + r); ++k, ++count)
                sum += v[std::size_t(y) * w + std::size_t(k)];
            across[std::size_t(y) * w + std::size_t(x)] = sum / float(count);
        }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum = 0;
            int count = 0;
            for (int k = std::max(0, y - r); k <= std::min(height - 1, y + r); ++k, ++count)
                sum += across[std::size_t(k) * w + std::size_t(x)];
            out[std::size_t(y) * w + std::size_t(x)] = sum / float(count);
        }
    return out;
}

}  // namespace

std::optional<std::pair<int, int>> FindAlignmentFeature(const Bitmap24& frame, int width, int height, int boxSize,
                                                        const std::array<float, 3>& weights) {
    width = std::min(width, frame.Width());
    height = std::min(height, frame.Height());
    const int h = boxSize / 2;
    // The border rule: h < x < width - h - 1, likewise y.
    if (width - h - 2 <= h + 1 || height - h - 2 <= h + 1) return std::nullopt;

    // Luminance, and per pixel the squared gradients along x and y; a pixel next to a
    // saturated one counts as saturated (its gradient is clipped, not detail).
    const std::size_t w = std::size_t(width);
    std::vector<float> lum(w * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) lum[std::size_t(y) * w + std::size_t(x)] = Luminance(frame.Row(y) + 3 * x, weights);
    // The gradients are taken at the scale detail survives the seeing at: on the luminance
    // smoothed over 5 x 5 pixels, across 4 pixels. At single pixels a noisy frame's gradient
    // energy is mostly noise, and a window of parallel bands (detail along one axis only,
    // nothing to fix the other) could win on it; the feature is then lost in the blurred frames.
    const std::vector<float> smooth = BoxSmoothed(lum, width, height, 2);
    // Summed-area tables make every window's sum one lookup.
    std::vector<double> sx((w + 1) * std::size_t(height + 1)), sy(sx.size()), sat(sx.size());
    auto at = [&](std::vector<double>& t, int x, int y) -> double& { return t[std::size_t(y) * (w + 1) + std::size_t(x)]; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float c = lum[std::size_t(y) * w + std::size_t(x)];
            const int xl = std::max(x - 2, 0), xr = std::min(x + 2, width - 1);
            const int yu = std::max(y - 2, 0), yd = std::min(y + 2, height - 1);
            const float gx = smooth[std::size_t(y) * w + std::size_t(xr)] - smooth[std::size_t(y) * w + std::size_t(xl)];
            const float gy = smooth[std::size_t(yd) * w + std::size_t(x)] - smooth[std::size_t(yu) * w + std::size_t(x)];
            const bool clipped = c >= 250;
            at(sx, x + 1, y + 1) = double(gx) * gx + at(sx, x, y + 1) + at(sx, x + 1, y) - at(sx, x, y);
            at(sy, x + 1, y + 1) = double(gy) * gy + at(sy, x, y + 1) + at(sy, x + 1, y) - at(sy, x, y);
            at(sat, x + 1, y + 1) = (clipped ? 1.0 : 0.0) + at(sat, x, y + 1) + at(sat, x + 1, y) - at(sat, x, y);
        }
    auto box = [&](std::vector<double>& t, int x0, int y0) {
        const int x1 = x0 + boxSize, y1 = y0 + boxSize;
        return at(t, x1, y1) - at(t, x0, y1) - at(t, x1, y0) + at(t, x0, y0);
    };

    std::optional<std::pair<int, int>> best;
    double bestScore = 0;
    const int step = std::max(2, boxSize / 8);
    for (int cy = h + 1; cy < height - h - 1; cy += step)
        for (int cx = h + 1; cx < width - h - 1; cx += step) {
            const int x0 = cx - h, y0 = cy - h;
            if (x0 < 0 || y0 < 0 || x0 + boxSize > width || y0 + boxSize > height) continue;
            const double clipped = box(sat, x0, y0) / (double(boxSize) * boxSize);
            const double score = std::min(box(sx, x0, y0), box(sy, x0, y0)) * (1.0 - std::min(1.0, 4 * clipped));
            if (score > bestScore) {
                bestScore = score;
                best = std::make_pair(cx, cy);
            }
        }
    return best;
}

}  // namespace talvenor
