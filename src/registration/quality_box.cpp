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
    // Into the column-major planes a column at a time, mean-free and tapered; pixels outside
    // the frame are 0 (the mean).
    engine.TransformIm.ClearCorner(q);
    for (int x = 0; x < q; ++x) {
        float* re = engine.TransformRe.Column(x);
        if (x < x0 || x >= x1 || y0 == y1) {
            std::fill(re, re + q, 0.0f);
            continue;
        }
        const float tx = taper[std::size_t(x)];
        std::fill(re, re + y0, 0.0f);
        const float* in = rows + x;
        for (int y = y0; y < y1; ++y) re[y] = (in[std::size_t(y) * q] - mean) * tx * taper[std::size_t(y)];
        std::fill(re + y1, re + q, 0.0f);
    }
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
