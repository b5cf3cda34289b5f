// Frames for the alignment points: each read in file order and placed at its whole global shift
// on the stack's grid, over the rectangle the points need.
#include <algorithm>
#include <cmath>
#include <memory>

#include "input/avi_frames.h"
#include "input/dark_flat.h"
#include "input/frame_loader.h"
#include "stacking/alignment_point_passes.h"
#include "workspace/bgr_bytes.h"
#include "workspace/parallel_rows.h"
#include "workspace/progress_window.h"

namespace talvenor {

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

bool Ensure(Single2dArray& p, int w, int h) {
    if (p.Allocated() && p.Width() == w && p.Height() == h) return false;
    p.Create(w, h);
    return true;
}

// The frame's global shift, to the fraction when the alignment measured one.
FrameShift GlobalShift(const FrameRecord& r) { return ShiftOf(r.ShiftX, r.ShiftY, r.SubShiftX, r.SubShiftY, true); }

namespace {

// Whether the frame in hand is an 8-bit picture added as it is (no 16-bit samples, FITS plane
// or calibration): the common case, placed by a plain copy of the rows the points need.
bool PlainFrame(const AppContext& c) {
    const Workspace& ws = c.ws;
    const DarkFlat calibration = DarkFlat::From(c);
    return !ws.FrameIsWide && !(ws.IsImageSeries && ws.IsFits) && !calibration.UseDark && !calibration.UseFlat;
}

// The 8-bit `frame` at whole shift (dx, dy) over rows top..bottom of the points' rectangle, as the
// stacker adds it, into `planes`: red, green and blue, or the grey mix; 0 where the frame does
// not reach. What it covers is the rectangle `in` (`PlainCoverOf`), so no cover plane is written.
void CopyPlainFrame(const AppContext& c, const Bitmap24& frame, const PointRegion& r, const PointRegion& in, int dx,
                    int dy, std::array<Single2dArray, 4>& planes, int top, int bottom) {
    const Workspace& ws = c.ws;
    const bool colour = c.form.ColourStack.Checked;
    const std::array<float, 3>& lw = ws.LrgbWeight;
    const int xa = std::max(r.Left, in.Left), xb = std::min(r.Right, in.Right);
    for (int y = top; y <= bottom; ++y) {
        float* out[3] = {colour ? planes[0].Row(y) : nullptr, planes[1].Row(y), colour ? planes[2].Row(y) : nullptr};
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
        const int n = xb - xa + 1;
        if (colour && frame.HoldsGrey()) {
            // A monochrome capture stacked in colour: its grey bytes in all three planes.
            const uint8_t* grey = frame.GreyRow(y + dy) + (xa + dx);
            for (int k = 0; k < 3; ++k) BytesToFloats(grey, out[k] + xa, n);
        } else if (colour) {
            const uint8_t* src = frame.Row(y + dy) + 3 * std::ptrdiff_t(xa + dx);
            float *red = out[0] + xa, *g = out[1] + xa, *b = out[2] + xa;
            alignas(32) uint8_t blue8[kBgrRun], green8[kBgrRun], red8[kBgrRun];
            for (int x = 0; x < n; x += kBgrRun) {
                const int m = std::min(kBgrRun, n - x);
                SplitBgr(src + 3 * x, m, blue8, green8, red8);
                BytesToFloats(blue8, b + x, m);
                BytesToFloats(green8, g + x, m);
                BytesToFloats(red8, red + x, m);
            }
        } else {
            WeighPictureRow(frame, y + dy, xa + dx, n, lw[0], lw[1], lw[2], true, out[1] + xa);
        }
    }
}

// The stack positions whose source lies in an 8-bit frame at whole shift (dx, dy): x + dx
// within the frame and the stack's source size.
PointRegion PlainCoverOf(const Workspace& ws, const Bitmap24& frame, int dx, int dy) {
    const int limitX = std::min(ws.ImageWidth, frame.Width()), limitY = std::min(ws.ImageHeight, frame.Height());
    return {std::max(0, -dx), std::max(0, -dy), limitX - 1 - dx, limitY - 1 - dy};
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

}  // namespace

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
        ap.PlainCover = PlainCoverOf(ws, ws.CurrentFrameImage, st.CurShiftX, st.CurShiftY);
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
    WorkersOf(ap).Run(r.Top, r.Bottom, [&](int top, int bottom) {
        if (plain)
            CopyPlainFrame(c, ws.CurrentFrameImage, r, ap.PlainCover, ap.PlainShiftX, ap.PlainShiftY, ap.FramePlanes, top,
                           bottom);
        if (ownLuma) LumaOf(c, ap.FramePlanes, ap.FrameLuma, {r.Left, top, r.Right, bottom});
    }, 32);
}

RowWorkers& WorkersOf(AlignmentPointState& ap) {
    if (!ap.Workers) ap.Workers = std::make_unique<RowWorkers>();
    return *ap.Workers;
}

// The luminance the points match: the grey plane itself, or the luminance of the colour planes.
LumaView FrameLumaView(const AppContext& c, const AlignmentPointState& ap) {
    return ViewOf(c.form.ColourStack.Checked ? ap.FrameLuma : ap.FramePlanes[1]);
}

// Whether the frame covers the box with its search margin (the whole shift moves part of the
// frame off the stack near its edges), within the rectangle the frame planes hold.
bool FrameCovers(const AlignmentPointState& ap, const AlignmentPoint& p, int size, int search) {
    if (ap.FrameIsPlain) return FrameCoversPlain(ap.Region, ap.PlainCover, p, size, search);
    const int m = PointMargin(search), h = size / 2;
    const int x0 = p.X - h - m, y0 = p.Y - h - m, x1 = p.X - h + size - 1 + m, y1 = p.Y - h + size - 1 + m;
    const PointRegion& r = ap.Region;
    if (x0 < r.Left || y0 < r.Top || x1 > r.Right || y1 > r.Bottom) return false;
    const Single2dArray& cover = ap.FrameCover;
    return cover.Get(x0, y0) > 0 && cover.Get(x1, y0) > 0 && cover.Get(x0, y1) > 0 && cover.Get(x1, y1) > 0;
}

bool VisitFramesInOrder(AppContext& c, const std::vector<int>& frames, const std::string& title, const std::string& what,
                        const std::function<void(std::size_t)>& visit, const std::function<FrameRows(int64_t)>& band,
                        const std::function<void()>& done) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    std::unique_ptr<AviFrameSource> avi;
    if (!ws.IsImageSeries && !frames.empty()) {
        avi = std::make_unique<AviFrameSource>(c, AviPath(c));
        avi->WillRead(frames);
        if (band) avi->ReadRowsOnly(band);
    }
    const auto finish = [&done](bool visited) {
        if (done) done();
        return visited;
    };
    const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
    const std::size_t n = frames.size();
    // Each reading of the frames is a round of its own, with its own rate.
    ShowProgress(f, c.host, title);
    for (std::size_t j = 0; j < n; ++j) {
        const std::string detail = what + " " + std::to_string(j + 1) + " of " + std::to_string(n);
        SetProgress(f, c.host, (long long)j + 1, (long long)n, detail);
        f.StackInfoLabel.Caption = detail;
        c.host.PumpMessages();
        if (ws.CancelRequested) return finish(false);
        const int frame = frames[j];
        ws.CurrentFrame = frame;
        auto step = [&visit, j] { visit(j); };
        if (ws.IsImageSeries) {
            LoadFrame(c, ws.FileNames[std::size_t(frame)]);
            step();
        } else {
            // The next frames are decoded while this one is measured or added.
            avi->Read(frame, PassSteps{{}, step}, j + 1 < n ? frames[j + 1] : -1);
        }
        ws.ImageWidth = keepW;
        ws.ImageHeight = keepH;
    }
    return finish(true);
}

