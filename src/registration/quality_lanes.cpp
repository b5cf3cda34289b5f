#include "registration/quality_lanes.h"

#include <algorithm>
#include <cstring>

#include "registration/quality_box.h"

namespace talvenor {

QualityLanes::QualityLanes() : lane_(1), lanes_(1) { lane_[0] = std::make_unique<Lane>(); }

QualityLanes::~QualityLanes() = default;

bool QualityLanes::Start(const Bitmap24& frame, int width, int height, int left, int top, int q,
                         const std::array<float, 3>& weights, const std::vector<float>& taper,
                         const QualityRating& rating, FrameRecord& record) {
    width = std::min(width, frame.Width());
    height = std::min(height, frame.Height());
    const int x0 = std::max(left, 0), x1 = std::min(left + q, width);
    const int y0 = std::max(top, 0), y1 = std::min(top + q, height);
    if (x0 >= x1 || y0 >= y1) return false;
    const int n = lanes_.TryAcquire();
    if (n < 0) return false;
    Lane& l = *lane_[std::size_t(n)];
    // The part of the box inside the frame, measured where it lies in the box: the same pixels
    // in the same places as in the frame, so the same sums.
    if (frame.HoldsGrey()) {
        l.Box.SetGreySize(x1 - x0, y1 - y0);
        for (int y = y0; y < y1; ++y) std::memcpy(l.Box.GreyRowToFill(y - y0), frame.GreyRow(y) + x0, std::size_t(x1 - x0));
    } else {
        if (l.Box.Width() != x1 - x0 || l.Box.Height() != y1 - y0 || l.Box.HoldsGrey()) l.Box.SetSize(x1 - x0, y1 - y0);
        for (int y = y0; y < y1; ++y) std::memcpy(l.Box.Row(y - y0), frame.Row(y) + 3 * x0, std::size_t(x1 - x0) * 3);
    }
    if (l.Engine.AlignBoxSize() != q) l.Engine.SetTransformSize(q);
    if (l.Taper != taper) l.Taper = taper;
    const int boxLeft = left - x0, boxTop = top - y0;
    lanes_.Start(n, [&l, boxLeft, boxTop, weights, rating, &record] {
        MeasureBoxSpectrum(l.Box, l.Box.Width(), l.Box.Height(), boxLeft, boxTop, weights, l.Engine, l.Taper);
        record.Quality = rating.Of(l.Engine, &record);
    });
    return true;
}

bool QualityLanes::StartAligned(const FftPlane& box, int n, const std::vector<float>& taper,
                                const QualityRating& rating, FrameRecord& record) {
    const int lane = lanes_.TryAcquire();
    if (lane < 0) return false;
    Lane& l = *lane_[std::size_t(lane)];
    if (l.Engine.AlignBoxSize() != n) l.Engine.SetTransformSize(n);
    l.Engine.TransformRe.CopyCornerFrom(box, n);
    if (l.Taper != taper) l.Taper = taper;
    lanes_.Start(lane, [&l, n, rating, &record] {
        l.Engine.TransformIm.ClearCorner(n);
        TaperAlignedBox(l.Engine, n, l.Taper);
        l.Engine.ForwardTransform2D();
        l.Engine.ComputeRadialSpectrum();
        record.Quality = rating.Of(l.Engine, &record);
    });
    return true;
}

void QualityLanes::Finish() { lanes_.Finish(); }

}  // namespace talvenor
