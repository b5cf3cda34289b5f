#include "registration/feature_finder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "registration/luminance.h"
#include "workspace/parallel_rows.h"

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
// `out` (width values). Inside the row every value adds its five neighbours in the same order
// as at the sides, so the loop runs over pixels without the cut.
void RowSmoothedLuminance(const Bitmap24& frame, int width, int y, const std::array<float, 3>& weights,
                          std::vector<float>& lum, float* out) {
    const uint8_t* row = RowOf(frame, y);
    float* l = lum.data();
    if (frame.HoldsGrey())
        for (int x = 0; x < width; ++x) l[x] = GreyLuminance(row[x], weights);
    else
        for (int x = 0; x < width; ++x) l[x] = Luminance(row + 3 * x, weights);
    auto cut = [&](int x) {
        const int a = std::max(0, x - kSmooth), b = std::min(width - 1, x + kSmooth);
        float sum = 0;
        for (int k = a; k <= b; ++k) sum += l[k];
        out[x] = sum / float(b - a + 1);
    };
    const int inner0 = std::min(kSmooth, width), inner1 = std::max(inner0, width - kSmooth);
    for (int x = 0; x < inner0; ++x) cut(x);
    static_assert(kSmooth == 2, "the inner sum adds five values");
    for (int x = inner0; x < inner1; ++x) out[x] = ((((l[x - 2] + l[x - 1]) + l[x]) + l[x + 1]) + l[x + 2]) / 5.0f;
    for (int x = inner1; x < width; ++x) cut(x);
}

// The frame's gradient energies across and down, and its saturated pixels, summed per cell of
// step x step pixels: cells from (1, 1).
struct CellSums {
    int Step = 0, CellsX = 0, CellsY = 0;
    std::vector<double> X, Y, Saturated;
    double* RowOf(std::vector<double>& cells, int cy) { return cells.data() + std::size_t(cy) * std::size_t(CellsX); }
};

// The rows of cells cy0..cy1: the frame rows they hold, each from its own smoothed neighbours.
// A band starts its rings afresh a few rows above its first row, so each row is smoothed as
// it would be in one pass over the frame and the cells add their rows in the same order.
void SumCellRows(const Bitmap24& frame, int width, int height, const std::array<float, 3>& weights, CellSums& cells,
                 int cy0, int cy1) {
    const int step = cells.Step;
    const int yFirst = 1 + cy0 * step, yLast = std::min(height - 1, cy1 * step + step);
    if (yFirst > yLast) return;
    // The smoothed luminance, a ring of 2 * kReach + 1 rows (each also smoothed down the
    // columns from 2 * kSmooth + 1 row-smoothed rows).
    const std::size_t w = std::size_t(width);
    std::vector<float> lum(w), rowSmooth(w * std::size_t(2 * kSmooth + 1));
    std::vector<float> smooth(w * std::size_t(2 * kReach + 1));
    auto rowSmoothed = [&](int y) { return rowSmooth.data() + std::size_t(y % (2 * kSmooth + 1)) * w; };
    auto smoothed = [&](int y) { return smooth.data() + std::size_t(y % (2 * kReach + 1)) * w; };
    int rowsSmoothed = std::max(0, yFirst - kReach);
    int rowsRead = std::max(0, rowsSmoothed - kSmooth);
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

    const bool grey = frame.HoldsGrey();
    for (int y = yFirst; y <= yLast; ++y) {
        const int yu = std::max(y - kReach, 0), yd = std::min(y + kReach, height - 1);
        while (rowsSmoothed <= yd) smoothRow(rowsSmoothed++);
        const int cy = (y - 1) / step;
        const float* up = smoothed(yu);
        const float* down = smoothed(yd);
        const float* mid = smoothed(y);
        const uint8_t* row = RowOf(frame, y);
        double* cx2 = cells.RowOf(cells.X, cy);
        double* cy2 = cells.RowOf(cells.Y, cy);
        double* cs = cells.RowOf(cells.Saturated, cy);
        for (int c = 0; c < cells.CellsX; ++c) {
            double sx = 0, sy = 0, sat = 0;
            for (int x = 1 + c * step, e = x + step; x < e; ++x) {
                const int xl = std::max(x - kReach, 0), xr = std::min(x + kReach, width - 1);
                const float gx = mid[xr] - mid[xl];
                const float gy = down[x] - up[x];
                sx += double(gx) * gx;
                sy += double(gy) * gy;
                // Saturated pixels: their gradients are clipped, not detail.
                const float l = grey ? GreyLuminance(row[x], weights) : Luminance(row + 3 * x, weights);
                sat += l >= 250 ? 1.0 : 0.0;
            }
            cx2[c] += sx;
            cy2[c] += sy;
            cs[c] += sat;
        }
    }
}

}  // namespace

std::optional<std::pair<int, int>> FindAlignmentFeature(const Bitmap24& frame, int width, int height, int boxSize,
                                                        const std::array<float, 3>& weights, int bands) {
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
    CellSums cells;
    cells.Step = step;
    cells.CellsX = cellsX;
    cells.CellsY = cellsY;
    cells.X.assign(std::size_t(cellsX) * std::size_t(cellsY), 0.0);
    cells.Y = cells.X;
    cells.Saturated = cells.X;
    // Bands of cell rows on the cores: no cell is shared, and each adds its rows in order.
    const auto sum = [&](int cy0, int cy1) { SumCellRows(frame, width, height, weights, cells, cy0, cy1); };
    if (bands <= 0) ParallelRows(0, cellsY - 1, sum, std::max(1, 64 / step));
    else
        for (int b = 0; b < bands; ++b) sum(int(int64_t(cellsY) * b / bands), int(int64_t(cellsY) * (b + 1) / bands) - 1);
    const std::vector<double>&cellX = cells.X, &cellY = cells.Y, &cellSat = cells.Saturated;

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