FrameRows LaneRows(const AppContext& c, const AlignmentPointState& ap, int64_t frame) {
    const int dy = int(std::lrint(GlobalShift(c.ws.Frames[std::size_t(std::clamp<int64_t>(frame, 0, kMaxFrameIndex))]).Y));
    return {ap.Region.Top + dy, ap.Region.Bottom + dy};
}

// Reads `frames` in order and hands each to `handle` (with its place in the list) once it sits
// at its whole shift in the frame planes (with its luminance when `luma`). False when the user
// cancelled.
bool ReadFramesInOrder(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames,
                       const std::string& title, const std::string& what, bool luma,
                       const std::function<void(std::size_t)>& handle) {
    return VisitFramesInOrder(c, frames, title, what, [&](std::size_t j) {
        PlaceFrameAtWholeShift(c, st, ap, luma);
        handle(j);
    });
}

bool PlainRun(const AppContext& c) { return PlainFrame(c); }

void PlaceLaneLuma(const AppContext& c, const AlignmentPointState& ap, PointLane& lane, int frame) {
    const Workspace& ws = c.ws;
    const FrameShift shift = GlobalShift(ws.Frames[std::size_t(frame)]);
    const int dx = int(std::lrint(shift.X)), dy = int(std::lrint(shift.Y));
    const Bitmap24& picture = lane.Picture;
    lane.Cover = PlainCoverOf(ws, picture, dx, dy);
    Ensure(lane.Luma, ws.StackSum[1].Width(), ws.StackSum[1].Height());
    const PointRegion& r = ap.Region;
    const PointRegion& in = lane.Cover;
    const bool colour = c.form.ColourStack.Checked;
    // The weights and the order of the products are the placed planes' and their luminance's
    // (CopyPlainFrame, LumaOf), so the values are the same to the bit.
    const std::array<float, 3>& lw = colour ? ws.LumaWeight : ws.LrgbWeight;
    const int xa = std::max(r.Left, in.Left), xb = std::min(r.Right, in.Right);
    for (int y = r.Top; y <= r.Bottom; ++y) {
        float* out = lane.Luma.Row(y);
        std::fill(out + r.Left, out + r.Right + 1, 0.0f);
        if (y < in.Top || y > in.Bottom || xa > xb) continue;
        // Colour: red, green, blue (LumaOf's order); grey: the grey mix's, green first.
        WeighPictureRow(picture, y + dy, xa + dx, xb - xa + 1, lw[0], lw[1], lw[2], !colour, out + xa);
    }
}

