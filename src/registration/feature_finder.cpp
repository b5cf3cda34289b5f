#include "registration/feature_finder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "registration/luminance.h"

namespace talvenor {

namespace {

// Gradients are taken across 2 * kReach pixels of the luminance smoothed over the
// (2 * kSmooth + 1)^2 square: the scale detail survives the seeing at. At single pixels a
// noisy frame's gradient energy is mostly noise, and a window of parallel bands (detail along
// one axis only, nothing to fix the other) could win on it; the feature is then lost in the
// blurred frames.
constexpr int kSmooth = 2;
constexpr int kReach = 2;

// Pixel x of a row of `frame`: its grey bytes when it holds them, else blue, green, red.
float LuminanceAt(const Bitmap24& frame, const uint8_t* row, int x, const std::array<float, 3>& weights) {
    return frame.HoldsGrey() ? GreyLuminance(row[x], weights) : Luminance(row + 3 * x, weights);
}
const uint8_t* RowOf(const Bitmap24& frame, int y) { return frame.HoldsGrey() ? frame.GreyRow(y) : frame.Row(y); }

// The luminance of row y, smoothed along the row (the square cut at the frame's sides), into
// `out` (width values).
void RowSmoothedLuminance(const Bitmap24& frame, int width, int y, const std::array<float, 3>& weights,
                          std::vector<float>& lum, float* out) {
    const uint8_t* row = RowOf(frame, y);
    for (int x = 0; x < width; ++x) lum[std::size_t(x)] = LuminanceAt(frame, row, x, weights);
    for (int x = 0; x < width; ++x) {
        const int a = std::max(0, x - kSmooth), b = std::min(width - 1, x + kSmooth);
        float sum = 0;
        for (int k = a; k <= b; ++k) sum += lum[std::size_t(k)];
        out[x] = sum / float(b - a + 1);
    }
}

}  // namespace

std::optional<std::pair<int, int>> FindAlignmentFeature(const Bitmap24& frame, int width, int height, int boxSize,
                                                        const std::array<float, 3>& weights) {
    width = std::min(width, frame.Width());
    height = std::min(height, frame.Height());
    const int h = boxSize / 2;
    // The border rule: h < x < width - h - 1, likewise y.
    if (width - h - 2 <= h + 1 || height - h - 2 <= h + 1) return std::nullopt;

    // Windows lie on a grid of step s = N / 8 from (1, 1), so each is 8 x 8 cells of s x s
    // pixels: the gradient energies and the saturated pixels are summed per cell, and a
    // window's sums are its cells' (a whole-frame summed-area table would cost tens of
    // megabytes of fresh memory on a large frame, for sums of which only these are read).
    const int step = std::max(2, boxSize / 8);
    const int cellsPerBox = boxSize / step;
    const int cellsX = (width - 1) / step, cellsY = (height - 1) / step;
    if (cellsX < cellsPerBox || cellsY < cellsPerBox) return std::nullopt;
    std::vector<double> cellX(std::size_t(cellsX) * std::size_t(cellsY)), cellY(cellX.size()), cellSat(cellX.size());

    // The smoothed luminance, a ring of 2 * kReach + 1 rows (each also smoothed down the
    // columns from 2 * kSmooth + 1 row-smoothed rows).
    const std::size_t w = std::size_t(width);
    std::vector<float> lum(w), rowSmooth(w * std::size_t(height > 0 ? 2 * kSmooth + 1 : 0));
    std::vector<float> smooth(w * std::size_t(2 * kReach + 1));
    auto rowSmoothed = [&](int y) { return rowSmooth.data() + std::size_t(y % (2 * kSmooth + 1)) * w; };
    auto smoothed = [&](int y) { return smooth.data() + std::size_t(y % (2 * kReach + 1)) * w; };
    int rowsRead = 0, rowsSmoothed = 0;
    auto smoothRow = [&](int y) {
        const int a = std::max(0, y - kSmooth), b = std::min(height - 1, y + kSmooth);
        while (rowsRead <= b) {
            RowSmoothedLuminance(frame, width, rowsRead, weights, lum, rowSmoothed(rowsRead));
            ++rowsRead;
        }
        float* out = smoothed(y);
        std::fill(out, out + width, 0.0f);
        for (int k = a; k <= b; ++k) {
            const float* r = rowSmoothed(k);
            for (int x = 0; x < width; ++x) out[x] += r[x];
        }
        const float scale = 1.0f / float(b - a + 1);
        for (int x = 0; x < width; ++x) out[x] *= scale;
    };

    for (int y = 0; y < height; ++y) {
        const int yu = std::max(y - kReach, 0), yd = std::min(y + kReach, height - 1);
        while (rowsSmoothed <= yd) smoothRow(rowsSmoothed++);
        const int cy = (y - 1) / step;
        if (y < 1 || cy >= cellsY) continue;
        const float* up = smoothed(yu);
        const float* down = smoothed(yd);
        const float* mid = smoothed(y);
        const uint8_t* row = RowOf(frame, y);
        double* cx2 = cellX.data() + std::size_t(cy) * std::size_t(cellsX);
        double* cy2 = cellY.data() + std::size_t(cy) * std::size_t(cellsX);
        double* cs = cellSat.data() + std::size_t(cy) * std::size_t(cellsX);
        for (int c = 0; c < cellsX; ++c) {
            double sx = 0, sy = 0, sat = 0;
            for (int x = 1 + c * step, e = x + step; x < e; ++x) {
                const int xl = std::max(x - kReach, 0), xr = std::min(x + kReach, width - 1);
                const float gx = mid[xr] - mid[xl];
                const float gy = down[x] - up[x];
                sx += double(gx) * gx;
                sy += double(gy) * gy;
                // Saturated pixels: their gradients are clipped, not detail.
                sat += LuminanceAt(frame, row, x, weights) >= 250 ? 1.0 : 0.0;
            }
            cx2[c] += sx;
            cy2[c] += sy;
            cs[c] += sat;
        }
    }

    auto windowSum = [&](const std::vector<double>& cells, int c0, int r0) {
        double sum = 0;
        for (int r = r0; r < r0 + cellsPerBox; ++r)
            for (int c = c0; c < c0 + cellsPerBox; ++c) sum += cells[std::size_t(r) * std::size_t(cellsX) + std::size_t(c)];
        return sum;
    };
    std::optional<std::pair<int, int>> best;
    double bestScore = 0;
    for (int cy = h + 1, r0 = 0; cy < height - h - 1; cy += step, ++r0)
        for (int cx = h + 1, c0 = 0; cx < width - h - 1; cx += step, ++c0) {
            const int x0 = cx - h, y0 = cy - h;
            if (x0 < 0 || y0 < 0 || x0 + boxSize > width || y0 + boxSize > height) continue;
            if (c0 + cellsPerBox > cellsX || r0 + cellsPerBox > cellsY) continue;
            const double clipped = windowSum(cellSat, c0, r0) / (double(boxSize) * boxSize);
            const double score =
                std::min(windowSum(cellX, c0, r0), windowSum(cellY, c0, r0)) * (1.0 - std::min(1.0, 4 * clipped));
            if (score > bestScore) {
                bestScore = score;
                best = std::make_pair(cx, cy);
            }
        }
    return best;
}

}  // namespace talvenor
