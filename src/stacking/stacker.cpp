#include "stacking/stacker.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "input/avi_frames.h"
#include "input/deinterlace.h"
#include "input/frame_loader.h"
#include "input/unreadable_frames.h"
#include "stacking/alignment_point_stack.h"
#include "stacking/shift_reach.h"
#include "workspace/parallel_rows.h"
#include "workspace/progress_window.h"
#include "workspace/stack_buffers.h"

namespace talvenor {

namespace {

int Round(double v) { return int(std::nearbyint(v)); }
// v rounded to the nearest integer, halves to even (as std::nearbyint rounds), for 0 <= v < 2^52:
// without a call into the maths library, so that the loops over a large stack's pixels stay
// tight.
double RoundNonNegative(double v) {
    constexpr double k2To52 = 4503599627370496.0;
    return (v + k2To52) - k2To52;
}

uint8_t Clamp8(double v) { return !(v > 0) ? 0 : v > 254 ? 255 : uint8_t(RoundNonNegative(v)); }

// A sample on the 16-bit scale: rounded, negative sums (a dark frame brighter than the frame)
// held at 0 rather than wrapping to white, and the top at 65535.
uint16_t Clamp16(double v) { return !(v > 0) ? 0 : uint16_t(RoundNonNegative(std::min(v, 65535.0))); }

void PutSample16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t(v >> 8);
}

// The stack's planes of row y: red, green, blue, or the grey plane three times.
std::array<const float*, 3> StackRow(const Workspace& ws, bool colour, int y) {
    if (!colour) return {ws.StackSum[1].Row(y), ws.StackSum[1].Row(y), ws.StackSum[1].Row(y)};
    return {ws.StackSum[0].Row(y), ws.StackSum[1].Row(y), ws.StackSum[2].Row(y)};
}

// Rows at least this many to a band when the finished stack's pixels are gone over on every
// core: the display picture, the 16-bit copies, the scale and the coverage each went over a
// 1920 x 1080 stack on one core while the other waited.
constexpr int kStackRowsPerBand = 32;

// The largest sum of the stack's w x h pixels (0 when none is above it). A band's largest, then
// the largest of the bands: the same value whatever the split (a NaN is passed over either way).
float LargestSum(const Workspace& ws, bool colour, int w, int h) {
    std::vector<float> largest(std::size_t(std::max(h, 1)), 0.0f);
    ParallelRows(0, h - 1, [&](int top, int bottom) {
        float m = 0;
        for (int y = top; y <= bottom; ++y)
            for (int ch = colour ? 0 : 1; ch <= (colour ? 2 : 1); ++ch) {
                const float* row = ws.StackSum[std::size_t(ch)].Row(y);
                for (int x = 0; x < w; ++x) m = std::max(m, row[x]);
            }
        largest[std::size_t(top)] = m;
    }, kStackRowsPerBand);
    float m = 0;
    for (const float v : largest) m = std::max(m, v);
    return m;
}

// The thumbnail of the Final page: the picture's shape within 150 x 150.
void SizeOverview(Picture& overview, int width, int height) {
    int w = 150, h = 150;
    if (height < width) h = Round(height * 150.0 / width);
    else w = Round(width * 150.0 / std::max(height, 1));
    overview.Width = std::max(w, 1);
    overview.Height = std::max(h, 1);
    overview.Image.SetSize(overview.Width, overview.Height);
}

// The pictures of the later pages take the size of the stack being made.
void SizeStackPictures(Controls& f, int width, int height) {
    f.ProcessImage.Image.SetSize(width, height);
    f.RotateImage.Image.SetSize(width, height);
    SizeOverview(f.Overview, width, height);
}

}  // namespace

