#include "wavelets/rebuild.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "wavelets/noise.h"
#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

constexpr int kLastIndex = kGammaEntries - 1;

// What a channel shows for one display level K' (before the offset and balance).
struct ChannelValue {
    uint8_t byte;     // 8-bit value E
    uint16_t wide;    // 16-bit value F
};

ChannelValue MapLevel(double level, int offset, float balance) {
    const double e = std::nearbyint((offset + level) * balance);
    ChannelValue v;
    v.byte = e > 254 ? 255 : (e <= 0 ? 0 : uint8_t(e));
    double f = (offset + level) * balance * 255;
    if (f > 65535) f = 65535;
    if (f < 0) f = 0;
    v.wide = uint16_t(std::nearbyint(f));
    return v;
}

// The layer sums of one channel for the area rows y0..y1: the residual plus the layers by the
// noise rule of their threshold. Row by row so the compiler can vectorise the common case.
void SumLayers(Workspace& ws, const RebuildSettings& s, int c, const LayerArea& a, int y0, int y1) {
    const int width = a.right - a.left + 1;
    for (int y = y0; y <= y1; ++y) {
        float* sum = ws.LayerPlanes[0][std::size_t(c)].Row(y - a.top);
        const float* residual = ws.ResultPlanes[std::size_t(c)].Row(y) + a.left;
        std::copy_n(residual, width, sum);
        for (int n = 1; n <= kLayers; ++n) {
            if (!s.enabled[std::size_t(n)]) continue;
            const float g = s.gain[std::size_t(n)];
            const float t = s.threshold[std::size_t(n)];
            const float* w = ws.LayerPlanes[std::size_t(n)][std::size_t(c)].Row(y - a.top);
            if (!s.cut[std::size_t(n)] || (t != 0 && !s.subtract)) {
                for (int u = 0; u < width; ++u) sum[u] += g * w[u];
            } else if (t != 0) {
                // Soft threshold: w - t above t, w + t below -t, nothing between; written
                // without branches (w minus w held inside +-t) so the row vectorises. Adding
                // g x 0 leaves a sum exactly as it was.
                for (int u = 0; u < width; ++u) sum[u] += g * (w[u] - std::min(std::max(w[u], -t), t));
            }
            // Checked with a threshold of 0: the layer is left out.
        }
    }
}

struct Mapping {
    double scale;                          // sum -> curve index
    double stackMin;
    std::array<double, kGammaEntries> level;   // curve index -> K'
    // Per channel R, G, B: curve index -> picture byte and 16-bit value.
    std::array<std::array<ChannelValue, kGammaEntries>, 3> channel;

    int Index(float sum) const {
        const double i = std::nearbyint((double(sum) - stackMin) * scale);
        // Written so a NaN sum lands on 0 rather than indexing outside the curve.
        return !(i > 0) ? 0 : (i >= kLastIndex ? kLastIndex : int(i));
    }
};

void PrepareMapping(Mapping& m, const RebuildSettings& s) {
    m.scale = 1000.0 * (s.contrast * 0.01) / (double(s.stackMax) - s.stackMin + 0.000001);
    m.stackMin = s.stackMin;
    // A stretch with both ends on one level would divide by zero; keep it finite.
    double span = double(s.histHi) - s.histLo;
    if (std::fabs(span) < 1e-6) span = 1e-6;
    for (int i = 0; i < kGammaEntries; ++i) {
        const double k = (*s.gamma)[std::size_t(i)] * 255 + s.brightness;
        m.level[std::size_t(i)] = (k - s.histLo) / span * 255;
        for (int c = 0; c < 3; ++c)
            m.channel[std::size_t(c)][std::size_t(i)] =
                MapLevel(m.level[std::size_t(i)], s.offset[std::size_t(c)], s.balance[std::size_t(c)]);
    }
}

using Histograms = std::array<std::array<int32_t, 256>, 3>;

