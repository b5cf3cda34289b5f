#include "stacking/alignment_point_stack.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>

#include "input/avi_frames.h"
#include "input/frame_loader.h"
#include "input/dark_flat.h"
#include "stacking/frame_shift.h"
#include "stacking/local_shift.h"
#include "stacking/subpixel_sampler.h"
#include "workspace/parallel_rows.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {

constexpr float kPi = 3.14159265358979f;

int Channels(const Controls& f) { return f.ColourStack.Checked ? 3 : 1; }
// The stacker's plane of channel k of the points' work: red, green, blue, or the grey plane.
std::size_t PlaneOf(const Controls& f, int k) { return f.ColourStack.Checked ? std::size_t(k) : 1; }

LumaView ViewOf(const Single2dArray& p) { return {p.Data(), std::size_t(p.Stride()), p.Width(), p.Height()}; }

// The luminance of three planes (or the grey plane) into `out`, over the rectangle.
void LumaOf(const AppContext& c, const std::array<Single2dArray, 4>& planes, Single2dArray& out, const PointRegion& r) {
    const bool colour = c.form.ColourStack.Checked;
    const std::array<float, 3>& lw = c.ws.LumaWeight;
    for (int y = r.Top; y <= r.Bottom; ++y) {
        float* o = out.Row(y);
        if (colour) {
            const float *red = planes[0].Row(y), *g = planes[1].Row(y), *b = planes[2].Row(y);
            for (int x = r.Left; x <= r.Right; ++x) o[x] = red[x] * lw[0] + g[x] * lw[1] + b[x] * lw[2];
        } else {
            std::copy(planes[1].Row(y) + r.Left, planes[1].Row(y) + r.Right + 1, o + r.Left);
        }
    }
}

PointRegion WholePlane(const Single2dArray& p) { return {0, 0, p.Width() - 1, p.Height() - 1}; }

void Ensure(Single2dArray& p, int w, int h) {
    if (!p.Allocated() || p.Width() != w || p.Height() != h) p.Create(w, h);
}

// The frames a point may choose from, best first: those of the ranking that are not switched
// off and pass the difference cut.
std::vector<int> RankedCandidates(const AppContext& c) {
    std::vector<int> frames;
    std::vector<bool> seen(kMaxFrames, false);
    for (int k : RanksPassingCuts(c, c.form.StackSlider.MaxValue)) {
        const int frame = c.ws.Ranking[std::size_t(k)].FrameIndex;
        if (!seen[std::size_t(frame)]) frames.push_back(frame);
        seen[std::size_t(frame)] = true;
    }
    return frames;
}

// The frames measured: the better half of the candidates (at least four times what a point
// keeps), in file order. A frame the whole picture ranks lower is almost never among a
// point's sharpest: on patchy seeing, measuring every frame gained 0.01 dB for half again the
// time.
std::vector<int> MeasuredFrames(std::vector<int> ranked, int keep) {
    const std::size_t pool = std::max(std::size_t(4) * std::size_t(keep), (ranked.size() + 1) / 2);
    if (ranked.size() > pool) ranked.resize(pool);
    std::sort(ranked.begin(), ranked.end());
    return ranked;
}

// The frame's global shift, to the fraction when the alignment measured one.
FrameShift GlobalShift(const FrameRecord& r) { return ShiftOf(r.ShiftX, r.ShiftY, r.SubShiftX, r.SubShiftY, true); }

// Whether the frame in hand is an 8-bit picture added as it is (no 16-bit samples, FITS plane
// or calibration): the common case, placed by a plain copy of the rows the points need.
bool PlainFrame(const AppContext& c) {
    const Workspace& ws = c.ws;
    const DarkFlat calibration = DarkFlat::From(c);
    return !ws.FrameIsWide && !(ws.IsImageSeries && ws.IsFits) && !calibration.UseDark && !calibration.UseFlat;
}