float RunningStackQuality(AppContext& c, FftEngine& fft) {
    Workspace& ws = c.ws;
    const int n = fft.AlignBoxSize();
    if (n == 0) return 0;
    // The box around the feature. (The alignment box origin cannot be used: the optimizer
    // leaves the last frame's base shift in it.)
    const int boxX = ws.AlignX - n / 2, boxY = ws.AlignY - n / 2;
    fft.TransformRe.ClearCorner(n);
    fft.TransformIm.ClearCorner(n);
    const bool colour = c.form.ColourStack.Checked;
    const int planeW = ws.StackSum[1].Width(), planeH = ws.StackSum[1].Height();
    double sum = 0;
    for (int x = 0; x < n; ++x)
        for (int y = 0; y < n; ++y) {
            const int px = x + boxX, py = y + boxY;
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

std::vector<int> RanksPassingCuts(const AppContext& c, int lastRank) {
    const Workspace& ws = c.ws;
    const int last = std::clamp(c.form.StackSlider.MaxValue, 0, kMaxFrameIndex);
    float largest = 0;
    for (int k = 0; k <= last; ++k) {
        const int frame = ws.Ranking[std::size_t(k)].FrameIndex;
        if (frame >= 0 && frame < kMaxFrames) largest = std::max(largest, ws.Frames[std::size_t(frame)].Difference);
    }
    const double threshold = c.form.differencecutslider.Value * double(largest) * 0.01;
    std::vector<int> ranks;
    for (int k = 0; k <= std::clamp(lastRank, 0, kMaxFrameIndex); ++k) {
        const int frame = ws.Ranking[std::size_t(k)].FrameIndex;
        if (frame < 0 || frame >= kMaxFrames) continue;
        const FrameRecord& r = ws.Frames[std::size_t(frame)];
        if (!r.Excluded && r.Difference <= threshold) ranks.push_back(k);
    }
    return ranks;
}

std::vector<int> StackedRanks(const AppContext& c) { return RanksPassingCuts(c, c.form.StackSlider.Value); }

namespace {

// 1. The pages that follow, the status and the progress window.
void BeginStack(AppContext& c, StackerState& st) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    if (!f.Resampled.Checked) f.UseProcessed.Visible = true;
    ws.ProgStatus = 4;
    ws.LayersStale = true;
    st.ExpandOffsetX = st.ExpandOffsetY = 0;
    if (!ws.MakingCalibration) f.TabSheet4.TabVisible = f.TabSheet5.TabVisible = true;
    f.SaveButton.Enabled = true;
    ws.CancelRequested = false;
    c.host.SetCursor(CursorKind::Busy);
    ShowProgress(f, c.host, "Stacking frames");
}

// 2-3. The size of the stack, and the pictures of the later pages at that size.
void SizeStack(AppContext& c) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
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
    SizeStackPictures(f, ws.ImageWidth, ws.ImageHeight);
    // The scratch picture of a finer grid.
    if (f.Resampled.Checked)
        f.Image3.Image.SetSize(std::max(0, Round(ws.UnclampedWidth * ws.ResampleFactor) - 1),
                               std::max(0, Round(ws.UnclampedHeight * ws.ResampleFactor) - 1));
    if (f.Drizzle2.Checked)
        f.Image3.Image.SetSize(std::max(0, 2 * ws.UnclampedWidth - 1), std::max(0, 2 * ws.UnclampedHeight - 1));
}

struct StackCanvas {
    int Width = 0, Height = 0;
};

// 6. The canvas (larger with "Expand image") and fresh planes.
StackCanvas PrepareCanvas(AppContext& c, StackerState& st, const std::vector<int>& ranks) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    int width = ws.ImageWidth, height = ws.ImageHeight;
    if (f.Expandstack.Checked && !f.Resampled.Checked && !f.Drizzling.Checked) {
        st.ExpandMinX = st.ExpandMaxX = st.ExpandMinY = st.ExpandMaxY = 0;
        for (int k : ranks) {
            const FrameRecord& r = ws.Frames[std::size_t(ws.Ranking[std::size_t(k)].FrameIndex)];
            st.ExpandMinX = std::min(st.ExpandMinX, HeldShift(r.ShiftX));
            st.ExpandMaxX = std::max(st.ExpandMaxX, HeldShift(r.ShiftX));
            st.ExpandMinY = std::min(st.ExpandMinY, HeldShift(r.ShiftY));
            st.ExpandMaxY = std::max(st.ExpandMaxY, HeldShift(r.ShiftY));
        }
        st.ExpandedWidth = std::min(ws.ImageWidth + st.ExpandMaxX - st.ExpandMinX - 1, kMaxImageSide);
        st.ExpandedHeight = std::min(ws.ImageHeight + st.ExpandMaxY - st.ExpandMinY - 1, kMaxImageSide);
        st.ExpandOffsetX = st.ExpandMaxX;
        st.ExpandOffsetY = st.ExpandMaxY;
        width = st.ExpandedWidth;
        height = st.ExpandedHeight;
        f.Stackimagesize.Caption = "Image : " + std::to_string(width) + "x" + std::to_string(height);
        f.Stackimage.Image.SetSize(width, height);
        SizeStackPictures(f, width, height);
    }
    ws.FreeStackBuffers();
    {
        const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
        ws.ImageWidth = width;
        ws.ImageHeight = height;
        AllocateStackBuffers(ws, f, width, height);
        ws.ImageWidth = keepW;
        ws.ImageHeight = keepH;
    }
    // The planes were just made, so they read as zeros: clearing them would only write (and fault
    // in) memory the frames are about to fill.
    return {width, height};
}

