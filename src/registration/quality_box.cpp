#include "registration/quality_box.h"

#include <algorithm>

#include "registration/luminance.h"

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
    engine.TransformRe.ClearCorner(q);
    engine.TransformIm.ClearCorner(q);
    // Luminance column by column of the plane (x outer), with a running sum for the mean.
    double sum = 0;
    long long count = 0;
    for (int y = 0; y < q; ++y) {
        const int fy = top + y;
        if (fy < 0 || fy >= height) continue;
        const uint8_t* row = frame.Row(fy);
        for (int x = 0; x < q; ++x) {
            const int fx = left + x;
            if (fx < 0 || fx >= width) continue;
            const float l = Luminance(row + 3 * fx, weights);
            engine.TransformIm(x, y) = 1;  // marks a sampled pixel until the mean is known
            engine.TransformRe(x, y) = l;
            sum += l;
            ++count;
        }
    }
    const float mean = count > 0 ? float(sum / double(count)) : 0.0f;
    for (int x = 0; x < q; ++x) {
        float* re = engine.TransformRe.Column(x);
        float* im = engine.TransformIm.Column(x);
        const float tx = taper[std::size_t(x)];
        for (int y = 0; y < q; ++y) {
            re[y] = im[y] != 0 ? (re[y] - mean) * tx * taper[std::size_t(y)] : 0.0f;
            im[y] = 0;
        }
    }
    engine.ForwardTransform2D();
    engine.ComputeRadialSpectrum();
}

const FftEngine& LastQualitySpectrum(const AlignmentState& a, const FftEngine& alignment) {
    return a.QualityOnOwnBox && a.HasQualityEngine() ? a.QualityEngine() : alignment;
}

}  // namespace talvenor