// The 8-bit frame at whole shift (dx, dy) over rows top..bottom of the points' rectangle, as the
// stacker adds it: red, green and blue, or the grey mix; 0 where the frame does not reach. What
// it covers is a rectangle (`PlainCover`), so no cover plane is written.
void CopyPlainFrame(const AppContext& c, AlignmentPointState& ap, int top, int bottom) {
    const Workspace& ws = c.ws;
    const Bitmap24& frame = ws.CurrentFrameImage;
    const PointRegion& r = ap.Region;
    const PointRegion& in = ap.PlainCover;
    const bool colour = c.form.ColourStack.Checked;
    const std::array<float, 3>& lw = ws.LrgbWeight;
    const int xa = std::max(r.Left, in.Left), xb = std::min(r.Right, in.Right);
    for (int y = top; y <= bottom; ++y) {
        float* out[3] = {ap.FramePlanes[0].Row(y), ap.FramePlanes[1].Row(y), ap.FramePlanes[2].Row(y)};
        const bool rowIn = y >= in.Top && y <= in.Bottom && xa <= xb;
        for (int k = 0; k < 3; ++k) {
            if (!colour && k != 1) continue;
            if (!rowIn) {
                std::fill(out[k] + r.Left, out[k] + r.Right + 1, 0.0f);
                continue;
            }
            std::fill(out[k] + r.Left, out[k] + xa, 0.0f);
            std::fill(out[k] + xb + 1, out[k] + r.Right + 1, 0.0f);
        }
        if (!rowIn) continue;
        const uint8_t* src = frame.Row(y + ap.PlainShiftY) + 3 * std::ptrdiff_t(xa + ap.PlainShiftX);
        const int n = xb - xa + 1;
        if (colour) {
            float *red = out[0] + xa, *g = out[1] + xa, *b = out[2] + xa;
            for (int i = 0; i < n; ++i) {
                b[i] = src[3 * i];
                g[i] = src[3 * i + 1];
                red[i] = src[3 * i + 2];
            }
        } else {
            float* g = out[1] + xa;
            for (int i = 0; i < n; ++i) g[i] = src[3 * i + 1] * lw[1] + src[3 * i + 2] * lw[0] + src[3 * i] * lw[2];
        }
    }
}

// The stack positions whose source lies in an 8-bit frame at whole shift (dx, dy): x + dx
// within the frame and the stack's source size.
PointRegion PlainCoverOf(const Workspace& ws, int dx, int dy) {
    const Bitmap24& frame = ws.CurrentFrameImage;
    const int limitX = std::min(ws.ImageWidth, frame.Width()), limitY = std::min(ws.ImageHeight, frame.Height());
    return {std::max(0, -dx), std::max(0, -dy), limitX - 1 - dx, limitY - 1 - dy};
}