// 7-8. Whether to go on: a single frame is stacked only when the user agrees.
bool ConfirmFrames(AppContext& c, StackerState& st, const std::vector<int>& ranks) {
    c.ws.StackPassActive = true;
    const int n = std::max<int>(1, int(ranks.size()));
    st.StackFrameCount = n;
    st.StackListLength = c.form.StackSlider.Value + 1;
    st.FramesAdded = 0;
    if (n == 1 && !c.ws.SingleFrameCase)
        return c.host.Message(MsgKind::Warning, "Only one frame to stack, continue ??? ", Buttons::YesCancel) == Answer::Yes;
    return true;
}

// The offsets and weight of one frame (or field), taken once per frame for both fields of a
// de-interlaced one, by the field index as it stands (the one the previous frame left), AVI
// and series alike. The sub-pixel shift refines ShiftX/ShiftY only; with the first field's
// whole shift the frame goes to that whole shift.
void TakeFrameOffsets(const AppContext& c, StackerState& st, const FrameRecord& r) {
    const bool firstField = c.form.Interlaced.Checked && c.ws.FieldIndex == 0;
    if (!firstField) {
        st.CurShiftX = HeldShift(r.ShiftX);
        st.CurShiftY = HeldShift(r.ShiftY);
        st.CurSubShiftX = HeldSubShift(r.SubShiftX, r.ShiftX);
        st.CurSubShiftY = HeldSubShift(r.SubShiftY, r.ShiftY);
    } else {
        st.CurShiftX = HeldShift(r.ShiftXa);
        st.CurShiftY = HeldShift(r.ShiftYa);
        st.CurSubShiftX = float(st.CurShiftX);
        st.CurSubShiftY = float(st.CurShiftY);
    }
    st.FrameWeight = 1;
    if (c.form.QualStack.Checked) st.FrameWeight = firstField ? r.QualityA : r.Quality;
}

// Adds the frame in hand, counting it.
void AddFrame(AppContext& c, StackerState& st) {
    AccumulateFrame(c, st);
    ++st.FramesAdded;
}

