#include "registration/rgb_shift.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>

#include "workspace/canvas.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {

constexpr uint32_t kAreaGreen = 0x008000, kMarginYellow = 0xFFFF00;

// The search margin: the area plus every offset tried must stay inside the image.
constexpr int kMargin = kChannelSearchRadius;

// The dy values of one dx are computed side by side, one accumulator per dy, so the
// compiler can run them in vector lanes while each E keeps its own summation order. Lanes are
// padded to a whole number of blocks; a block's accumulators stay in registers.
constexpr int kLanes = 64;
constexpr int kBlock = 32;
static_assert(kLanes >= kChannelSearchSide && kLanes % kBlock == 0);

bool Covers(const Single2dArray& p, int w, int h) { return p.Allocated() && p.Width() >= w && p.Height() >= h; }

// Whether the source range [lo, hi] of columns or rows (inclusive) fits in a plane
// dimension of `limit` addressable positions.
bool Fits(int lo, int hi, int limit) { return lo >= 0 && hi < limit; }

// The samples the search reads, copied column by column so that the offsets dy of one
// position lie next to each other in memory.
struct SearchWindow {
    int m = 0;          // area side 2h + 1
    int colStride = 0;  // floats between columns of `other`
    std::vector<float> green;  // m x m, green(cx - h + i, cy - h + j) at i * m + j
    std::vector<float> other;  // (m + 60) columns of (m + 60) rows, from (cx - h - 30, cy - h - 30)
};

SearchWindow CopyWindow(const Single2dArray& green, const Single2dArray& other, const ShiftArea& a) {
    SearchWindow w;
    w.m = 2 * a.h + 1;
    const int n = w.m + 2 * kMargin;
    // The padding lanes of the last block read past the last row: zeros, never used.
    w.colStride = n + (kLanes - kChannelSearchSide);
    w.green.resize(std::size_t(w.m) * std::size_t(w.m));
    w.other.assign(std::size_t(n) * std::size_t(w.colStride), 0.0f);
    const int gx = a.cx - a.h, gy = a.cy - a.h;
    for (int j = 0; j < w.m; ++j) {
        const float* row = green.Row(gy + j) + gx;
        for (int i = 0; i < w.m; ++i) w.green[std::size_t(i) * std::size_t(w.m) + std::size_t(j)] = row[i];
    }
    const int ox = gx - kMargin, oy = gy - kMargin;
    for (int y = 0; y < n; ++y) {
        const float* row = other.Row(oy + y) + ox;
        for (int x = 0; x < n; ++x) w.other[std::size_t(x) * std::size_t(w.colStride) + std::size_t(y)] = row[x];
    }
    return w;
}

// E(dx, dy) for dx = column - 30 and every dy, into out[0..60]. Each E sums over i (outer)
// and j (inner) exactly as a plain double loop would.
void MismatchColumn(const SearchWindow& w, int column, float* out) {
    const int m = w.m;
    for (int kb = 0; kb < kLanes; kb += kBlock) {
        std::array<float, kBlock> acc{};
        for (int i = 0; i < m; ++i) {
            const float* g = w.green.data() + std::size_t(i) * std::size_t(m);
            const float* o = w.other.data() + std::size_t(i + column) * std::size_t(w.colStride) + std::size_t(kb);
            for (int j = 0; j < m; ++j) {
                const float gv = g[j];
                const float* oj = o + j;
                for (int k = 0; k < kBlock; ++k) {
                    const float d = gv - oj[k];
                    acc[std::size_t(k)] += d * d;
                }
            }
        }
        for (int k = 0; k < kBlock && kb + k < kChannelSearchSide; ++k) out[kb + k] = acc[std::size_t(k)];
    }
}

}  // namespace