// The frame just read, placed at its whole global shift on the stack's grid into the points'
// frame planes, and (for measuring) its luminance, by bands of rows in parallel. Frames other
// than plain 8-bit pictures go through the stacker itself (planes swapped in for its own), so
// calibration, 16-bit samples and FITS planes are exactly the global stack's.
void PlaceFrameAtWholeShift(AppContext& c, StackerState& st, AlignmentPointState& ap, bool luma) {
    Workspace& ws = c.ws;
    const FrameShift shift = GlobalShift(ws.Frames[std::size_t(ws.CurrentFrame)]);
    st.CurShiftX = int(std::lrint(shift.X));
    st.CurShiftY = int(std::lrint(shift.Y));
    ap.FrameIsPlain = PlainFrame(c);
    if (ap.FrameIsPlain) {
        ap.PlainShiftX = st.CurShiftX;
        ap.PlainShiftY = st.CurShiftY;
        ap.PlainCover = PlainCoverOf(ws, st.CurShiftX, st.CurShiftY);
    } else {
        st.CurSubShiftX = float(st.CurShiftX);
        st.CurSubShiftY = float(st.CurShiftY);
        st.FrameWeight = 1;
        for (int k = 0; k < Channels(c.form); ++k) ap.FramePlanes[PlaneOf(c.form, k)].Fill(0);
        ap.FrameCover.Fill(0);
        auto swapIn = [&] {
            for (std::size_t k = 0; k < 4; ++k) std::swap(ws.StackSum[k], ap.FramePlanes[k]);
            std::swap(ws.ExtraPlane, ap.FrameCover);
        };
        swapIn();
        try {
            AccumulateFrame(c, st);
        } catch (...) {
            swapIn();
            throw;
        }
        swapIn();
    }
    // A grey frame's plane is its luminance.
    const bool ownLuma = luma && c.form.ColourStack.Checked;
    if (!ap.FrameIsPlain && !ownLuma) return;
    const PointRegion& r = ap.Region;
    const bool plain = ap.FrameIsPlain;
    ParallelRows(r.Top, r.Bottom, [&](int top, int bottom) {
        if (plain) CopyPlainFrame(c, ap, top, bottom);
        if (ownLuma) LumaOf(c, ap.FramePlanes, ap.FrameLuma, {r.Left, top, r.Right, bottom});
    }, 32);
}

// The luminance the points match: the grey plane itself, or the luminance of the colour planes.
LumaView FrameLumaView(const AppContext& c, const AlignmentPointState& ap) {
    return ViewOf(c.form.ColourStack.Checked ? ap.FrameLuma : ap.FramePlanes[1]);
}

// Whether the frame covers the box with its search margin (the whole shift moves part of the
// frame off the stack near its edges), within the rectangle the frame planes hold.
bool FrameCovers(const AlignmentPointState& ap, const AlignmentPoint& p, int size, int search) {
    const int m = PointMargin(search), h = size / 2;
    const int x0 = p.X - h - m, y0 = p.Y - h - m, x1 = p.X - h + size - 1 + m, y1 = p.Y - h + size - 1 + m;
    const PointRegion& r = ap.Region;
    if (x0 < r.Left || y0 < r.Top || x1 > r.Right || y1 > r.Bottom) return false;
    if (ap.FrameIsPlain) {
        const PointRegion& in = ap.PlainCover;
        return x0 >= in.Left && y0 >= in.Top && x1 <= in.Right && y1 <= in.Bottom;
    }
    const Single2dArray& cover = ap.FrameCover;
    return cover.Get(x0, y0) > 0 && cover.Get(x1, y0) > 0 && cover.Get(x0, y1) > 0 && cover.Get(x1, y1) > 0;
}

// The rectangle the points read from a frame: their boxes with the search of a second look
// (twice the radius) and the interpolation taps, on the stack.
PointRegion RegionOf(const AlignmentPointState& ap, int search, int width, int height) {
    PointRegion r{width, height, -1, -1};
    const int m = PointMargin(2 * search), h = ap.Size / 2;
    for (const AlignmentPoint& p : ap.Points) {
        r.Left = std::min(r.Left, p.X - h - m);
        r.Top = std::min(r.Top, p.Y - h - m);
        r.Right = std::max(r.Right, p.X - h + ap.Size - 1 + m);
        r.Bottom = std::max(r.Bottom, p.Y - h + ap.Size - 1 + m);
    }
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, width - 1);
    r.Bottom = std::min(r.Bottom, height - 1);
    return r;
}