// 9. The frames, best first.
void StackGlobalFrames(AppContext& c, FftEngine& fft, StackerState& st, const std::vector<int>& ranks) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    Host& host = c.host;
    const int n = st.StackFrameCount;
    const PassSteps steps{{}, [&c, &st] { AddFrame(c, st); }};
    // An AVI stays open for the whole loop; its frames are read in rank order (the stack graph
    // shows the quality of the stack growing by the best frames first).
    std::unique_ptr<AviFrameSource> avi;
    if (!ws.IsImageSeries && !ranks.empty()) {
        avi = std::make_unique<AviFrameSource>(c, AviPath(c));
        // A compressed capture whose frames are predicted from earlier ones decodes them in
        // file order, a batch at a time, instead of from a key frame for every rank.
        std::vector<int> frames;
        for (const int k : ranks) frames.push_back(ws.Ranking[std::size_t(k)].FrameIndex);
        avi->WillRead(std::move(frames));
    }
    int j = 0;
    for (std::size_t at = 0; at < ranks.size(); ++at) {
        const int k = ranks[at];
        const int frame = ws.Ranking[std::size_t(k)].FrameIndex;
        const FrameRecord& r = ws.Frames[std::size_t(frame)];
        ++j;
        if (f.StackSlider.Value > 0) SetProgress(f, host, j, n);
        f.StackInfoLabel.Caption = "Stacking " + std::to_string(j) + " of " + std::to_string(n);
        host.Repaint(&f.StackInfoLabel);
        TakeFrameOffsets(c, st, r);
        host.PumpMessages();
        if (ws.CancelRequested) break;
        ws.CurrentFrame = frame;
        if (ws.IsImageSeries) {
            // A frame that cannot be read is left out (and named), never added as another.
            if (!LoadFrameOrSkip(c, frame)) continue;
            if (!f.Interlaced.Checked) {
                AddFrame(c, st);
            } else {
                const bool horizontal = f.InterlaceHoriz.Checked;
                ws.FieldIndex = 0;
                Deinterlace(ws.CurrentFrameImage, 0, horizontal, ws.SourceWidth, ws.SourceHeight);
                AddFrame(c, st);
                ws.FieldIndex = 1;
                if (!LoadFrameOrSkip(c, frame)) continue;
                Deinterlace(ws.CurrentFrameImage, 1, horizontal, ws.SourceWidth, ws.SourceHeight);
                AddFrame(c, st);
            }
        } else {
            // The AVI reader adds the frame itself while the stack pass is active; its
            // size bookkeeping must not change the stack's.
            // The next rank's frame is decoded while this one is added.
            const int keepW = ws.ImageWidth, keepH = ws.ImageHeight;
            const int next = at + 1 < ranks.size() ? ws.Ranking[std::size_t(ranks[at + 1])].FrameIndex : -1;
            avi->Read(frame, steps, next);
            ws.ImageWidth = keepW;
            ws.ImageHeight = keepH;
        }
        if (j < kMaxFrames) ws.Ranking[std::size_t(j)].StackValue = RunningStackQuality(c, fft);
    }
}

// 11. Each pixel by its coverage.
void DivideByCoverage(AppContext& c, const StackCanvas& canvas) {
    Workspace& ws = c.ws;
    const bool colour = c.form.ColourStack.Checked;
    ParallelRows(0, canvas.Height - 1, [&](int top, int bottom) {
        for (int y = top; y <= bottom; ++y)
            for (int x = 0; x < canvas.Width; ++x) {
                const float cover = ws.ExtraPlane.Get(x, y);
                if (cover <= 0) continue;
                const float inv = 1.0f / cover;
                if (colour)
                    for (int ch = 0; ch < 4; ++ch) ws.StackSum[std::size_t(ch)].At(x, y) *= inv;
                else
                    ws.StackSum[1].At(x, y) *= inv;
            }
    }, kStackRowsPerBand);
}

// The stack area by area, when the points are on and the stack allows them; a note in the log
// says why they were left out otherwise.
void StackAtPoints(AppContext& c, StackerState& st, AlignmentPointState& ap) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    ap.LastStackUsedPoints = false;
    if (!f.UseAlignmentPoints.Checked || ws.MakingCalibration || ws.CancelRequested || st.FramesAdded < 2) return;
    const std::string refusal = PointsRefusal(c);
    if (!refusal.empty()) {
        f.Memo2.Lines.push_back("Global stack: " + refusal);
        return;
    }
    if (StackAlignmentPoints(c, st, ap, st.StackFrameCount))
        f.StackInfoLabel.Caption = "Stacked at " + std::to_string(ap.Points.size()) + " alignment points";
}

