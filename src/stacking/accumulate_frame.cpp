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

// Everything AccumulateFrame works out before its pixel loops.
struct Placement {
    int dx = 0, dy = 0;      // whole offset: destination x reads source x + dx
    int W = 0, H = 0;        // source bounds of the loops
    int tx = 0, ty = 0;      // window origin of a large resampled stack
    FrameShift residual;     // sub-pixel stacking: the offset still to apply when reading
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

}  // namespace

void AccumulateFrame(AppContext& c, StackerState& st) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    const bool colour = f.ColourStack.Checked;
    const bool drizzle = f.Drizzling.Checked;
    const bool resample = f.Resampled.Checked && !drizzle;
    const bool subPixel = f.SubPixelStack.Checked && !drizzle;
    // Frames with full-precision samples add those (`tiff`: 16-bit TIFF and SER frames and
    // demosaiced FITS, from FrameWide); other FITS frames add their plane.
    const bool tiff = ws.FrameIsWide && ws.FrameWide.HasWide &&
                      ws.FrameWide.Width() >= ws.CurrentFrameImage.Width() &&
                      ws.FrameWide.Height() >= ws.CurrentFrameImage.Height();
    const bool fits = ws.IsImageSeries && ws.IsFits && !tiff;
    const DarkFlat calibration = DarkFlat::From(c);

    FrameSource source{&ws.CurrentFrameImage, nullptr, 0, ws.CurrentFrameImage.Width(), ws.CurrentFrameImage.Height()};
    if (fits) {
        source.fits = ws.FitsPlane.Data();
        source.fitsStride = std::size_t(ws.FitsPlane.Stride());
        // The plane holds the frame's samples; a picture larger than it must not be read past it.
        source.width = std::min(source.width, ws.FitsPlane.Width());
        source.height = std::min(source.height, ws.FitsPlane.Height());
    }
    int& frameW = source.width;
    int& frameH = source.height;
    Placement at;
    at.dx = HeldShift(st.CurShiftX);
    at.dy = HeldShift(st.CurShiftY);
    at.W = ws.ImageWidth;
    at.H = ws.ImageHeight;
    const FrameShift shift = ShiftOf(at.dx, at.dy, HeldSubShift(st.CurSubShiftX, at.dx), HeldSubShift(st.CurSubShiftY, at.dy),
                                     f.SubPixelStack.Checked || (drizzle && f.SubPixelEstimate.Checked));
    at.residual = {shift.X - at.dx, shift.Y - at.dy};
    int& dx = at.dx;
    int& dy = at.dy;
    int& W = at.W;
    int& H = at.H;

    std::vector<DrizzleCell> cells;
    if (drizzle) {
        const DrizzleDrop drop = DropOf(shift, f.Resampled.Checked ? double(ws.ResampleFactor) : 1.0);
        dx = drop.Dx;
        dy = drop.Dy;
        cells = DrizzleWeights(drop.Fx, drop.Fy, float(f.Pixfrac.Value) / 100.0f);
        // The source of a drizzled stack is the frame itself.
        W = std::min(ws.SourceWidth, frameW);
        H = std::min(ws.SourceHeight, frameH);
    } else if (resample) {
        if (!fits && !tiff) ApplyDarkFlatToImage(c);
        const float factor = ws.ResampleFactor;
        W = Round(ws.SourceWidth * factor) - 1;
        H = Round(ws.SourceHeight * factor) - 1;
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
        // The part of the frame this window shows, resampled to the window's size.
        const int left = Round((at.tx + dx) / factor), top = Round((at.ty + dy) / factor);
        const int pw = std::max(1, Round(W / factor)), ph = std::max(1, Round(H / factor));
        const ResampleFilter& filter = FilterForListIndex(f.ResampleCombo.ItemIndex);
        if (fits) {
            ResampleFitsWindow(ws.FitsPlane, frameW, frameH, left, top, pw, ph, W, H, filter, st);
            source.fits = st.FitsResampled.data();
            source.fitsStride = std::size_t(W);
        } else {
            const Bitmap24* frame = source.picture;
            Bitmap24& part = f.Image4.Image;
            part.SetSize(pw, ph);
            for (int y = 0; y < ph; ++y) {
                const int sy = top + y;
                if (sy < 0 || sy >= frameH) continue;
                for (int x = 0; x < pw; ++x) {
                    const int sx = left + x;
                    if (sx >= 0 && sx < frameW) part.SetPixel(x, y, frame->Pixel(sx, sy));
                }
            }
            Bitmap24& big = f.Image5.Image;
            if (big.Width() != W || big.Height() != H) big.SetSize(W, H);
            Stretch(part, big, filter.function, filter.support);
            source.picture = &big;
        }
        frameW = W;
        frameH = H;
        // The resampled window already sits at the frame's whole offset. Window pixel i shows
        // frame position left + i / scale, where the frame's own shift asks for (tx + shift) / f:
        // what remains is read at a sub-pixel offset.
        at.residual = {StretchScale(pw, W) * ((at.tx + shift.X) / factor - left),
                       StretchScale(ph, H) * ((at.ty + shift.Y) / factor - top)};
        dx = dy = 0;
    }

    const int ox = st.ExpandOffsetX, oy = st.ExpandOffsetY;
    Single2dArray& coverage = ws.ExtraPlane;
    std::array<Single2dArray*, 3> sums{&ws.StackSum[0], &ws.StackSum[1], &ws.StackSum[2]};
    const std::array<float, 3>& lw = ws.LrgbWeight;
    const int planeW = coverage.Width(), planeH = coverage.Height();
    const float weight = st.FrameWeight;
    const Bitmap24* frame = source.picture;

    if (subPixel) {
        // The source positions a destination may read: as for whole pixels, the frame within
        // the stack's source size (Expand image leaves out the outermost rows and columns).
        int loX = 0, loY = 0, hiX = std::min(W, frameW) - 1, hiY = std::min(H, frameH) - 1;
        if (f.Expandstack.Checked && !resample) {
            loX = loY = 1;
            hiX = std::min(W - 2, frameW - 1);
            hiY = std::min(H - 2, frameH - 1);
        }
        const bool sourceIsBytes = !fits && !(tiff && !resample);
        const int channels = fits || !colour ? 1 : 3;
        SubPixelSampler::RowSource rowSource = [&](int sy, float* const* out) {
            if (fits) {
                const float* p = source.fits + std::size_t(sy) * source.fitsStride;
                std::copy_n(p, frameW, out[0]);
                return;
            }
            const uint8_t* row = frame->Row(sy);
            if (sourceIsBytes && (resample || (!calibration.UseDark && !calibration.UseFlat))) {
                // The common case in plain loops the compiler can vectorise.
                if (colour) SplitBgrRow(row, frameW, out[0], out[1], out[2]);
                else WeighBgrRow(row, frameW, lw[0], lw[1], lw[2], true, out[0]);
                return;
            }
            for (int sx = 0; sx < frameW; ++sx) {
                float rgb[3];
                SourceRgb(ws, row, sx, sy, !sourceIsBytes, rgb);
                if (colour) {
                    for (int ch = 0; ch < 3; ++ch)
                        out[ch][sx] = resample ? rgb[ch] : calibration.Apply(rgb[ch], ch, sx, sy);
                } else {
                    const float v = rgb[1] * lw[1] + rgb[0] * lw[0] + rgb[2] * lw[2];
                    out[0][sx] = resample ? v : calibration.Apply(v, 1, sx, sy);
                }
            }
        };
        SubPixelSampler& sampler = st.Sampler;
        sampler.Begin(channels, frameW, frameH, dx + at.residual.X, dy + at.residual.Y, loX, hiX, loY, hiY,
                      rowSource);
        // Destinations as for whole pixels: within the stack (Expand image: within its canvas).
        int xa = std::max(sampler.FirstColumn(), -ox), xb = std::min(sampler.LastColumn(), planeW - 1 - ox);
        int ya = sampler.FirstRow(), yb = sampler.LastRow();
        if (!(f.Expandstack.Checked && !resample)) {
            xa = std::max(xa, 0);
            xb = std::min(xb, std::min(frameW - 1, W));
            ya = std::max(ya, 0);
            yb = std::min(yb, std::min(frameH - 1, H));
        }
        const int skip = xa - sampler.FirstColumn();
        for (int y = ya; y <= yb; ++y) {
            const int py = y + oy;
            if (py < 0 || py >= planeH || xa > xb) continue;
            if (!fits && !tiff && !RowTakesPart(c, sampler.NearestSourceRow(y))) continue;
            sampler.ReadRow(y);
            float* cover = coverage.Row(py) + (xa + ox);
            const int count = xb - xa + 1;
            for (int i = 0; i < count; ++i) cover[i] += 1;
            if (fits) {
                const float* v = sampler.Row(0) + skip;
                float* target = (colour ? FitsTarget(ws) : *sums[1]).Row(py) + (xa + ox);
                for (int i = 0; i < count; ++i) target[i] += v[i];
            } else if (colour) {
                for (int ch = 0; ch < 3; ++ch) {
                    const float* v = sampler.Row(ch) + skip;
                    float* target = sums[std::size_t(ch)]->Row(py) + (xa + ox);
                    for (int i = 0; i < count; ++i) target[i] += v[i];
                }
            } else {
                const float* v = sampler.Row(0) + skip;
                float* target = sums[1]->Row(py) + (xa + ox);
                for (int i = 0; i < count; ++i) target[i] += v[i] * weight;
            }
        }
        if (fits && ws.FitsChannel == 3) {
            f.Lumichannel.Checked = true;
            f.RedLRGBslider.Enabled = f.GreenLRGBSlider.Enabled = f.BlueLRGBSlider.Enabled = false;
        }
        return;
    }

    int y0, y1, x0, x1;
    if (f.Expandstack.Checked && !resample && !drizzle) {
        y0 = 1 - dy;
        y1 = H - dy - 2;
        x0 = 1 - dx;
        x1 = W - dx - 2;
    } else {
        y0 = std::max(0, -dy);
        y1 = std::min(frameH - 1, H) - std::max(dy, 0);
        x0 = std::max(0, -dx);
        x1 = std::min(frameW - 1, W) - std::max(dx, 0);
    }

    // Adds v to plane `target` at destination (x, y), spread over the drizzle cells.
    auto add = [&](Single2dArray& target, int x, int y, float v, bool countCoverage) {
        if (!drizzle) {
            const int px = x + ox, py = y + oy;
            if (px < 0 || py < 0 || px >= planeW || py >= planeH) return;
            target.At(px, py) += v;
            if (countCoverage) coverage.At(px, py) += 1;
            return;
        }
        for (const DrizzleCell& cell : cells) {
            const int px = 2 * x + cell.I + ox, py = 2 * y + cell.K + oy;
            if (px < 0 || py < 0 || px >= planeW || py >= planeH) continue;
            target.At(px, py) += v * cell.Weight;
            if (countCoverage) coverage.At(px, py) += cell.Weight;
        }
    };

    // The common case (8-bit frames, no drizzle, no calibration) in tight row loops: the
    // ranges are clipped once per row instead of testing every pixel.
    if (!drizzle && !fits && !tiff && !calibration.UseDark && !calibration.UseFlat) {
        const int xa = std::max({x0, -dx, -ox}), xb = std::min({x1, W - 1 - dx, frameW - 1 - dx, planeW - 1 - ox});
        for (int y = y0; y <= y1; ++y) {
            const int sy = y + dy;
            if (sy < 0 || sy >= H || sy >= frameH || y + oy < 0 || y + oy >= planeH || xa > xb) continue;
            if (!RowTakesPart(c, sy)) continue;
            const uint8_t* src = frame->Row(sy) + 3 * std::ptrdiff_t(xa + dx);
            float* cover = coverage.Row(y + oy) + (xa + ox);
            const int count = xb - xa + 1;
            for (int i = 0; i < count; ++i) cover[i] += 1;
            if (colour)
                AddBgrRow(src, count, sums[0]->Row(y + oy) + (xa + ox), sums[1]->Row(y + oy) + (xa + ox),
                          sums[2]->Row(y + oy) + (xa + ox));
            else
                AddGreyMixRow(src, count, lw[0] * weight, lw[1] * weight, lw[2] * weight, sums[1]->Row(y + oy) + (xa + ox));
        }
        return;
    }

    for (int y = y0; y <= y1; ++y) {
        const int sy = y + dy;
        if (sy < 0 || sy >= H || sy >= frameH) continue;
        if (!fits && !tiff && !RowTakesPart(c, sy)) continue;
        const uint8_t* row = fits ? nullptr : frame->Row(sy);
        for (int x = x0; x <= x1; ++x) {
            const int sx = x + dx;
            if (sx < 0 || sx >= W || sx >= frameW) continue;
            if (fits) {
                add(colour ? FitsTarget(ws) : *sums[1], x, y, source.Fits(sx, sy), true);
                continue;
            }
            float rgb[3];
            SourceRgb(ws, row, sx, sy, tiff && !resample, rgb);
            if (colour) {
                for (int ch = 0; ch < 3; ++ch) {
                    float v = rgb[ch];
                    if (!resample) v = calibration.Apply(v, ch, sx, sy);
                    add(*sums[std::size_t(ch)], x, y, v, ch == 0);
                }
            } else {
                float v = rgb[1] * lw[1] + rgb[0] * lw[0] + rgb[2] * lw[2];
                if (!resample) v = calibration.Apply(v, 1, sx, sy);
                add(*sums[1], x, y, v * weight, true);
            }
        }
    }
    if (fits && ws.FitsChannel == 3) {
        f.Lumichannel.Checked = true;
        f.RedLRGBslider.Enabled = f.GreenLRGBSlider.Enabled = f.BlueLRGBSlider.Enabled = false;
    }
}

}  // namespace talvenor