// Reads `frames` in order and hands each to `handle` (with its place in the list) once it sits
// at its whole shift in the frame planes (with its luminance when `luma`). False when the user
// cancelled.
bool ReadFramesInOrder(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames,
                       const std::string& what, bool luma, const std::function<void(std::size_t)>& handle) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    std::unique_ptr<AviFrameSource> avi;
    if (!ws.IsImageSeries && !frames.empty()) avi = std::make_unique<AviFrameSource>(c, AviPath(c));
    const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
    const std::size_t n = frames.size();
    for (std::size_t j = 0; j < n; ++j) {
        const std::string detail = what + " " + std::to_string(j + 1) + " of " + std::to_string(n);
        SetProgress(f, c.host, (long long)j + 1, (long long)n, detail);
        f.StackInfoLabel.Caption = detail;
        c.host.PumpMessages();
        if (ws.CancelRequested) return false;
        const int frame = frames[j];
        ws.CurrentFrame = frame;
        auto step = [&c, &st, &ap, &handle, j, luma] {
            PlaceFrameAtWholeShift(c, st, ap, luma);
            handle(j);
        };
        if (ws.IsImageSeries) {
            LoadFrame(c, ws.FileNames[std::size_t(frame)]);
            step();
        } else {
            avi->Read(frame, PassSteps{{}, step});
        }
        ws.ImageWidth = keepW;
        ws.ImageHeight = keepH;
    }
    return true;
}

void PrepareScratch(AppContext& c, AlignmentPointState& ap) {
    const Workspace& ws = c.ws;
    ap.Region = RegionOf(ap, int(c.form.APSearch.Value), ws.ImageWidth, ws.ImageHeight);
    const int w = ws.StackSum[1].Width(), h = ws.StackSum[1].Height();
    for (Single2dArray& p : ap.FramePlanes) Ensure(p, w, h);
    Ensure(ap.FrameCover, w, h);
    Ensure(ap.FrameLuma, w, h);
    for (int k = 0; k < Channels(c.form); ++k) {
        Ensure(ap.PointSums[std::size_t(k)], w, h);
        ap.PointSums[std::size_t(k)].Fill(0);
    }
    Ensure(ap.PointWeights, w, h);
    ap.PointWeights.Fill(0);
}

// The shift most points of the frame agree on (the median of the measured ones, whole pixels):
// where the frame's global shift followed a part of the object that bent, the whole object
// sits elsewhere, and points that found nothing within their search look again around it.
std::pair<int, int> FrameConsensus(const AlignmentPointState& ap, std::size_t slot, int search, std::vector<float>& xs,
                                   std::vector<float>& ys) {
    xs.clear();
    ys.clear();
    for (std::size_t i = 0; i < ap.Points.size(); ++i) {
        const PointMeasure& m = ap.Measure(slot, i);
        if (m.Quality >= 0 && !m.Failed) {
            xs.push_back(m.Dx);
            ys.push_back(m.Dy);
        }
    }
    if (xs.size() < 3) return {0, 0};
    const auto mid = std::ptrdiff_t(xs.size() / 2);
    std::nth_element(xs.begin(), xs.begin() + mid, xs.end());
    std::nth_element(ys.begin(), ys.begin() + mid, ys.end());
    // Within the search, so the second look stays inside what the frame planes hold.
    return {std::clamp(int(std::lrint(xs[std::size_t(mid)])), -search, search),
            std::clamp(int(std::lrint(ys[std::size_t(mid)])), -search, search)};
}