// 11. The display scale, the 24-bit picture and the 16-bit copy.
void ShowStack(AppContext& c, StackerState& st, const StackCanvas& canvas) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    const int stackW = canvas.Width, stackH = canvas.Height;
    const bool colour = f.ColourStack.Checked;
    const float largest = LargestSum(ws, colour, stackW, stackH);
    st.StackMax = ws.MakingCalibration ? 255.0f : largest;
    st.StackMin = 0;
    // An all-black stack has no scale of its own: show it as it is.
    const float s = st.StackMax - st.StackMin > 0 ? 255.0f / (st.StackMax - st.StackMin) : 1.0f;
    Bitmap24& picture = f.Stackimage.Image;
    picture.SetSize(stackW, stackH);
    uint8_t* const pixels = picture.Data();  // taken once: the bands write their own rows
    ParallelRows(0, stackH - 1, [&](int top, int bottom) {
        for (int y = top; y <= bottom; ++y) {
            uint8_t* out = pixels + std::size_t(y) * picture.Stride();
            const std::array<const float*, 3> in = StackRow(ws, colour, y);
            for (int x = 0; x < stackW; ++x) {
                out[3 * x + 2] = Clamp8(in[0][x] * s);
                out[3 * x + 1] = Clamp8(in[1][x] * s);
                out[3 * x + 0] = Clamp8(in[2][x] * s);
            }
        }
    }, kStackRowsPerBand);
    StackTo16Bits(ws, st, colour);
    picture.Touch();
    c.host.Repaint(&f.Stackimage);
    ws.StackReady = true;
}

// 12. The cursor, the views scrolled to the feature.
void FinishStack(AppContext& c) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    c.host.SetCursor(CursorKind::Default);
    HideProgress(f, c.host);
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

}  // namespace

void StackButtonClick(AppContext& c, FftEngine& fft, StackerState& st, AlignmentPointState& ap,
                      const std::function<void()>& selectionChanged) {
    Workspace& ws = c.ws;
    BeginStack(c, st);
    SizeStack(c);
    const std::vector<int> ranks = StackedRanks(c);
    const StackCanvas canvas = PrepareCanvas(c, st, ranks);
    const bool go = ConfirmFrames(c, st, ranks);
    if (go) StackGlobalFrames(c, fft, st, ranks);
    ws.StackPassActive = false;
    ws.ImageWidth = canvas.Width;
    ws.ImageHeight = canvas.Height;
    if (go && selectionChanged) selectionChanged();
    if (go) {
        DivideByCoverage(c, canvas);
        StackAtPoints(c, st, ap);
        ShowStack(c, st, canvas);
    }
    FinishStack(c);
}

namespace {

// The stack's w x h pixels into the 16-bit copy, each sample `level(sum)` clamped, on every core.
template <class Level>
void WriteWideStack(Workspace& ws, bool colour, int w, int h, const Level& level) {
    ParallelRows(0, h - 1, [&](int top, int bottom) {
        for (int y = top; y <= bottom; ++y) {
            const std::array<const float*, 3> in = StackRow(ws, colour, y);
            uint8_t* out = ws.StackTiff.WideRows[std::size_t(y)];
            for (int x = 0; x < w; ++x)
                for (int ch = 0; ch < 3; ++ch) PutSample16(out + 6 * x + 2 * ch, Clamp16(level(in[std::size_t(ch)][x])));
        }
    }, kStackRowsPerBand);
}

}  // namespace

void StackTo16Bits(Workspace& ws, const StackerState& st, bool colour) {
    const float s = st.StackMax - st.StackMin > 0 ? 255.0f / (st.StackMax - st.StackMin) : 1.0f;
    const int w = std::min(ws.ImageWidth, ws.StackTiff.Width()), h = std::min(ws.ImageHeight, ws.StackTiff.Height());
    WriteWideStack(ws, colour, w, h, [s](float v) { return double(v * s) * 255.0; });
}

void ExportStackTo16Bits(AppContext& c) {
    Workspace& ws = c.ws;
    const bool colour = c.form.ColourStack.Checked;
    const int w = ws.ImageWidth, h = ws.ImageHeight;
    float m = LargestSum(ws, colour, w, h);
    if (m <= 0) m = 1;
    if (ws.StackTiff.Width() < w || ws.StackTiff.Height() < h) ws.StackTiff.CreateWide(w + 1, h + 1);
    WriteWideStack(ws, colour, w, h, [m](float v) { return double(v) / m * 65535.0; });
}

}  // namespace talvenor
