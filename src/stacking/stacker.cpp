#include "stacking/stacker.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "input/avi_frames.h"
#include "input/dark_flat.h"
#include "input/deinterlace.h"
#include "input/frame_loader.h"
#include "registration/fft_engine.h"
#include "stacking/resample.h"
#include "workspace/progress_window.h"
#include "workspace/stack_buffers.h"

namespace talvenor {

namespace {

int Round(double v) { return int(std::nearbyint(v)); }
uint8_t Clamp8(double v) { return v <= 0 ? 0 : v > 254 ? 255 : uint8_t(std::nearbyint(v)); }

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

// The whole and fractional parts of a drop position, as the drizzle needs them.
struct DropPosition {
    int dx, dy;
    float fx, fy;
};

DropPosition DropOf(const AppContext& c, const StackerState& st) {
    DropPosition d{st.CurShiftX, st.CurShiftY, 0, 0};
    if (c.form.SubPixelEstimate.Checked) {
        d.dx = int(std::trunc(st.CurSubShiftX));
        d.dy = int(std::trunc(st.CurSubShiftY));
        d.fx = st.CurSubShiftX - float(d.dx);
        d.fy = st.CurSubShiftY - float(d.dy);
    }
    if (c.form.Resampled.Checked) {
        // Shifts of a resampled alignment are in resampled pixels.
        const float f = c.ws.ResampleFactor > 0 ? c.ws.ResampleFactor : 1;
        const float sx = float(d.dx) + d.fx, sy = float(d.dy) + d.fy;
        d.dx = int(std::trunc(sx / f));
        d.dy = int(std::trunc(sy / f));
        d.fx = (sx - float(d.dx) * f) / f;
        d.fy = (sy - float(d.dy) * f) / f;
    }
    return d;
}

}  // namespace

std::vector<DrizzleCell> DrizzleWeights(float fx, float fy, float p) {
    float w[4][4] = {};
    float sum = 0;
    const float corners[4][2] = {{fx, fy}, {fx + p, fy}, {fx, fy + p}, {fx + p, fy + p}};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) {
            const float left = i / 2.0f, right = (i + 1) / 2.0f, top = k / 2.0f, bottom = (k + 1) / 2.0f;
            bool inside = false;
            for (const auto& corner : corners)
                if (corner[0] >= left && corner[0] <= right && corner[1] >= top && corner[1] <= bottom) inside = true;
            if (!inside) continue;
            w[i][k] = std::max(0.0f, std::min(fx + p, right) - std::max(fx, left)) *
                      std::max(0.0f, std::min(fy + p, bottom) - std::max(fy, top));
            sum += w[i][k];
        }
    if (sum == 0) sum = 1;
    std::vector<DrizzleCell> cells;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
            if (w[i][k] > 0) cells.push_back({i, k, w[i][k] / sum});
    return cells;
}