// Pass 1: every candidate frame at every point it covers: the local shift and quality.
bool MeasurePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames) {
    const std::size_t points = ap.Points.size();
    const int size = ap.Size, search = int(c.form.APSearch.Value);
    const int width = c.ws.ImageWidth, height = c.ws.ImageHeight;
    ap.Frames = frames;
    ap.Measures.assign(frames.size() * points, PointMeasure{0, 0, -1, 0, 0});
    MatchPlanes ref{ReferenceView(ap), {}};
    HalveLuma(ref.Full, ap.ReferenceHalf, ref.Half);
    std::vector<float> xs, ys;
    return ReadFramesInOrder(c, st, ap, frames, "Alignment points: measuring frame", true, [&](std::size_t slot) {
        MatchPlanes frame{FrameLumaView(c, ap), {}};
        HalveLuma(frame.Full, ap.FrameHalf, frame.Half, ap.Region.Left, ap.Region.Top, ap.Region.Right, ap.Region.Bottom);
        auto measure = [&](int cx, int cy, bool retry) {
            const int reach = search + std::max(std::abs(cx), std::abs(cy));
            ParallelRows(0, int(points) - 1, [&](int first, int last) {
                for (int i = first; i <= last; ++i) {
                    const AlignmentPoint& p = ap.Points[std::size_t(i)];
                    PointMeasure& m = ap.Measure(slot, std::size_t(i));
                    if (retry && !(m.Quality >= 0 && m.Failed)) continue;
                    if (!FrameCovers(ap, p, size, reach) || !PointFits(p.X, p.Y, size, reach, width, height))
                        continue;
                    const int x0 = p.X - size / 2, y0 = p.Y - size / 2;
                    const LocalMatch match = MatchPatch(ref, frame, x0, y0, size, search, cx, cy);
                    if (retry && !match.Ok) continue;
                    m.Dx = match.Dx;
                    m.Dy = match.Dy;
                    m.Failed = !match.Ok;
                    if (!retry) m.Quality = LocalQuality(frame.Full, x0, y0, size);
                }
            }, 8);
        };
        measure(0, 0, false);
        const auto [cx, cy] = FrameConsensus(ap, slot, search, xs, ys);
        if (cx != 0 || cy != 0) measure(cx, cy, true);
    });
}

// A shift that could not be measured is the mean of its neighbours' in the same frame (the
// points next to it, half a box away), else the frame's global shift.
void FillFailedShifts(AlignmentPointState& ap) {
    const std::size_t points = ap.Points.size();
    const double reach = 1.5 * ap.Size;
    ap.FailedShifts = 0;
    for (std::size_t slot = 0; slot < ap.Frames.size(); ++slot)
        for (std::size_t i = 0; i < points; ++i) {
            PointMeasure& m = ap.Measure(slot, i);
            if (m.Quality < 0 || !m.Failed) continue;
            ++ap.FailedShifts;
            double sx = 0, sy = 0;
            int n = 0;
            for (std::size_t j = 0; j < points; ++j) {
                const PointMeasure& o = ap.Measure(slot, j);
                if (j == i || o.Quality < 0 || o.Failed) continue;
                const double dx = ap.Points[j].X - ap.Points[i].X, dy = ap.Points[j].Y - ap.Points[i].Y;
                if (dx * dx + dy * dy > reach * reach) continue;
                sx += o.Dx;
                sy += o.Dy;
                ++n;
            }
            m.Dx = n ? float(sx / n) : 0.0f;
            m.Dy = n ? float(sy / n) : 0.0f;
        }
}

// Each point takes its `keep` sharpest frames.
void SelectFramesPerPoint(AlignmentPointState& ap, int keep) {
    const std::size_t points = ap.Points.size(), slots = ap.Frames.size();
    ap.KeptPerPoint.assign(points, 0);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < points; ++i) {
        order.clear();
        for (std::size_t slot = 0; slot < slots; ++slot)
            if (ap.Measure(slot, i).Quality >= 0) order.push_back(slot);
        const std::size_t k = std::min(order.size(), std::size_t(std::max(keep, 1)));
        std::partial_sort(order.begin(), order.begin() + std::ptrdiff_t(k), order.end(), [&](std::size_t a, std::size_t b) {
            const float qa = ap.Measure(a, i).Quality, qb = ap.Measure(b, i).Quality;
            return qa != qb ? qa > qb : a < b;
        });
        for (std::size_t r = 0; r < k; ++r) ap.Measure(order[r], i).Used = 1;
        ap.KeptPerPoint[i] = int(k);
    }
}

