// The alignment points' second pass: each chosen box read at its shift and added with a window
// that falls to zero at its edges, and the sums blended into the stack.
#include <algorithm>
#include <array>
#include <cmath>

#include "stacking/alignment_point_passes.h"
#include "stacking/subpixel_sampler.h"
#include "workspace/parallel_rows.h"
#include "workspace/vector_clones.h"

namespace talvenor {

namespace {

constexpr float kPi = 3.14159265358979f;

// The box of channel plane `plane` read at (x + dx, y + dy), separably with the stacker's
// sub-pixel taps, into `out` (size x size): each output row from the six rows across it, kept in a
// small ring, so nothing is allocated per box. Each sample adds its taps in their order, tap by
// tap over the whole row, so the loops run over pixels and vectorise.
TALVENOR_VECTOR_CLONES
void SampleBox(const Single2dArray& plane, int x0, int y0, int size, float dx, float dy, float* out) {
    const int wholeX = int(std::floor(dx)), wholeY = int(std::floor(dy));
    const SubPixelTaps tx = SubPixelTaps::For(double(dx) - wholeX), ty = SubPixelTaps::For(double(dy) - wholeY);
    constexpr int kRing = 6;
    std::array<float, kRing * kMaxBoxSide> ring;
    auto across = [&](int r) {  // source row r of the box, read across at the fraction
        const float* src = plane.Row(y0 + wholeY + ty.First + r) + (x0 + wholeX + tx.First);
        float* dst = ring.data() + std::size_t(r % kRing) * kMaxBoxSide;
        std::fill_n(dst, size, 0.0f);
        for (int k = 0; k < tx.Count; ++k) {
            const float w = tx.Weight[std::size_t(k)];
            const float* s = src + k;
            for (int i = 0; i < size; ++i) dst[i] += w * s[i];
        }
    };
    for (int r = 0; r + 1 < ty.Count; ++r) across(r);
    for (int j = 0; j < size; ++j) {
        across(j + ty.Count - 1);
        float* dst = out + std::size_t(j) * std::size_t(size);
        std::fill_n(dst, size, 0.0f);
        for (int k = 0; k < ty.Count; ++k) {
            const float w = ty.Weight[std::size_t(k)];
            const float* src = ring.data() + std::size_t((j + k) % kRing) * kMaxBoxSide;
            for (int i = 0; i < size; ++i) dst[i] += w * src[i];
        }
    }
}

// The blending window along one side: sin^2 over the box, so boxes half a box apart add up
// to exactly 1 and a uniform area shows no step where one box gives way to the next.
std::vector<float> Window(int size) {
    std::vector<float> w(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        const float s = std::sin(kPi * (float(i) + 0.5f) / float(size));
        w[std::size_t(i)] = s * s;
    }
    return w;
}

// What turns the global stack into the points' scale: the ratio of their sums where the points
// cover the picture fully. The grey stack weighs frames by quality (the points take a plain
// mean), and the frames chosen differ a little in brightness (thin cloud).
float GlobalScale(const AppContext& c, const AlignmentPointState& ap) {
    const Workspace& ws = c.ws;
    const int channels = Channels(c.form);
    double points = 0, global = 0;
    for (int k = 0; k < channels; ++k) {
        const Single2dArray& stack = ws.StackSum[PlaneOf(c.form, k)];
        const Single2dArray& sums = ap.PointSums[std::size_t(k)];
        for (int y = 0; y < ap.PointWeights.Height(); ++y) {
            const float* wt = ap.PointWeights.Row(y);
            const float *s = sums.Row(y), *g = stack.Row(y);
            for (int x = 0; x < ap.PointWeights.Width(); ++x)
                if (wt[x] >= 1.0f) {
                    points += s[x] / wt[x];
                    global += g[x];
                }
        }
    }
    return global > 0 && points > 0 ? float(points / global) : 1.0f;
}

}  // namespace

// Pass 2: the frames some point chose, each chosen box added at its own shift with the window,
// weighed so every point's frames together weigh as one.
bool AccumulatePoints(AppContext& c, StackerState& st, AlignmentPointState& ap) {
    const std::size_t points = ap.Points.size();
    const int size = ap.Size, channels = Channels(c.form);
    std::vector<int> frames;
    std::vector<std::size_t> slots;
    for (std::size_t slot = 0; slot < ap.Frames.size(); ++slot)
        for (std::size_t i = 0; i < points; ++i)
            if (ap.Measure(slot, i).Used) {
                frames.push_back(ap.Frames[slot]);
                slots.push_back(slot);
                break;
            }
    const std::vector<float> window = Window(size);
    const std::size_t boxLen = std::size_t(size) * std::size_t(size);
    std::vector<std::size_t> chosen;
    return ReadFramesInOrder(c, st, ap, frames, "Stacking at alignment points", "Alignment points: stacking frame", false,
                             [&](std::size_t j) {
        const std::size_t slot = slots[j];
        chosen.clear();
        for (std::size_t i = 0; i < points; ++i)
            if (ap.Measure(slot, i).Used) chosen.push_back(i);
        ap.Patches.resize(chosen.size() * std::size_t(channels) * boxLen);
        // The boxes of this frame, each on its own (in parallel)...
        WorkersOf(ap).Run(0, int(chosen.size()) - 1, [&](int first, int last) {
            for (int n = first; n <= last; ++n) {
                const std::size_t i = chosen[std::size_t(n)];
                const AlignmentPoint& p = ap.Points[i];
                const PointMeasure& m = ap.Measure(slot, i);
                for (int k = 0; k < channels; ++k)
                    SampleBox(ap.FramePlanes[PlaneOf(c.form, k)], p.X - size / 2, p.Y - size / 2, size, m.Dx, m.Dy,
                              ap.Patches.data() + (std::size_t(n) * std::size_t(channels) + std::size_t(k)) * boxLen);
            }
        }, 4);
        // ...then added by bands of rows, every pixel taking the boxes in the same order.
        const int height = ap.PointWeights.Height();
        WorkersOf(ap).Run(0, height - 1, [&](int top, int bottom) {
            for (std::size_t n = 0; n < chosen.size(); ++n) {
                const std::size_t i = chosen[n];
                const AlignmentPoint& p = ap.Points[i];
                const float share = 1.0f / float(std::max(ap.KeptPerPoint[i], 1));
                const int x0 = p.X - size / 2, y0 = p.Y - size / 2;
                for (int y = std::max(y0, top); y <= std::min(y0 + size - 1, bottom); ++y) {
                    const int j2 = y - y0;
                    const float wy = window[std::size_t(j2)] * share;
                    float* weights = ap.PointWeights.Row(y) + x0;
                    for (int x = 0; x < size; ++x) weights[x] += wy * window[std::size_t(x)];
                    for (int k = 0; k < channels; ++k) {
                        const float* v = ap.Patches.data() + (n * std::size_t(channels) + std::size_t(k)) * boxLen +
                                         std::size_t(j2) * std::size_t(size);
                        float* sum = ap.PointSums[std::size_t(k)].Row(y) + x0;
                        for (int x = 0; x < size; ++x) sum[x] += wy * window[std::size_t(x)] * v[x];
                    }
                }
            }
        });
    });
}

// The stacker's planes become the points' stack where the points' windows cover the picture
// fully, the global stack where no point reaches, and the mix of the two between.
void BlendPointsIntoStack(AppContext& c, AlignmentPointState& ap) {
    Workspace& ws = c.ws;
    const int channels = Channels(c.form);
    const float globalScale = GlobalScale(c, ap);
    const int w = ap.PointWeights.Width(), h = ap.PointWeights.Height();
    for (int k = 0; k < channels; ++k) {
        Single2dArray& stack = ws.StackSum[PlaneOf(c.form, k)];
        const Single2dArray& sums = ap.PointSums[std::size_t(k)];
        for (int y = 0; y < h; ++y) {
            float* out = stack.Row(y);
            const float* s = sums.Row(y);
            const float* wt = ap.PointWeights.Row(y);
            for (int x = 0; x < w; ++x) {
                const float g = out[x] * globalScale;
                out[x] = wt[x] >= 1.0f ? s[x] / wt[x] : s[x] + (1.0f - wt[x]) * g;
            }
        }
    }
}

}  // namespace talvenor