void BuildWorkingPlanes(Workspace& ws, bool colour, bool lrgb, bool useLuminancePlane) {
    const int w = ws.ImageWidth, h = ws.ImageHeight;
    auto& in = ws.StackSum;
    auto& out = ws.ResultPlanes;

    if (!colour) {
        // One column and one row past the image: the wavelet filters read that far.
        if (!Covers(in[1], w, h) || !Covers(out[1], w, h)) return;
        for (int y = 0; y <= h; ++y) std::copy_n(in[1].Row(y), std::max(w + 1, 0), out[1].Row(y));
        return;
    }

    const bool haveChannels = Covers(in[0], w, h) && Covers(in[1], w, h) && Covers(in[2], w, h);
    // Columns x whose source x + shift lies inside 0..w - 1.
    auto firstColumn = [w](int shift) { return std::clamp(-shift, 0, std::max(w, 0)); };
    auto endColumn = [w](int shift) { return std::clamp(w - shift, 0, std::max(w, 0)); };
    auto rowInside = [h](int y) { return y >= 0 && y < h; };

    if (lrgb) {
        if (!Covers(out[1], w, h)) return;
        if (useLuminancePlane) {
            if (!Covers(in[3], w, h)) return;
            for (int y = 0; y < h; ++y) std::copy_n(in[3].Row(y), std::max(w, 0), out[1].Row(y));
            return;
        }
        if (!haveChannels) return;
        const float wr = ws.LrgbWeight[0], wg = ws.LrgbWeight[1], wb = ws.LrgbWeight[2];
        const int rx0 = firstColumn(ws.RedShiftX), rx1 = endColumn(ws.RedShiftX);
        const int bx0 = firstColumn(ws.BlueShiftX), bx1 = endColumn(ws.BlueShiftX);
        for (int y = 0; y < h; ++y) {
            const float* g = in[1].Row(y);
            float* l = out[1].Row(y);
            for (int x = 0; x < w; ++x) l[x] = wg * g[x];
            // Added in the order green, red, blue, like a pixel-by-pixel sum would.
            if (rowInside(y + ws.RedShiftY)) {
                const float* r = in[0].Row(y + ws.RedShiftY);
                for (int x = rx0; x < rx1; ++x) l[x] = l[x] + wr * r[x + ws.RedShiftX];
            }
            if (rowInside(y + ws.BlueShiftY)) {
                const float* b = in[2].Row(y + ws.BlueShiftY);
                for (int x = bx0; x < bx1; ++x) l[x] = l[x] + wb * b[x + ws.BlueShiftX];
            }
        }
        return;
    }

    if (!haveChannels || !Covers(out[0], w, h) || !Covers(out[1], w, h) || !Covers(out[2], w, h)) return;
    for (int y = 0; y < h; ++y) std::copy_n(in[1].Row(y), std::max(w, 0), out[1].Row(y));
    // Red into plane 0 and blue into plane 2; where the source falls outside, 0 rather than
    // whatever an earlier stack or shift left there.
    const std::array<std::pair<int, int>, 2> shifted{{{ws.RedShiftX, ws.RedShiftY}, {ws.BlueShiftX, ws.BlueShiftY}}};
    for (std::size_t k = 0; k < 2; ++k) {
        const int c = k == 0 ? 0 : 2;
        const auto [sx, sy] = shifted[k];
        const int x0 = firstColumn(sx), x1 = std::max(endColumn(sx), x0);
        for (int y = 0; y < h; ++y) {
            float* o = out[std::size_t(c)].Row(y);
            if (!rowInside(y + sy)) {
                std::fill_n(o, std::max(w, 0), 0.0f);
                continue;
            }
            const float* s = in[std::size_t(c)].Row(y + sy);
            std::fill(o, o + x0, 0.0f);
            for (int x = x0; x < x1; ++x) o[x] = s[x + sx];
            std::fill(o + x1, o + std::max(w, 0), 0.0f);
        }
    }
}

void ShiftsFromSpins(Workspace& ws, const Controls& f) {
    auto whole = [](double v) { return int(std::nearbyint(v)); };
    ws.RedShiftX = -whole(f.RDXSpin.Value);
    ws.RedShiftY = whole(f.RdySpin.Value);
    ws.BlueShiftX = -whole(f.BDXspin.Value);
    ws.BlueShiftY = whole(f.BDYSpin.Value);
}

ShiftArea EstimationArea(const Workspace& ws, const Controls& f) {
    const int n = ws.AlignBoxSize;
    ShiftArea a{ws.AlignX, ws.AlignY, n / 2};
    // The feature is in frame pixels; the stack may be on a finer grid.
    if (f.Resampled.Checked) {
        const double s = f.ResampleSpin.Value;
        a.h = int(std::nearbyint(s * n * 0.5));
        a.cx = int(std::nearbyint(s * ws.AlignX));
        a.cy = int(std::nearbyint(s * ws.AlignY));
    }
    if (f.Drizzling.Checked) {
        a.h = n;
        a.cx = 2 * ws.AlignX;
        a.cy = 2 * ws.AlignY;
    }
    a.h = std::min(a.h, kMaxChannelAreaHalf);
    const int w = ws.ImageWidth, h = ws.ImageHeight;
    if (a.h + a.cx + kMargin >= w) a.h = w - a.cx - kMargin;
    if (a.h + a.cy + kMargin >= h) a.h = h - a.cy - kMargin;
    if (a.cx - a.h - kMargin - 1 < 0) a.h = a.cx - kMargin;
    if (a.cy - a.h - kMargin - 1 < 0) a.h = a.cy - kMargin;
    return a;
}