// The box of channel plane `plane` read at (x + dx, y + dy), separably with the stacker's
// sub-pixel taps, into `out` (size x size).
void SampleBox(const Single2dArray& plane, int x0, int y0, int size, float dx, float dy, std::vector<float>& scratch,
               float* out) {
    const int wholeX = int(std::floor(dx)), wholeY = int(std::floor(dy));
    const SubPixelTaps tx = SubPixelTaps::For(double(dx) - wholeX), ty = SubPixelTaps::For(double(dy) - wholeY);
    const int rows = size + ty.Count - 1;
    scratch.resize(std::size_t(rows) * std::size_t(size));
    for (int r = 0; r < rows; ++r) {
        const float* src = plane.Row(y0 + wholeY + ty.First + r) + (x0 + wholeX + tx.First);
        float* dst = scratch.data() + std::size_t(r) * std::size_t(size);
        for (int i = 0; i < size; ++i) {
            float v = 0;
            for (int k = 0; k < tx.Count; ++k) v += tx.Weight[std::size_t(k)] * src[i + k];
            dst[i] = v;
        }
    }
    for (int j = 0; j < size; ++j) {
        float* dst = out + std::size_t(j) * std::size_t(size);
        std::fill_n(dst, size, 0.0f);
        for (int k = 0; k < ty.Count; ++k) {
            const float w = ty.Weight[std::size_t(k)];
            const float* src = scratch.data() + std::size_t(j + k) * std::size_t(size);
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
    return ReadFramesInOrder(c, st, ap, frames, "Alignment points: stacking frame", false, [&](std::size_t j) {
        const std::size_t slot = slots[j];
        chosen.clear();
        for (std::size_t i = 0; i < points; ++i)
            if (ap.Measure(slot, i).Used) chosen.push_back(i);
        ap.Patches.resize(chosen.size() * std::size_t(channels) * boxLen);
        // The boxes of this frame, each on its own (in parallel)...
        ParallelRows(0, int(chosen.size()) - 1, [&](int first, int last) {
            std::vector<float> scratch;
            for (int n = first; n <= last; ++n) {
                const std::size_t i = chosen[std::size_t(n)];
                const AlignmentPoint& p = ap.Points[i];
                const PointMeasure& m = ap.Measure(slot, i);
                for (int k = 0; k < channels; ++k)
                    SampleBox(ap.FramePlanes[PlaneOf(c.form, k)], p.X - size / 2, p.Y - size / 2, size, m.Dx, m.Dy, scratch,
                              ap.Patches.data() + (std::size_t(n) * std::size_t(channels) + std::size_t(k)) * boxLen);
            }
        }, 4);
        // ...then added by bands of rows, every pixel taking the boxes in the same order.
        const int height = ap.PointWeights.Height();
        ParallelRows(0, height - 1, [&](int top, int bottom) {
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

}  // namespace

AlignmentPointSettings PointSettingsFrom(const Controls& f) {
    AlignmentPointSettings s;
    s.Size = int(std::lrint(f.APSize.Value)) / 2 * 2;
    s.MinBrightness = f.APMinBrightness.Value * 0.01;
    s.MinStructure = f.APMinStructure.Value * 0.01;
    s.Search = std::max(1, int(std::lrint(f.APSearch.Value)));
    return s;
}

std::string PointsRefusal(const AppContext& c) {
    const Controls& f = c.form;
    if (f.Drizzling.Checked || f.Drizzle2.Checked) return "alignment points do not work with drizzle";
    if (f.Resampled.Checked) return "alignment points do not work with a resampled stack";
    if (f.Expandstack.Checked) return "alignment points do not work with \"Expand image\"";
    if (f.Interlaced.Checked) return "alignment points do not work with de-interlacing";
    if (c.ws.IsImageSeries && c.ws.IsFits && f.ColourStack.Checked && !c.ws.FrameIsWide)
        return "alignment points do not work with colour FITS channel files";
    return {};
}

int FramesPerPoint(const Controls& f, int candidates, int globalCount) {
    const int value = int(std::lrint(f.APKeep.Value));
    int keep = globalCount;
    if (value > 0) keep = f.APKeepPercent.Checked ? int(std::lrint(std::min(value, 100) * 0.01 * candidates)) : value;
    return std::clamp(keep, 1, std::max(candidates, 1));
}

void MakeReferenceLuma(AppContext& c, AlignmentPointState& ap) {
    const Workspace& ws = c.ws;
    Ensure(ap.ReferenceLuma, ws.StackSum[1].Width(), ws.StackSum[1].Height());
    LumaOf(c, ws.StackSum, ap.ReferenceLuma, WholePlane(ap.ReferenceLuma));
}

LumaView ReferenceView(const AlignmentPointState& ap) { return ViewOf(ap.ReferenceLuma); }

void PlacePointsAutomatically(AppContext& c, AlignmentPointState& ap) {
    const AlignmentPointSettings settings = PointSettingsFrom(c.form);
    // Only the stack's own area: its planes are larger than the stack.
    LumaView ref = ReferenceView(ap);
    ref.Width = std::min(ref.Width, c.ws.ImageWidth);
    ref.Height = std::min(ref.Height, c.ws.ImageHeight);
    ap.Size = settings.Size > 0 ? std::max(8, settings.Size) : AutomaticPointSize(ref, settings.MinBrightness);
    ap.Points = PlaceAlignmentPoints(ref, ap.Size, settings);
    ap.PlacedByUser = false;
}

bool StackAlignmentPoints(AppContext& c, StackerState& st, AlignmentPointState& ap, int globalCount) {
    ap.LastStackUsedPoints = false;
    ap.FailedShifts = 0;
    MakeReferenceLuma(c, ap);
    if (!ap.PlacedByUser || ap.Points.empty()) PlacePointsAutomatically(c, ap);
    // Boxes need an even side to sit half a box apart (a project may hold any number).
    ap.Size = std::clamp(ap.Size / 2 * 2, 8, 512);
    if (ap.Points.empty()) {
        c.host.Message(MsgKind::Warning,
                       "No alignment points: no part of the stack is bright and detailed enough. The global stack is kept.",
                       Buttons::Ok);
        return false;
    }
    const std::vector<int> ranked = RankedCandidates(c);
    const int keep = FramesPerPoint(c.form, int(ranked.size()), globalCount);
    const std::vector<int> frames = MeasuredFrames(ranked, keep);
    PrepareScratch(c, ap);
    const bool wasActive = c.ws.StackPassActive;
    c.ws.StackPassActive = true;
    bool done = MeasurePoints(c, st, ap, frames);
    if (done) {
        FillFailedShifts(ap);
        SelectFramesPerPoint(ap, keep);
        done = AccumulatePoints(c, st, ap);
    }
    c.ws.StackPassActive = wasActive;
    if (!done) return false;
    BlendPointsIntoStack(c, ap);
    ap.LastStackUsedPoints = true;
    return true;
}

std::string AlignmentPointCsv(const AppContext& c, const AlignmentPointState& ap) {
    std::string out = "frame,x,y,dx,dy,quality,used,failed\n";
    char line[160];
    for (std::size_t slot = 0; slot < ap.Frames.size(); ++slot) {
        const int frame = ap.Frames[slot];
        const FrameShift g = GlobalShift(c.ws.Frames[std::size_t(frame)]);
        const double wx = std::lrint(g.X), wy = std::lrint(g.Y);
        for (std::size_t i = 0; i < ap.Points.size(); ++i) {
            const PointMeasure& m = ap.Measure(slot, i);
            if (m.Quality < 0) continue;
            std::snprintf(line, sizeof line, "%d,%d,%d,%.3f,%.3f,%.6g,%d,%d\n", frame, ap.Points[i].X, ap.Points[i].Y,
                          wx + m.Dx - g.X, wy + m.Dy - g.Y, double(m.Quality), int(m.Used), int(m.Failed));
            out += line;
        }
    }
    return out;
}

}  // namespace talvenor
