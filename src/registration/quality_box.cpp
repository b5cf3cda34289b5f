#include "registration/quality_box.h"

#include <algorithm>

#include "workspace/bgr_bytes.h"

namespace talvenor {

int AutomaticQualityBoxSize(const Workspace& ws, int alignBox) {
    if (alignBox >= kSmallestQualityBox) return alignBox;
    // Frames too small for the larger box keep the alignment box.
    if (std::min(ws.SourceWidth, ws.SourceHeight) < kSmallestQualityBox) return alignBox;
    return kSmallestQualityBox;
}

int QualityBoxSize(const AppContext& c, int alignBox) {
    return c.form.AutoQualityBand.Checked ? AutomaticQualityBoxSize(c.ws, alignBox) : alignBox;
}

void MeasureBoxSpectrum(const Bitmap24& frame, int width, int height, int left, int top,
                        const std::array<float, 3>& weights, FftEngine& engine, const std::vector<float>& taper) {
    const int q = engine.AlignBoxSize();
    width = std::min(width, frame.Width());
    height = std::min(height, frame.Height());
    // The box's pixels inside the frame: columns x0 .. x1 - 1 and rows y0 .. y1 - 1 of the box.
    const int x0 = std::clamp(-left, 0, q), x1 = std::clamp(width - left, x0, q);
    const int y0 = std::clamp(-top, 0, q), y1 = std::clamp(height - top, y0, q);
    // The luminance row by row, as the frame is stored, with a running sum for the mean
    // (added in the same row order as ever, so the mean is the same to the last bit).
    float* rows = engine.BoxRows();
    double sum = 0;
    for (int y = y0; y < y1; ++y) {
        float* out = rows + std::size_t(y) * q;
        WeighPictureRow(frame, top + y, left + x0, x1 - x0, weights[0], weights[1], weights[2], false, out + x0);
        for (int x = x0; x < x1; ++x) sum += out[x];
    }
    const long long count = (long long)(x1 - x0) * (y1 - y0);
    const float mean = count > 0 ? float(sum / double(count)) : 0.0f;
    // Mean-free and tapered where they are, row by row (pixels outside the frame are 0, the
    // mean), then into the column-major plane by block transposes: reading the rows a column at
    // a time strode through the cache at every pixel.
    for (int y = 0; y < q; ++y) {
        float* out = rows + std::size_t(y) * q;
        if (y < y0 || y >= y1 || x0 == x1) {
            std::fill(out, out + q, 0.0f);
            continue;
        }
        const float ty = taper[std::size_t(y)];
        std::fill(out, out + x0, 0.0f);
        for (int x = x0; x < x1; ++x) out[x] = (out[x] - mean) * taper[std::size_t(x)] * ty;
        std::fill(out + x1, out + q, 0.0f);
    }
    engine.BoxRowsInto(engine.TransformRe);
    engine.TransformIm.ClearCorner(q);
    engine.ForwardTransform2D();
    engine.ComputeRadialSpectrum();
}

void TaperAlignedBox(FftEngine& fft, int n, const std::vector<float>& taper) {
    for (int x = 0; x < n; ++x) {
        float* re = fft.TransformRe.Column(x);
        const float tx = taper[std::size_t(x)];
        for (int y = 0; y < n; ++y) re[y] *= tx * taper[std::size_t(y)];
    }
}

const FftEngine& LastQualitySpectrum(const AlignmentState& a, const FftEngine& alignment) {
    return a.QualityOnOwnBox && a.HasQualityEngine() ? a.QualityEngine() : alignment;
}

}  // namespace talvenor