void PlaceLanePlanes(const AppContext& c, const AlignmentPointState& ap, PointLane& lane, int frame) {
    const Workspace& ws = c.ws;
    const FrameShift shift = GlobalShift(ws.Frames[std::size_t(frame)]);
    const int dx = int(std::lrint(shift.X)), dy = int(std::lrint(shift.Y));
    lane.Cover = PlainCoverOf(ws, lane.Picture, dx, dy);
    const int w = ws.StackSum[1].Width(), h = ws.StackSum[1].Height();
    for (int k = 0; k < Channels(c.form); ++k) Ensure(lane.Planes[PlaneOf(c.form, k)], w, h);
    CopyPlainFrame(c, lane.Picture, ap.Region, lane.Cover, dx, dy, lane.Planes, ap.Region.Top, ap.Region.Bottom);
}

bool FrameCoversPlain(const PointRegion& region, const PointRegion& cover, const AlignmentPoint& p, int size, int search) {
    const int m = PointMargin(search), h = size / 2;
    const int x0 = p.X - h - m, y0 = p.Y - h - m, x1 = p.X - h + size - 1 + m, y1 = p.Y - h + size - 1 + m;
    if (x0 < region.Left || y0 < region.Top || x1 > region.Right || y1 > region.Bottom) return false;
    return x0 >= cover.Left && y0 >= cover.Top && x1 <= cover.Right && y1 <= cover.Bottom;
}

void PrepareScratch(AppContext& c, AlignmentPointState& ap) {
    const Workspace& ws = c.ws;
    ap.Region = RegionOf(ap, int(c.form.APSearch.Value), ws.ImageWidth, ws.ImageHeight);
    const int w = ws.StackSum[1].Width(), h = ws.StackSum[1].Height();
    for (Single2dArray& p : ap.FramePlanes) Ensure(p, w, h);
    Ensure(ap.FrameCover, w, h);
    Ensure(ap.FrameLuma, w, h);
    // A plane just made reads as zeros already; one kept from the last stack is cleared.
    for (int k = 0; k < Channels(c.form); ++k)
        if (!Ensure(ap.PointSums[std::size_t(k)], w, h)) ap.PointSums[std::size_t(k)].Fill(0);
    if (!Ensure(ap.PointWeights, w, h)) ap.PointWeights.Fill(0);
}

}  // namespace talvenor