float ShiftedSample(const Single2dArray& plane, int x, int y, int w, int h) {
    return (x >= 0 && y >= 0 && x < w && y < h) ? plane.Get(x, y) : 0.0f;
}

// Step 8 for the region rows y0..y1.
void MapRows(Workspace& ws, const RebuildSettings& s, const Mapping& m, const LayerArea& a, const LayerArea& r,
             Bitmap24& picture, int y0, int y1, Histograms& hist) {
    const bool wide = ws.StackTiff.HasWide && ws.StackTiff.Width() > r.right && ws.StackTiff.Height() > r.bottom;
    const int W = ws.ImageWidth, H = ws.ImageHeight;
    for (int y = y0; y <= y1; ++y) {
        const float* sum[3];
        for (int c = 0; c < 3; ++c) sum[c] = ws.LayerPlanes[0][std::size_t(c)].Row(y - a.top) - a.left;
        uint8_t* px = picture.Row(y);
        uint8_t* tiff = wide ? ws.StackTiff.WideRows[std::size_t(y)] : nullptr;
        for (int x = r.left; x <= r.right; ++x) {
            uint8_t* p = px + 3 * x;  // blue, green, red
            p[0] = p[1] = p[2] = 0;
            const bool three = s.mode == ColourMode::Colour;
            float s0 = three ? sum[0][x] : 0, s1 = sum[1][x], s2 = three ? sum[2][x] : 0;
            // Darker than the background level: the sharpened sums gave a ring; the residual
            // (the image without its detail layers) shows instead. Never where the residual is
            // darker still: near the image's edge the residual lacks the taps beyond it, and
            // anti-ringing must not darken the sky there.
            if (s.antiRing) {
                const float l = AntiRingLuminance(s.lumWeights, three, s0, s1, s2);
                if (l < s.antiRingLevel) {
                    const float r0 = three ? ws.ResultPlanes[0].Get(x, y) : 0, r1 = ws.ResultPlanes[1].Get(x, y),
                                r2 = three ? ws.ResultPlanes[2].Get(x, y) : 0;
                    if (AntiRingLuminance(s.lumWeights, three, r0, r1, r2) > l) {
                        s0 = r0;
                        s1 = r1;
                        s2 = r2;
                    }
                }
            }
            ChannelValue rv, gv, bv;
            if (s.mode == ColourMode::Lrgb) {
                // Luminance from the layers, colour from the unprocessed stack.
                const double j = m.level[std::size_t(m.Index(s1))];
                const float r0 = ShiftedSample(ws.StackSum[0], x + ws.RedShiftX, y + ws.RedShiftY, W, H);
                const float g0 = ws.StackSum[1].Get(x, y);
                const float b0 = ShiftedSample(ws.StackSum[2], x + ws.BlueShiftX, y + ws.BlueShiftY, W, H);
                const double total = double(r0) + g0 + b0 + 0.0001;
                rv = MapLevel(r0 / total * 3 * j, s.offset[0], s.balance[0]);
                gv = MapLevel(g0 / total * 3 * j, s.offset[1], s.balance[1]);
                bv = MapLevel(b0 / total * 3 * j, s.offset[2], s.balance[2]);
                p[2] = rv.byte;
                p[1] = gv.byte;
                p[0] = bv.byte;
            } else {
                gv = m.channel[1][std::size_t(m.Index(s1))];
                if (s.show[1]) p[1] = gv.byte;
                if (three) {
                    rv = m.channel[0][std::size_t(m.Index(s0))];
                    bv = m.channel[2][std::size_t(m.Index(s2))];
                    if (s.show[0]) p[2] = rv.byte;
                    if (s.show[2]) p[0] = bv.byte;
                } else {
                    rv = bv = gv;
                    p[2] = p[0] = gv.byte;
                }
            }
            ++hist[1][gv.byte];
            if (s.mode != ColourMode::Mono) {
                ++hist[0][rv.byte];
                ++hist[2][bv.byte];
            }
            if (tiff) {
                uint8_t* t = tiff + 6 * x;
                const uint16_t v[3] = {rv.wide, gv.wide, bv.wide};
                for (int c = 0; c < 3; ++c) {
                    t[2 * c] = uint8_t(v[c] & 0xFF);
                    t[2 * c + 1] = uint8_t(v[c] >> 8);
                }
            }
        }
    }
}

}  // namespace