void AccumulateFrame(AppContext& c, StackerState& st) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    const bool colour = f.ColourStack.Checked;
    const bool drizzle = f.Drizzling.Checked;
    const bool resample = f.Resampled.Checked && !drizzle;
    const bool fits = ws.IsImageSeries && ws.IsFits;
    const bool tiff = ws.IsImageSeries && ws.IsTiff && ws.StackTiff.HasWide;
    const DarkFlat calibration = DarkFlat::From(c);

    const Bitmap24* frame = &ws.CurrentFrameImage;
    int frameW = frame->Width(), frameH = frame->Height();
    int dx = st.CurShiftX, dy = st.CurShiftY;
    int W = ws.ImageWidth, H = ws.ImageHeight;
    int tx = 0, ty = 0;

    std::vector<DrizzleCell> cells;
    if (drizzle) {
        const DropPosition drop = DropOf(c, st);
        dx = drop.dx;
        dy = drop.dy;
        cells = DrizzleWeights(drop.fx, drop.fy, float(f.Pixfrac.Value) / 100.0f);
        // The source of a drizzled stack is the frame itself.
        W = std::min(ws.SourceWidth, frameW);
        H = std::min(ws.SourceHeight, frameH);
    } else if (resample) {
        if (!fits && !tiff) ApplyDarkFlatToImage(c);
        const float factor = ws.ResampleFactor;
        W = Round(ws.SourceWidth * factor) - 1;
        H = Round(ws.SourceHeight * factor) - 1;
        if (W > kMaxImageSide) {
            tx = std::clamp(Round(ws.StackAlignX * factor) - 2048, 0, W - kMaxImageSide);
            W = kMaxImageSide;
        }
        if (H > kMaxImageSide) {
            ty = std::clamp(Round(ws.StackAlignY * factor) - 2048, 0, H - kMaxImageSide);
            H = kMaxImageSide;
        }
        // The part of the frame this window shows, resampled to the window's size.
        Bitmap24& part = f.Image4.Image;
        const int left = Round((tx + dx) / factor), top = Round((ty + dy) / factor);
        const int pw = std::max(1, Round(W / factor)), ph = std::max(1, Round(H / factor));
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
        const ResampleFilter& filter = FilterForListIndex(f.ResampleCombo.ItemIndex);
        Stretch(part, big, filter.function, filter.support);
        frame = &big;
        frameW = W;
        frameH = H;
        // The resampled picture already sits at the frame's offset.
        dx = dy = 0;
    }

    const int ox = st.ExpandOffsetX, oy = st.ExpandOffsetY;
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

    Single2dArray& coverage = ws.ExtraPlane;
    std::array<Single2dArray*, 3> sums{&ws.StackSum[0], &ws.StackSum[1], &ws.StackSum[2]};
    const std::array<float, 3>& lw = ws.LrgbWeight;
    const int planeW = coverage.Width(), planeH = coverage.Height();
    const float weight = st.FrameWeight;

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
            if (colour) {
                float* r = sums[0]->Row(y + oy) + (xa + ox);
                float* g = sums[1]->Row(y + oy) + (xa + ox);
                float* b = sums[2]->Row(y + oy) + (xa + ox);
                for (int i = 0; i < count; ++i) {
                    b[i] += src[3 * i];
                    g[i] += src[3 * i + 1];
                    r[i] += src[3 * i + 2];
                    cover[i] += 1;
                }
            } else {
                float* g = sums[1]->Row(y + oy) + (xa + ox);
                const float wr = lw[0] * weight, wg = lw[1] * weight, wb = lw[2] * weight;
                for (int i = 0; i < count; ++i) {
                    g[i] += src[3 * i + 1] * wg + src[3 * i + 2] * wr + src[3 * i] * wb;
                    cover[i] += 1;
                }
            }
        }
        return;
    }

    for (int y = y0; y <= y1; ++y) {
        const int sy = y + dy;
        if (sy < 0 || sy >= H || sy >= frameH) continue;
        if (!fits && !tiff && !RowTakesPart(c, sy)) continue;
        const uint8_t* row = frame->Row(sy);
        for (int x = x0; x <= x1; ++x) {
            const int sx = x + dx;
            if (sx < 0 || sx >= W || sx >= frameW) continue;
            if (fits) {
                const float v = ws.FitsPlane.Get(sx, sy);
                if (colour) add(*sums[std::size_t(std::clamp(ws.FitsChannel, 0, 2))], x, y, v, true);
                else add(*sums[1], x, y, v, true);
                continue;
            }
            float rgb[3];
            if (tiff && !resample) {
                for (int ch = 0; ch < 3; ++ch) rgb[ch] = float(ws.StackTiff.Sample(sx, sy, ch)) / 255.0f;
            } else {
                const uint8_t* p = row + 3 * sx;
                rgb[0] = p[2];
                rgb[1] = p[1];
                rgb[2] = p[0];
            }
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

float RunningStackQuality(AppContext& c, FftEngine& fft, const AlignmentState& a) {
    Workspace& ws = c.ws;
    const int n = fft.AlignBoxSize();
    if (n == 0) return 0;
    fft.TransformRe.ClearCorner(n);
    fft.TransformIm.ClearCorner(n);
    const bool colour = c.form.ColourStack.Checked;
    const int planeW = ws.StackSum[1].Width(), planeH = ws.StackSum[1].Height();
    double sum = 0;
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
            const int px = x + a.AlignBoxX, py = y + a.AlignBoxY;
            if (px < 0 || py < 0 || px >= ws.SourceWidth || py >= ws.SourceHeight || px >= planeW || py >= planeH) continue;
            float v = ws.StackSum[1].Get(px, py);
            if (colour)
                v = ws.StackSum[0].Get(px, py) * ws.LumaWeight[0] + v * ws.LumaWeight[1] +
                    ws.StackSum[2].Get(px, py) * ws.LumaWeight[2];
            fft.TransformRe(x, y) = v;
            sum += v;
        }
    const float scale = float(1.0 / (sum / (double(n) * n) + 0.000001));
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) fft.TransformRe(x, y) *= scale;
    fft.ForwardTransform2D();
    fft.ComputeRadialSpectrum();
    // The band of the frame quality, so the stack's curve speaks the same language.
    const int qf = int(std::nearbyint(c.form.QualityFilter.Value));
    const int dx = int(std::nearbyint(c.form.QualFilterDX.Value));
    double total = 0, band = 0;
    for (int i = 0; i <= 50; ++i) {
        total += fft.RadialSpectrum[std::size_t(i)];
        if (qf < i && i < qf + dx) band += fft.RadialSpectrum[std::size_t(i)];
    }
    return float(band / (total + 0.000001));
}