void DrawEstimationArea(Bitmap24& picture, const ShiftArea& a) {
    Canvas canvas(picture);
    canvas.Pen.Mode = PenMode::Xor;
    canvas.Brush.Style = BrushStyle::Clear;
    canvas.Pen.Colour = kAreaGreen;
    canvas.Rectangle(a.cx - a.h, a.cy - a.h, a.cx + a.h, a.cy + a.h);
    const int outer = a.h + kMargin;
    canvas.Pen.Colour = kMarginYellow;
    canvas.Rectangle(a.cx - outer, a.cy - outer, a.cx + outer, a.cy + outer);
}

std::vector<float> ChannelMismatch(const Single2dArray& green, const Single2dArray& other, const ShiftArea& a,
                                   const std::function<void(int columns)>& progress) {
    constexpr int side = kChannelSearchSide;
    std::vector<float> e(std::size_t(side) * side, 0.0f);
    auto report = [&](int dxDone) {
        if (progress) progress(dxDone);
    };
    // An empty area sums nothing: every E is 0. So does an area the planes do not hold, which
    // only happens before anything was stacked.
    const bool usable = a.h >= 0 && green.Allocated() && other.Allocated() &&
                        Fits(a.cx - a.h, a.cx + a.h, green.Stride()) && Fits(a.cy - a.h, a.cy + a.h, green.Rows()) &&
                        Fits(a.cx - a.h - kMargin, a.cx + a.h + kMargin, other.Stride()) &&
                        Fits(a.cy - a.h - kMargin, a.cy + a.h + kMargin, other.Rows());
    if (!usable) {
        report(side);
        return e;
    }

    const SearchWindow window = CopyWindow(green, other, a);
    // Every dx is independent; two threads take them in turn and the calling thread reports
    // progress (the host is not thread-safe). Results do not depend on who computed what.
    std::atomic<int> next{0}, done{0};
    auto work = [&](int* reported) {
        for (int column; (column = next.fetch_add(1)) < side;) {
            MismatchColumn(window, column, e.data() + std::size_t(column) * side);
            const int count = done.fetch_add(1) + 1;
            if (reported) report(*reported = count);
        }
    };
    int reported = 0;
    {
        std::jthread helper;
        try {
            helper = std::jthread(work, nullptr);
        } catch (const std::system_error&) {
            // No second thread to be had: the calling thread does all of it.
        }
        work(&reported);
    }
    if (reported < side) report(side);
    return e;
}

std::pair<int, int> SmallestMismatch(const std::vector<float>& mismatch) {
    constexpr int r = kChannelSearchRadius, side = kChannelSearchSide;
    auto at = [&](int dx, int dy) { return mismatch[std::size_t(dx + r) * side + std::size_t(dy + r)]; };
    std::pair<int, int> best{0, 0};
    float least = at(0, 0);
    for (int dx = -r; dx <= r; ++dx)
        for (int dy = -r; dy <= r; ++dy)
            if (at(dx, dy) < least) {
                least = at(dx, dy);
                best = {dx, dy};
            }
    return best;
}

std::pair<int, int> BestChannelOffset(const Single2dArray& green, const Single2dArray& other, const ShiftArea& a,
                                      const std::function<void(int columns)>& progress) {
    return SmallestMismatch(ChannelMismatch(green, other, a, progress));
}

void EstimateChannelShifts(AppContext& c) {
    Controls& f = c.form;
    Workspace& ws = c.ws;
    f.MessageWindow.Left = f.RGBShiftWindow.Left + f.RGBShiftWindow.Width + 1;
    f.MessageWindow.Top = f.RGBShiftWindow.Top;
    const ShiftArea area = EstimationArea(ws, f);
    ShowProgress(f, c.host, "Search Red ", "columns");
    DrawEstimationArea(f.ProcessImage.Image, area);
    c.host.Repaint(&f.ProcessImage);
    const auto gauge = [&](int columns) { SetProgress(f, c.host, columns, kChannelSearchSide); };

    const auto red = BestChannelOffset(ws.StackSum[1], ws.StackSum[0], area, gauge);
    ShowProgress(f, c.host, "Search Blue ", "columns");
    const auto blue = BestChannelOffset(ws.StackSum[1], ws.StackSum[2], area, gauge);

    // The spins show the correction the way the user would set it by hand.
    f.BDXspin.SetValue(double(-blue.first));
    f.BDYSpin.SetValue(double(blue.second));
    f.RDXSpin.SetValue(double(-red.first));
    f.RdySpin.SetValue(double(red.second));
    ShiftsFromSpins(ws, f);
    ws.LayersStale = true;
    HideProgress(f, c.host);
}

}  // namespace talvenor