int RedrawMargin(double initial, double step) { return int(std::nearbyint(5 * step + initial)) + 3; }

LayerArea RedrawnRegion(const LayerArea& area, int margin, int imageWidth, int imageHeight) {
    LayerArea r = area;
    if (area.left != 0) r.left += margin;
    if (area.top != 0) r.top += margin;
    if (area.right != imageWidth - 1) r.right -= margin;
    if (area.bottom != imageHeight - 1) r.bottom -= margin;
    return r;
}

void RebuildProcessedImage(Workspace& ws, const RebuildSettings& s, Bitmap24& picture) {
    const LayerArea a = ClipArea(ws.ProcessAreaLeft, ws.ProcessAreaTop, ws.ProcessAreaWidth, ws.ProcessAreaHeight,
                                 ws.ImageWidth, ws.ImageHeight);
    for (auto& h : ws.Histogram) h.fill(0);
    if (a.right < a.left || a.bottom < a.top || !s.gamma) return;
    if (picture.Width() != ws.ImageWidth || picture.Height() != ws.ImageHeight)
        picture.SetSize(ws.ImageWidth, ws.ImageHeight);

    const int first = s.mode == ColourMode::Colour ? 0 : 1, last = s.mode == ColourMode::Colour ? 2 : 1;
    ParallelRows(a.top, a.bottom, [&](int y0, int y1) {
        for (int c = first; c <= last; ++c) SumLayers(ws, s, c, a, y0, y1);
    });

    auto mapping = std::make_unique<Mapping>();
    PrepareMapping(*mapping, s);
    const LayerArea r = RedrawnRegion(a, s.margin, ws.ImageWidth, ws.ImageHeight);
    std::mutex merge;
    ParallelRows(r.top, r.bottom, [&](int y0, int y1) {
        Histograms local{};
        MapRows(ws, s, *mapping, a, r, picture, y0, y1, local);
        std::lock_guard lock(merge);
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 256; ++i) ws.Histogram[std::size_t(c)][std::size_t(i)] += local[std::size_t(c)][std::size_t(i)];
    });
    if (s.mode == ColourMode::Mono) ws.Histogram[0] = ws.Histogram[2] = ws.Histogram[1];
    picture.Touch();
}

namespace {
template <class Fn>
void ForEachMarkPixel(const LayerArea& a, Fn fn) {
    // Two 10-pixel lines from each corner along the area's edges.
    const int xs[2] = {a.left, a.right}, ys[2] = {a.top, a.bottom};
    for (int cx = 0; cx < 2; ++cx)
        for (int cy = 0; cy < 2; ++cy) {
            const int dirX = cx == 0 ? 1 : -1, dirY = cy == 0 ? 1 : -1;
            for (int k = 0; k < 10; ++k) fn(xs[cx] + dirX * k, ys[cy]);
            for (int k = 1; k < 10; ++k) fn(xs[cx], ys[cy] + dirY * k);
        }
}
}  // namespace

void DrawAreaMarks(Bitmap24& picture, const LayerArea& a) {
    ForEachMarkPixel(a, [&](int x, int y) {
        if (!picture.Contains(x, y)) return;
        uint8_t* p = picture.Row(y) + 3 * x;
        p[0] ^= 0xFF;
        p[1] ^= 0xFF;
        p[2] ^= 0xFF;
    });
    picture.Touch();
}

}  // namespace talvenor