std::vector<int> StackedRanks(const AppContext& c) {
    const Workspace& ws = c.ws;
    const int last = std::clamp(c.form.StackSlider.MaxValue, 0, kMaxFrameIndex);
    float largest = 0;
    for (int k = 0; k <= last; ++k) {
        const int frame = ws.Ranking[std::size_t(k)].FrameIndex;
        if (frame >= 0 && frame < kMaxFrames) largest = std::max(largest, ws.Frames[std::size_t(frame)].Difference);
    }
    const double threshold = c.form.differencecutslider.Value * double(largest) * 0.01;
    std::vector<int> ranks;
    for (int k = 0; k <= std::clamp(c.form.StackSlider.Value, 0, kMaxFrameIndex); ++k) {
        const int frame = ws.Ranking[std::size_t(k)].FrameIndex;
        if (frame < 0 || frame >= kMaxFrames) continue;
        const FrameRecord& r = ws.Frames[std::size_t(frame)];
        if (!r.Excluded && r.Difference <= threshold) ranks.push_back(k);
    }
    return ranks;
}

void StackButtonClick(AppContext& c, FftEngine& fft, const AlignmentState& a, StackerState& st,
                      const std::function<void()>& selectionChanged) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    Host& host = c.host;

    // 1.
    if (!f.Resampled.Checked) f.UseProcessed.Visible = true;
    ws.ProgStatus = 4;
    ws.LayersStale = true;
    st.ExpandOffsetX = st.ExpandOffsetY = 0;
    if (!ws.MakingCalibration) f.TabSheet4.TabVisible = f.TabSheet5.TabVisible = true;
    f.SaveButton.Enabled = true;
    ws.CancelRequested = false;
    host.SetCursor(CursorKind::Busy);
    ShowProgress(f, host, "Stacking frames");

    // 2-3. The size of the stack.
    if (f.Resampled.Checked) ws.ResampleFactor = float(f.ResampleSpin.Value);
    if (f.Expandstack.Checked) {
        ws.ImageWidth = ws.SourceWidth;
        ws.ImageHeight = ws.SourceHeight;
    }
    if (f.Drizzle2.Checked || f.Drizzling.Checked) {
        ws.ImageWidth = 2 * ws.SourceWidth - 1;
        ws.ImageHeight = 2 * ws.SourceHeight - 1;
    } else if (f.Resampled.Checked) {
        ws.ImageWidth = Round(ws.SourceWidth * ws.ResampleFactor) - 1;
        ws.ImageHeight = Round(ws.SourceHeight * ws.ResampleFactor) - 1;
    }
    ws.ImageWidth = std::clamp(ws.ImageWidth, 1, kMaxImageSide);
    ws.ImageHeight = std::clamp(ws.ImageHeight, 1, kMaxImageSide);
    f.Stackimagesize.Caption = "Image : " + std::to_string(ws.ImageWidth) + "x" + std::to_string(ws.ImageHeight);

    // 4-5. Which frames.
    const std::vector<int> ranks = StackedRanks(c);

    // 6. The canvas and fresh planes.
    int width = ws.ImageWidth, height = ws.ImageHeight;
    if (f.Expandstack.Checked && !f.Resampled.Checked && !f.Drizzling.Checked) {
        st.ExpandMinX = st.ExpandMaxX = st.ExpandMinY = st.ExpandMaxY = 0;
        for (int k : ranks) {
            const FrameRecord& r = ws.Frames[std::size_t(ws.Ranking[std::size_t(k)].FrameIndex)];
            st.ExpandMinX = std::min(st.ExpandMinX, r.ShiftX);
            st.ExpandMaxX = std::max(st.ExpandMaxX, r.ShiftX);
            st.ExpandMinY = std::min(st.ExpandMinY, r.ShiftY);
            st.ExpandMaxY = std::max(st.ExpandMaxY, r.ShiftY);
        }
        st.ExpandedWidth = std::min(ws.ImageWidth + st.ExpandMaxX - st.ExpandMinX - 1, kMaxImageSide);
        st.ExpandedHeight = std::min(ws.ImageHeight + st.ExpandMaxY - st.ExpandMinY - 1, kMaxImageSide);
        st.ExpandOffsetX = st.ExpandMaxX;
        st.ExpandOffsetY = st.ExpandMaxY;
        width = st.ExpandedWidth;
        height = st.ExpandedHeight;
        f.Stackimagesize.Caption = "Image : " + std::to_string(width) + "x" + std::to_string(height);
    }
    ws.FreeStackBuffers();
    const int stackW = width, stackH = height;
    {
        const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
        ws.ImageWidth = stackW;
        ws.ImageHeight = stackH;
        AllocateStackBuffers(ws, f, stackW, stackH);
        ws.ImageWidth = keepW;
        ws.ImageHeight = keepH;
    }
    for (auto* plane : {&ws.ExtraPlane, &ws.StackSum[0], &ws.StackSum[1], &ws.StackSum[2], &ws.StackSum[3]})
        plane->Fill(0);

    // 7-8.
    ws.StackPassActive = true;
    const int n = std::max<int>(1, int(ranks.size()));
    st.StackFrameCount = n;
    st.StackListLength = f.StackSlider.Value + 1;
    bool go = true;
    if (n == 1 && !ws.SingleFrameCase)
        go = host.Message(MsgKind::Warning, "Only one frame to stack, continue ??? ", Buttons::YesNo) == Answer::Yes;

    // 9. The frames, best first.
    if (go) {
        const PassSteps steps{{}, [&c, &st] { AccumulateFrame(c, st); }};
        // An AVI stays open for the whole loop; its frames are read in rank order.
        std::unique_ptr<AviFrameSource> avi;
        if (!ws.IsImageSeries && !ranks.empty()) avi = std::make_unique<AviFrameSource>(c, AviPath(c));
        int j = 0;
        for (int k : ranks) {
            const int frame = ws.Ranking[std::size_t(k)].FrameIndex;
            const FrameRecord& r = ws.Frames[std::size_t(frame)];
            ++j;
            if (f.StackSlider.Value > 0) SetProgress(f, host, j, n);
            f.StackInfoLabel.Caption = "Stacking " + std::to_string(j) + " of " + std::to_string(n);
            host.Repaint(&f.StackInfoLabel);
            if (!f.Interlaced.Checked) {
                st.CurShiftX = r.ShiftX;
                st.CurShiftY = r.ShiftY;
                st.CurSubShiftX = r.SubShiftX;
                st.CurSubShiftY = r.SubShiftY;
            } else if (ws.FieldIndex == 0) {
                st.CurShiftX = r.ShiftXa;
                st.CurShiftY = r.ShiftYa;
            } else {
                st.CurShiftX = r.ShiftX;
                st.CurShiftY = r.ShiftY;
            }
            st.FrameWeight = 1;
            if (f.QualStack.Checked) st.FrameWeight = (f.Interlaced.Checked && ws.FieldIndex == 0) ? r.QualityA : r.Quality;
            host.PumpMessages();
            if (ws.CancelRequested) break;
            ws.CurrentFrame = frame;
            if (ws.IsImageSeries) {
                const std::string& path = ws.FileNames[std::size_t(frame)];
                LoadFrame(c, path);
                if (!f.Interlaced.Checked) {
                    AccumulateFrame(c, st);
                } else {
                    const bool horizontal = f.InterlaceHoriz.Checked;
                    ws.FieldIndex = 0;
                    st.CurShiftX = r.ShiftXa;
                    st.CurShiftY = r.ShiftYa;
                    Deinterlace(ws.CurrentFrameImage, 0, horizontal, ws.SourceWidth, ws.SourceHeight);
                    AccumulateFrame(c, st);
                    ws.FieldIndex = 1;
                    st.CurShiftX = r.ShiftX;
                    st.CurShiftY = r.ShiftY;
                    LoadFrame(c, path);
                    Deinterlace(ws.CurrentFrameImage, 1, horizontal, ws.SourceWidth, ws.SourceHeight);
                    AccumulateFrame(c, st);
                }
            } else {
                // The AVI reader adds the frame itself while the stack pass is active; its
                // size bookkeeping must not change the stack's.
                const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
                avi->Read(frame, steps);
                ws.ImageWidth = keepW;
                ws.ImageHeight = keepH;
            }
            if (j < kMaxFrames) ws.Ranking[std::size_t(j)].StackValue = RunningStackQuality(c, fft, a);
        }
    }

    // 10.
    ws.StackPassActive = false;
    ws.ImageWidth = stackW;
    ws.ImageHeight = stackH;
    if (go && selectionChanged) selectionChanged();

    if (go) {
        // 11. Each pixel by its coverage, then the display scale.
        ws.ImageWidth = stackW;
        ws.ImageHeight = stackH;
        const bool colour = f.ColourStack.Checked;
        float largest = 0;
        for (int y = 0; y < stackH; ++y)
            for (int x = 0; x < stackW; ++x) {
                const float cover = ws.ExtraPlane.Get(x, y);
                if (cover > 0) {
                    const float inv = 1.0f / cover;
                    if (colour)
                        for (int ch = 0; ch < 4; ++ch) ws.StackSum[std::size_t(ch)].At(x, y) *= inv;
                    else
                        ws.StackSum[1].At(x, y) *= inv;
                }
                if (colour)
                    for (int ch = 0; ch < 3; ++ch) largest = std::max(largest, ws.StackSum[std::size_t(ch)].Get(x, y));
                else
                    largest = std::max(largest, ws.StackSum[1].Get(x, y));
            }
        st.StackMax = ws.MakingCalibration ? 255.0f : largest;
        st.StackMin = 0;
        // An all-black stack has no scale of its own: show it as it is.
        const float s = st.StackMax - st.StackMin > 0 ? 255.0f / (st.StackMax - st.StackMin) : 1.0f;
        Bitmap24& picture = f.Stackimage.Image;
        picture.SetSize(stackW, stackH);
        for (int y = 0; y < stackH; ++y) {
            uint8_t* out = picture.Row(y);
            for (int x = 0; x < stackW; ++x) {
                float v[3];
                for (int ch = 0; ch < 3; ++ch) v[ch] = ws.StackSum[std::size_t(colour ? ch : 1)].Get(x, y) * s;
                out[3 * x + 2] = Clamp8(v[0]);
                out[3 * x + 1] = Clamp8(v[1]);
                out[3 * x + 0] = Clamp8(v[2]);
                // The 16-bit copy keeps the full range; negative sums (a dark frame brighter than
                // the frame) stop at 0 rather than wrapping to white.
                for (int ch = 0; ch < 3; ++ch)
                    ws.StackTiff.SetSample(x, y, ch, uint16_t(std::clamp(std::nearbyint(double(v[ch]) * 255.0), 0.0, 65535.0)));
            }
        }
        picture.Touch();
        host.Repaint(&f.Stackimage);
        ws.StackReady = true;
    }

    // 12.
    host.SetCursor(CursorKind::Default);
    HideProgress(f, host);
    for (ScrollBox* view : {&f.Scrollbox3, &f.EventScrollBox1}) {
        view->HorzRange = ws.ImageWidth;
        view->VertRange = ws.ImageHeight;
    }
    double scale = 1;
    if (f.Drizzling.Checked) scale = 2;
    else if (f.Resampled.Checked) scale = ws.ResampleFactor;
    if (ws.ImageWidth > 817) f.Scrollbox3.HorzPosition = f.ScrollBox2.HorzPosition = Round(ws.AlignX * scale) - 408;
    if (ws.ImageHeight > 625) f.Scrollbox3.VertPosition = f.ScrollBox2.VertPosition = Round(ws.AlignY * scale) - 312;
    ws.LayersStale = true;
}

void ExportStackTo16Bits(AppContext& c) {
    Workspace& ws = c.ws;
    const bool colour = c.form.ColourStack.Checked;
    const int w = ws.ImageWidth, h = ws.ImageHeight;
    float m = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int ch = colour ? 0 : 1; ch <= (colour ? 2 : 1); ++ch) m = std::max(m, ws.StackSum[std::size_t(ch)].Get(x, y));
    if (m <= 0) m = 1;
    if (ws.StackTiff.Width() < w || ws.StackTiff.Height() < h) ws.StackTiff.CreateWide(w + 1, h + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const float v = ws.StackSum[std::size_t(colour ? ch : 1)].Get(x, y);
                ws.StackTiff.SetSample(x, y, ch, uint16_t(std::clamp(std::nearbyint(double(v) / m * 65535.0), 0.0, 65535.0)));
            }
}

}  // namespace talvenor
