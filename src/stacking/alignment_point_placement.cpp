// Where the alignment points go: a half-overlapping grid over the object, boxes kept where the
// object is bright and has detail to align on.
#include <algorithm>
#include <cmath>
#include <functional>

#include "stacking/alignment_points.h"

namespace talvenor {

namespace {

// The mean and the detail of a box: mean level and the rms of the central differences over it,
// relative to the mean (so a bright area does not count as detailed for being bright).
struct BoxStats {
    double Mean = 0, Structure = 0;
};

BoxStats MeasureBox(const LumaView& luma, int x0, int y0, int size) {
    double sum = 0, grad = 0;
    const bool inside = x0 >= 1 && y0 >= 1 && x0 + size < luma.Width && y0 + size < luma.Height;
    for (int y = y0; y < y0 + size; ++y) {
        if (inside) {
            // Away from the picture's edges no neighbour is cut: the same sums from row pointers.
            const float* row = luma.Data + std::size_t(y) * luma.Stride;
            const float* up = row - luma.Stride;
            const float* down = row + luma.Stride;
            for (int x = x0; x < x0 + size; ++x) {
                sum += row[x];
                const double gx = row[x + 1] - row[x - 1];
                const double gy = down[x] - up[x];
                grad += gx * gx + gy * gy;
            }
            continue;
        }
        for (int x = x0; x < x0 + size; ++x) {
            sum += luma.At(x, y);
            const double gx = luma.At(std::min(x + 1, luma.Width - 1), y) - luma.At(std::max(x - 1, 0), y);
            const double gy = luma.At(x, std::min(y + 1, luma.Height - 1)) - luma.At(x, std::max(y - 1, 0));
            grad += gx * gx + gy * gy;
        }
    }
    const double n = double(size) * size;
    BoxStats s;
    s.Mean = sum / n;
    s.Structure = s.Mean > 0 ? std::sqrt(grad / n) / s.Mean : 0;
    return s;
}

}  // namespace

void AlignmentPointState::Reset() {
    Points.clear();
    Size = 0;
    PlacedByUser = false;
    Frames.clear();
    Measures.clear();
    KeptPerPoint.clear();
    FailedShifts = 0;
    LastStackUsedPoints = false;
    Lanes.clear();
}

float BrightLevel(const LumaView& luma) {
    if (luma.Width <= 0 || luma.Height <= 0) return 0;
    // A histogram over the picture's range; the level below which 99.5 % of the pixels lie.
    // Each band of rows finds its largest value and counts its own pixels on a core of its own.
    constexpr int kBins = 1024;
    const int bands = RowBands(luma.Height);
    const auto eachBand = [&](const std::function<void(int band, int top, int bottom)>& work) {
        ParallelRows(0, bands - 1, [&](int first, int last) {
            for (int b = first; b <= last; ++b)
                work(b, int(int64_t(luma.Height) * b / bands), int(int64_t(luma.Height) * (b + 1) / bands) - 1);
        }, 1);
    };
    std::vector<float> highs(std::size_t(bands), 0.0f);
    eachBand([&](int band, int top, int bottom) {
        float hi = 0;
        for (int y = top; y <= bottom; ++y) {
            const float* row = luma.Data + std::size_t(y) * luma.Stride;
            for (int x = 0; x < luma.Width; ++x) hi = std::max(hi, row[x]);
        }
        highs[std::size_t(band)] = hi;
    });
    const float hi = *std::max_element(highs.begin(), highs.end());
    if (!(hi > 0)) return 0;
    std::vector<std::vector<int64_t>> counts(highs.size(), std::vector<int64_t>(kBins, 0));
    eachBand([&](int band, int top, int bottom) {
        std::vector<int64_t>& mine = counts[std::size_t(band)];
        for (int y = top; y <= bottom; ++y) {
            const float* row = luma.Data + std::size_t(y) * luma.Stride;
            for (int x = 0; x < luma.Width; ++x) {
                const float v = row[x];
                const int bin = v <= 0 ? 0 : std::min(kBins - 1, int(v / hi * (kBins - 1)));
                ++mine[std::size_t(bin)];
            }
        }
    });
    const int64_t total = int64_t(luma.Width) * luma.Height;
    int64_t seen = 0;
    for (int b = kBins - 1; b >= 0; --b) {
        for (const std::vector<int64_t>& band : counts) seen += band[std::size_t(b)];
        if (seen * 200 >= total) return hi * float(b) / float(kBins - 1);
    }
    return hi;
}

double ObjectDiameter(const LumaView& luma, double minBrightness) {
    const float bright = BrightLevel(luma);
    if (!(bright > 0)) return 0;
    const float level = float(minBrightness) * bright;
    int64_t area = 0;
    for (int y = 0; y < luma.Height; ++y)
        for (int x = 0; x < luma.Width; ++x) area += luma.At(x, y) >= level;
    return 2 * std::sqrt(double(area) / 3.141592653589793);
}

int AutomaticPointSize(const LumaView& luma, double minBrightness) {
    const double diameter = ObjectDiameter(luma, minBrightness);
    const int size = int(std::lrint(diameter / 6 / 8)) * 8;
    return std::clamp(size, kMinPointSize, kMaxPointSize);
}

int PointMargin(int search) { return std::max(0, search) + 4; }

bool PointFits(int x, int y, int size, int search, int width, int height) {
    const int m = PointMargin(search), h = size / 2;
    return x - h >= m && y - h >= m && x - h + size + m <= width && y - h + size + m <= height;
}

std::vector<AlignmentPoint> PlaceAlignmentPoints(const LumaView& luma, int size, const AlignmentPointSettings& settings) {
    std::vector<AlignmentPoint> points;
    size = std::max(8, size / 2 * 2);
    const float bright = BrightLevel(luma);
    if (!(bright > 0)) return points;
    const int step = size / 2, m = PointMargin(settings.Search);
    const int usableW = luma.Width - 2 * m, usableH = luma.Height - 2 * m;
    if (usableW < size || usableH < size) return points;
    // The grid centred on the picture, so its leftover margin is the same on both sides.
    const int nx = (usableW - size) / step + 1, ny = (usableH - size) / step + 1;
    const int x0 = m + (usableW - (size + (nx - 1) * step)) / 2;
    const int y0 = m + (usableH - (size + (ny - 1) * step)) / 2;

    struct Candidate {
        AlignmentPoint Point;
        double Structure;
    };
    // Each row of the grid measured on its own (on the cores), then taken in order.
    std::vector<std::vector<Candidate>> rows(static_cast<std::size_t>(ny));
    ParallelRows(0, ny - 1, [&](int first, int last) {
        for (int j = first; j <= last; ++j)
            for (int i = 0; i < nx; ++i) {
                const int bx = x0 + i * step, by = y0 + j * step;
                const BoxStats s = MeasureBox(luma, bx, by, size);
                if (s.Mean < settings.MinBrightness * bright) continue;
                rows[std::size_t(j)].push_back({{bx + size / 2, by + size / 2}, s.Structure});
            }
    }, 2);
    std::vector<Candidate> brightBoxes;
    for (const std::vector<Candidate>& row : rows) brightBoxes.insert(brightBoxes.end(), row.begin(), row.end());
    if (brightBoxes.empty()) return points;
    // Detail is judged against the object's own typical box: captures differ in contrast by
    // far more than their flat areas differ from their detailed ones.
    std::vector<double> structures;
    for (const Candidate& c : brightBoxes) structures.push_back(c.Structure);
    std::nth_element(structures.begin(), structures.begin() + std::ptrdiff_t(structures.size() / 2), structures.end());
    const double median = structures[structures.size() / 2];
    for (const Candidate& c : brightBoxes)
        if (c.Structure >= settings.MinStructure * median) points.push_back(c.Point);
    return points;
}

}  // namespace talvenor
