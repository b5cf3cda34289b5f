// Adding one frame to the accumulation planes: shifted by whole pixels (the common case, in
// tight row loops), drizzled, resampled, or placed at its sub-pixel shift.
#include <algorithm>
#include <cmath>

#include "input/dark_flat.h"
#include "stacking/frame_shift.h"
#include "stacking/resample.h"
#include "stacking/shift_reach.h"
#include "stacking/stacker.h"
#include "stacking/subpixel_sampler.h"
#include "workspace/bgr_bytes.h"

namespace talvenor {

namespace {

int Round(double v) { return int(std::nearbyint(v)); }

// Which rows a de-interlace pass adds, by `interlaceinterpolation` (8-bit input only).
bool RowTakesPart(const AppContext& c, int sourceRow) {
    if (!c.form.Interlaced.Checked) return true;
    const int field = c.ws.FieldIndex;
    switch (c.form.interlaceinterpolation.ItemIndex) {
        case 1: return field == 0 ? sourceRow % 2 == 0 : sourceRow % 2 == 1;
        case 2: return field == 1;
        case 3: return field == 0;
        default: return true;
    }
}

// The plane a FITS frame adds to in colour stacking: its own colour, or the luminance plane.
Single2dArray& FitsTarget(Workspace& ws) { return ws.StackSum[std::size_t(std::clamp(ws.FitsChannel, 0, 3))]; }

// The scale Stretch uses between a source of `src` samples and a destination of `dst`.
double StretchScale(int src, int dst) {
    if (src <= 1 || dst <= 1) return src > 0 ? double(dst) / src : 1.0;
    return double(dst - 1) / double(src - 1);
}

// The FITS samples of the window (left, top) .. + (pw, ph) of the frame, resampled to W x H
// with the same filter and the same geometry as the 8-bit picture of a resampled stack, in
// full precision. Samples outside the frame are 0, as in the 8-bit window.
void ResampleFitsWindow(const Single2dArray& plane, int frameW, int frameH, int left, int top, int pw, int ph,
                        int W, int H, const ResampleFilter& filter, StackerState& st) {
    std::vector<float>& part = st.FitsWindow;
    part.assign(std::size_t(pw) * std::size_t(ph), 0.0f);
    for (int y = 0; y < ph; ++y) {
        const int sy = top + y;
        if (sy < 0 || sy >= frameH) continue;
        for (int x = 0; x < pw; ++x) {
            const int sx = left + x;
            if (sx >= 0 && sx < frameW) part[std::size_t(y) * std::size_t(pw) + std::size_t(x)] = plane.Get(sx, sy);
        }
    }
    const Contributors columns = MakeContributors(pw, W, filter.function, filter.support);
    const Contributors rows = MakeContributors(ph, H, filter.function, filter.support);
    std::vector<float>& across = st.FitsAcross;
    across.assign(std::size_t(W) * std::size_t(ph), 0.0f);
    for (int y = 0; y < ph; ++y) {
        const float* src = part.data() + std::size_t(y) * std::size_t(pw);
        float* dst = across.data() + std::size_t(y) * std::size_t(W);
        for (int i = 0; i < W; ++i) {
            float v = 0;
            for (int32_t k = columns.start[std::size_t(i)]; k < columns.start[std::size_t(i) + 1]; ++k)
                v += columns.weight[std::size_t(k)] * src[columns.index[std::size_t(k)]];
            dst[i] = v;
        }
    }
    std::vector<float>& out = st.FitsResampled;
    out.assign(std::size_t(W) * std::size_t(H), 0.0f);
    for (int y = 0; y < H; ++y) {
        float* dst = out.data() + std::size_t(y) * std::size_t(W);
        for (int32_t k = rows.start[std::size_t(y)]; k < rows.start[std::size_t(y) + 1]; ++k) {
            const float* src = across.data() + std::size_t(rows.index[std::size_t(k)]) * std::size_t(W);
            const float w = rows.weight[std::size_t(k)];
            for (int x = 0; x < W; ++x) dst[x] += w * src[x];
        }
    }
}

// What the pixel loops read: the 8-bit picture (the frame or its resampled window), or the
// FITS samples (the frame's plane or its resampled window), with their sizes.
struct FrameSource {
    const Bitmap24* picture = nullptr;
    const float* fits = nullptr;
    std::size_t fitsStride = 0;
    int width = 0, height = 0;
    float Fits(int x, int y) const { return fits[std::size_t(x) + std::size_t(y) * fitsStride]; }
};

// How this frame is added: the kind of stack, the samples it reads, its calibration.
struct AddMode {
    bool colour = false, drizzle = false, resample = false, subPixel = false;
    // Frames with full-precision samples add those (`tiff`: 16-bit TIFF and SER frames and
    // demosaiced FITS, from FrameWide); other FITS frames add their plane (`fits`).
    bool tiff = false, fits = false;
    DarkFlat calibration;
    // 8-bit frames, no drizzle, no calibration: whole rows in tight loops.
    bool PlainRows() const { return !drizzle && !fits && !tiff && !calibration.UseDark && !calibration.UseFlat; }
};

// Everything AccumulateFrame works out before its pixel loops.
struct Placement {
    int dx = 0, dy = 0;      // whole offset: destination x reads source x + dx
    int W = 0, H = 0;        // source bounds of the loops
    int tx = 0, ty = 0;      // window origin of a large resampled stack
    FrameShift shift;        // the frame's shift, to the fraction where the stack uses one
    FrameShift residual;     // sub-pixel stacking: the offset still to apply when reading
    std::vector<DrizzleCell> cells;  // drizzle: where a source pixel drops, with its weights
};

// Red, green and blue of source pixel (sx, sy): the frame's 16-bit samples / 255, or the
// bytes of the 24-bit row.
inline void SourceRgb(const Workspace& ws, const uint8_t* row, int sx, int sy, bool fromTiff, float rgb[3]) {
    if (fromTiff) {
        for (int ch = 0; ch < 3; ++ch) rgb[ch] = float(ws.FrameWide.Sample(sx, sy, ch)) / 255.0f;
        return;
    }
    const uint8_t* p = row + 3 * sx;
    rgb[0] = p[2];
    rgb[1] = p[1];
    rgb[2] = p[0];
}

AddMode ModeOf(const AppContext& c) {
    const Workspace& ws = c.ws;
    const Controls& f = c.form;
    AddMode m;
    m.colour = f.ColourStack.Checked;
    m.drizzle = f.Drizzling.Checked;
    m.resample = f.Resampled.Checked && !m.drizzle;
    m.subPixel = f.SubPixelStack.Checked && !m.drizzle;
    m.tiff = ws.FrameIsWide && ws.FrameWide.HasWide && ws.FrameWide.Width() >= ws.CurrentFrameImage.Width() &&
             ws.FrameWide.Height() >= ws.CurrentFrameImage.Height();
    m.fits = ws.IsImageSeries && ws.IsFits && !m.tiff;
    m.calibration = DarkFlat::From(c);
    return m;
}

// The frame in hand, or for FITS its plane.
FrameSource SourceOf(const Workspace& ws, const AddMode& m) {
    FrameSource source{&ws.CurrentFrameImage, nullptr, 0, ws.CurrentFrameImage.Width(), ws.CurrentFrameImage.Height()};
    if (m.fits) {
        source.fits = ws.FitsPlane.Data();
        source.fitsStride = std::size_t(ws.FitsPlane.Stride());
        // The plane holds the frame's samples; a picture larger than it must not be read past it.
        source.width = std::min(source.width, ws.FitsPlane.Width());
        source.height = std::min(source.height, ws.FitsPlane.Height());
    }
    return source;
}

// The frame's shift as the stacker holds it, over the stack's size.
Placement PlaceAtShift(const AppContext& c, const StackerState& st, const AddMode& m) {
    const Controls& f = c.form;
    Placement at;
    at.dx = HeldShift(st.CurShiftX);
    at.dy = HeldShift(st.CurShiftY);
    at.W = c.ws.ImageWidth;
    at.H = c.ws.ImageHeight;
    at.shift = ShiftOf(at.dx, at.dy, HeldSubShift(st.CurSubShiftX, at.dx), HeldSubShift(st.CurSubShiftY, at.dy),
                       f.SubPixelStack.Checked || (m.drizzle && f.SubPixelEstimate.Checked));
    at.residual = {at.shift.X - at.dx, at.shift.Y - at.dy};
    return at;
}

// Drizzle: the frame drops on the doubled grid at its shift, its source being the frame itself.
void PlaceDrizzleDrop(const AppContext& c, const FrameSource& source, Placement& at) {
    const Workspace& ws = c.ws;
    const DrizzleDrop drop = DropOf(at.shift, c.form.Resampled.Checked ? double(ws.ResampleFactor) : 1.0);
    at.dx = drop.Dx;
    at.dy = drop.Dy;
    at.cells = DrizzleWeights(drop.Fx, drop.Fy, float(c.form.Pixfrac.Value) / 100.0f);
    at.W = std::min(ws.SourceWidth, source.width);
    at.H = std::min(ws.SourceHeight, source.height);
}

// A resampled stack reads the part of the frame its window shows, resampled to the window's
// size; the source becomes that window, already at the frame's whole offset.
void ResampleWindow(AppContext& c, StackerState& st, const AddMode& m, FrameSource& source, Placement& at) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    if (!m.fits && !m.tiff) ApplyDarkFlatToImage(c);
    const float factor = ws.ResampleFactor;
    int W = Round(ws.SourceWidth * factor) - 1;
    int H = Round(ws.SourceHeight * factor) - 1;
    if (W > kMaxImageSide) {
        at.tx = std::clamp(Round(ws.StackAlignX * factor) - 2048, 0, W - kMaxImageSide);
        W = kMaxImageSide;
    }
    if (H > kMaxImageSide) {
        at.ty = std::clamp(Round(ws.StackAlignY * factor) - 2048, 0, H - kMaxImageSide);
        H = kMaxImageSide;
    }
    W = std::max(W, 1);
    H = std::max(H, 1);
    const int left = Round((at.tx + at.dx) / factor), top = Round((at.ty + at.dy) / factor);
    const int pw = std::max(1, Round(W / factor)), ph = std::max(1, Round(H / factor));
    const ResampleFilter& filter = FilterForListIndex(f.ResampleCombo.ItemIndex);
    if (m.fits) {
        ResampleFitsWindow(ws.FitsPlane, source.width, source.height, left, top, pw, ph, W, H, filter, st);
        source.fits = st.FitsResampled.data();
        source.fitsStride = std::size_t(W);
    } else {
        const Bitmap24* frame = source.picture;
        Bitmap24& part = f.Image4.Image;
        part.SetSize(pw, ph);
        for (int y = 0; y < ph; ++y) {
            const int sy = top + y;
            if (sy < 0 || sy >= source.height) continue;
            for (int x = 0; x < pw; ++x) {
                const int sx = left + x;
                if (sx >= 0 && sx < source.width) part.SetPixel(x, y, frame->Pixel(sx, sy));
            }
        }
        Bitmap24& big = f.Image5.Image;
        if (big.Width() != W || big.Height() != H) big.SetSize(W, H);
        Stretch(part, big, filter.function, filter.support);
        source.picture = &big;
    }
    source.width = W;
    source.height = H;
    // Window pixel i shows frame position left + i / scale, where the frame's own shift asks for
    // (tx + shift) / f: what remains is read at a sub-pixel offset.
    at.residual = {StretchScale(pw, W) * ((at.tx + at.shift.X) / factor - left),
                   StretchScale(ph, H) * ((at.ty + at.shift.Y) / factor - top)};
    at.W = W;
    at.H = H;
    at.dx = at.dy = 0;
}

// One source row of a sub-pixel stack as floats: each channel, or the grey mix; calibrated
// unless the source is a resampled window (calibrated before it was resampled).
SubPixelSampler::RowSource RowsForSampler(const AppContext& c, const AddMode& m, const FrameSource& source) {
    return [&c, &m, &source](int sy, float* const* out) {
        const Workspace& ws = c.ws;
        const std::array<float, 3>& lw = ws.LrgbWeight;
        const int frameW = source.width;
        if (m.fits) {
            const float* p = source.fits + std::size_t(sy) * source.fitsStride;
            std::copy_n(p, frameW, out[0]);
            return;
        }
        const bool sourceIsBytes = !(m.tiff && !m.resample);
        if (sourceIsBytes && (m.resample || (!m.calibration.UseDark && !m.calibration.UseFlat))) {
            // The common case in plain loops the compiler can vectorise.
            if (m.colour) SplitPictureRow(*source.picture, sy, 0, frameW, out[0], out[1], out[2]);
            else WeighPictureRow(*source.picture, sy, 0, frameW, lw[0], lw[1], lw[2], true, out[0]);
            return;
        }
        const uint8_t* row = source.picture->Row(sy);
        for (int sx = 0; sx < frameW; ++sx) {
            float rgb[3];
            SourceRgb(ws, row, sx, sy, !sourceIsBytes, rgb);
            if (m.colour) {
                for (int ch = 0; ch < 3; ++ch)
                    out[ch][sx] = m.resample ? rgb[ch] : m.calibration.Apply(rgb[ch], ch, sx, sy);
            } else {
                const float v = rgb[1] * lw[1] + rgb[0] * lw[0] + rgb[2] * lw[2];
                out[0][sx] = m.resample ? v : m.calibration.Apply(v, 1, sx, sy);
            }
        }
    };
}

// Sub-pixel stacking: every destination reads the frame at its fractional position.
void AddAtSubPixel(AppContext& c, StackerState& st, const AddMode& m, const FrameSource& source, const Placement& at) {
    Workspace& ws = c.ws;
    const Controls& f = c.form;
    const int frameW = source.width, frameH = source.height, W = at.W, H = at.H;
    const int ox = st.ExpandOffsetX, oy = st.ExpandOffsetY;
    Single2dArray& coverage = ws.ExtraPlane;
    const int planeW = coverage.Width(), planeH = coverage.Height();
    const bool expand = f.Expandstack.Checked && !m.resample;
    // The source positions a destination may read: as for whole pixels, the frame within the
    // stack's source size (Expand image leaves out the outermost rows and columns).
    int loX = 0, loY = 0, hiX = std::min(W, frameW) - 1, hiY = std::min(H, frameH) - 1;
    if (expand) {
        loX = loY = 1;
        hiX = std::min(W - 2, frameW - 1);
        hiY = std::min(H - 2, frameH - 1);
    }
    const int channels = m.fits || !m.colour ? 1 : 3;
    SubPixelSampler& sampler = st.Sampler;
    sampler.Begin(channels, frameW, frameH, at.dx + at.residual.X, at.dy + at.residual.Y, loX, hiX, loY, hiY,
                  RowsForSampler(c, m, source));
    // Destinations as for whole pixels: within the stack (Expand image: within its canvas).
    int xa = std::max(sampler.FirstColumn(), -ox), xb = std::min(sampler.LastColumn(), planeW - 1 - ox);
    int ya = sampler.FirstRow(), yb = sampler.LastRow();
    if (!expand) {
        xa = std::max(xa, 0);
        xb = std::min(xb, std::min(frameW - 1, W));
        ya = std::max(ya, 0);
        yb = std::min(yb, std::min(frameH - 1, H));
    }
    const int skip = xa - sampler.FirstColumn();
    for (int y = ya; y <= yb; ++y) {
        const int py = y + oy;
        if (py < 0 || py >= planeH || xa > xb) continue;
        if (!m.fits && !m.tiff && !RowTakesPart(c, sampler.NearestSourceRow(y))) continue;
        sampler.ReadRow(y);
        float* cover = coverage.Row(py) + (xa + ox);
        const int count = xb - xa + 1;
        for (int i = 0; i < count; ++i) cover[i] += 1;
        if (m.fits) {
            const float* v = sampler.Row(0) + skip;
            float* target = (m.colour ? FitsTarget(ws) : ws.StackSum[1]).Row(py) + (xa + ox);
            for (int i = 0; i < count; ++i) target[i] += v[i];
        } else if (m.colour) {
            for (int ch = 0; ch < 3; ++ch) {
                const float* v = sampler.Row(ch) + skip;
                float* target = ws.StackSum[std::size_t(ch)].Row(py) + (xa + ox);
                for (int i = 0; i < count; ++i) target[i] += v[i];
            }
        } else {
            const float* v = sampler.Row(0) + skip;
            float* target = ws.StackSum[1].Row(py) + (xa + ox);
            for (int i = 0; i < count; ++i) target[i] += v[i] * st.FrameWeight;
        }
    }
}

// The destinations a whole-pixel frame covers: x0..x1, y0..y1.
struct WholePixelRange {
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;
};

WholePixelRange RangeOf(const Controls& f, const AddMode& m, const FrameSource& source, const Placement& at) {
    if (f.Expandstack.Checked && !m.resample && !m.drizzle) return {1 - at.dx, at.W - at.dx - 2, 1 - at.dy, at.H - at.dy - 2};
    return {std::max(0, -at.dx), std::min(source.width - 1, at.W) - std::max(at.dx, 0), std::max(0, -at.dy),
            std::min(source.height - 1, at.H) - std::max(at.dy, 0)};
}

// The common case (8-bit frames, no drizzle, no calibration) in tight row loops: the ranges are
// clipped once per row instead of testing every pixel.
void AddPlainRows(AppContext& c, StackerState& st, const AddMode& m, const FrameSource& source, const Placement& at) {
    Workspace& ws = c.ws;
    const WholePixelRange r = RangeOf(c.form, m, source, at);
    const int dx = at.dx, dy = at.dy, ox = st.ExpandOffsetX, oy = st.ExpandOffsetY;
    Single2dArray& coverage = ws.ExtraPlane;
    const int planeW = coverage.Width(), planeH = coverage.Height();
    const std::array<float, 3>& lw = ws.LrgbWeight;
    const float weight = st.FrameWeight;
    const int xa = std::max({r.x0, -dx, -ox}), xb = std::min({r.x1, at.W - 1 - dx, source.width - 1 - dx, planeW - 1 - ox});
    for (int y = r.y0; y <= r.y1; ++y) {
        const int sy = y + dy;
        if (sy < 0 || sy >= at.H || sy >= source.height || y + oy < 0 || y + oy >= planeH || xa > xb) continue;
        if (!RowTakesPart(c, sy)) continue;
        float* cover = coverage.Row(y + oy) + (xa + ox);
        const int count = xb - xa + 1;
        for (int i = 0; i < count; ++i) cover[i] += 1;
        const std::size_t at0 = std::size_t(xa + ox);
        if (m.colour)
            AddPictureRow(*source.picture, sy, xa + dx, count, ws.StackSum[0].Row(y + oy) + at0,
                          ws.StackSum[1].Row(y + oy) + at0, ws.StackSum[2].Row(y + oy) + at0);
        else
            AddGreyMixPictureRow(*source.picture, sy, xa + dx, count, lw[0] * weight, lw[1] * weight, lw[2] * weight,
                                 ws.StackSum[1].Row(y + oy) + at0);
    }
}

// Every other whole-pixel case, a pixel at a time: drizzle, calibration, 16-bit samples, FITS.
void AddPixelByPixel(AppContext& c, StackerState& st, const AddMode& m, const FrameSource& source, const Placement& at) {
    Workspace& ws = c.ws;
    const WholePixelRange r = RangeOf(c.form, m, source, at);
    const int ox = st.ExpandOffsetX, oy = st.ExpandOffsetY;
    Single2dArray& coverage = ws.ExtraPlane;
    const int planeW = coverage.Width(), planeH = coverage.Height();
    const std::array<float, 3>& lw = ws.LrgbWeight;
    // Adds v to plane `target` at destination (x, y), spread over the drizzle cells.
    auto add = [&](Single2dArray& target, int x, int y, float v, bool countCoverage) {
        if (!m.drizzle) {
            const int px = x + ox, py = y + oy;
            if (px < 0 || py < 0 || px >= planeW || py >= planeH) return;
            target.At(px, py) += v;
            if (countCoverage) coverage.At(px, py) += 1;
            return;
        }
        for (const DrizzleCell& cell : at.cells) {
            const int px = 2 * x + cell.I + ox, py = 2 * y + cell.K + oy;
            if (px < 0 || py < 0 || px >= planeW || py >= planeH) continue;
            target.At(px, py) += v * cell.Weight;
            if (countCoverage) coverage.At(px, py) += cell.Weight;
        }
    };
    for (int y = r.y0; y <= r.y1; ++y) {
        const int sy = y + at.dy;
        if (sy < 0 || sy >= at.H || sy >= source.height) continue;
        if (!m.fits && !m.tiff && !RowTakesPart(c, sy)) continue;
        const uint8_t* row = m.fits ? nullptr : source.picture->Row(sy);
        for (int x = r.x0; x <= r.x1; ++x) {
            const int sx = x + at.dx;
            if (sx < 0 || sx >= at.W || sx >= source.width) continue;
            if (m.fits) {
                add(m.colour ? FitsTarget(ws) : ws.StackSum[1], x, y, source.Fits(sx, sy), true);
                continue;
            }
            float rgb[3];
            SourceRgb(ws, row, sx, sy, m.tiff && !m.resample, rgb);
            if (m.colour) {
                for (int ch = 0; ch < 3; ++ch) {
                    float v = rgb[ch];
                    if (!m.resample) v = m.calibration.Apply(v, ch, sx, sy);
                    add(ws.StackSum[std::size_t(ch)], x, y, v, ch == 0);
                }
            } else {
                float v = rgb[1] * lw[1] + rgb[0] * lw[0] + rgb[2] * lw[2];
                if (!m.resample) v = m.calibration.Apply(v, 1, sx, sy);
                add(ws.StackSum[1], x, y, v * st.FrameWeight, true);
            }
        }
    }
}

// A FITS frame of the luminance channel makes the colour stack an LRGB one.
void MarkLuminanceStack(Controls& f) {
    f.Lumichannel.Checked = true;
    f.RedLRGBslider.Enabled = f.GreenLRGBSlider.Enabled = f.BlueLRGBSlider.Enabled = false;
}

}  // namespace

void AccumulateFrame(AppContext& c, StackerState& st) {
    const AddMode mode = ModeOf(c);
    FrameSource source = SourceOf(c.ws, mode);
    Placement at = PlaceAtShift(c, st, mode);
    if (mode.drizzle) PlaceDrizzleDrop(c, source, at);
    else if (mode.resample) ResampleWindow(c, st, mode, source, at);

    if (mode.subPixel) AddAtSubPixel(c, st, mode, source, at);
    else if (mode.PlainRows()) AddPlainRows(c, st, mode, source, at);
    else AddPixelByPixel(c, st, mode, source, at);
    if (mode.fits && c.ws.FitsChannel == 3) MarkLuminanceStack(c.form);
}

}  // namespace talvenor
