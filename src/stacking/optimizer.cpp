#include "stacking/optimizer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "input/avi_frames.h"
#include "input/deinterlace.h"
#include "input/frame_loader.h"
#include "input/unreadable_frames.h"
#include "registration/luminance.h"
#include "registration/quality.h"
#include "registration/reference.h"
#include "stacking/resample.h"
#include "workspace/bitmap_font.h"
#include "workspace/canvas.h"
#include "workspace/caption.h"
#include "workspace/progress_window.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

// Every frame holds this Difference before calibration stacking (and after a resampled
// alignment pass): it is no measurement, so the search must not have to beat it.
constexpr float kUnmeasured = 1.0f;
constexpr float kNoPreviousBest = 1.5e38f;
constexpr int kMaxSearchRadius = 10;

int Round(double v) { return int(std::lrint(v)); }

// The shortest text that reads back as the same single-precision value.
std::string ShortestText(float v) {
    char buf[48];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

// ResampleFactor as a scale; a factor that was never set (or is not a number) scales by 1.
double ResampleScale(const Workspace& ws) {
    const double f = ws.ResampleFactor;
    return std::isfinite(f) && f > 0 ? f : 1.0;
}

int SearchRadius(const Controls& form) {
    return std::clamp(Round(form.SearchArea.Value), 1, kMaxSearchRadius);
}

// Copies the source rectangle onto the destination rectangle (right and bottom exclusive),
// nearest neighbour when their sizes differ. Source pixels outside the picture come out
// black; destination pixels outside the picture are dropped.
void CopyRect(Bitmap24& dst, const PixelRect& d, const Bitmap24& src, const PixelRect& s) {
    const int dw = d.right - d.left, dh = d.bottom - d.top;
    const int sw = s.right - s.left, sh = s.bottom - s.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    const int x0 = std::max(d.left, 0), x1 = std::min(d.right, dst.Width());
    const int y0 = std::max(d.top, 0), y1 = std::min(d.bottom, dst.Height());
    if (x0 >= x1 || y0 >= y1) return;
    // Each destination pixel takes the source pixel under its centre.
    auto mapX = [&](int x) { return s.left + int((int64_t(2 * (x - d.left) + 1) * sw) / (2 * int64_t(dw))); };
    auto mapY = [&](int y) { return s.top + int((int64_t(2 * (y - d.top) + 1) * sh) / (2 * int64_t(dh))); };
    for (int y = y0; y < y1; ++y) {
        const int sy = mapY(y);
        uint8_t* out = dst.Row(y) + 3 * std::size_t(x0);
        if (sy < 0 || sy >= src.Height()) {
            std::fill(out, out + 3 * std::size_t(x1 - x0), uint8_t(0));
            continue;
        }
        const uint8_t* in = src.Row(sy);
        for (int x = x0; x < x1; ++x, out += 3) {
            const int sx = mapX(x);
            if (sx >= 0 && sx < src.Width()) {
                out[0] = in[3 * sx];
                out[1] = in[3 * sx + 1];
                out[2] = in[3 * sx + 2];
            } else {
                out[0] = out[1] = out[2] = 0;
            }
        }
    }
    dst.Touch();
}

// The reference picture resampled by ResampleFactor, in Image2, and Image3 sized for the
// resampled frame boxes.
void PrepareResampledPictures(AppContext& c, const AlignmentState& a) {
    Workspace& ws = c.ws;
    Controls& form = c.form;
    const double f = ResampleScale(ws);
    const Bitmap24& ref = a.ReferenceImage;
    form.Image2.Image.SetSize(std::max(0, Round(ref.Width() * f) - 1), std::max(0, Round(ref.Height() * f) - 1));
    // Series opened before the unclamped size was recorded fall back to the source size.
    const int uw = ws.UnclampedWidth > 0 ? ws.UnclampedWidth : ws.SourceWidth;
    const int uh = ws.UnclampedHeight > 0 ? ws.UnclampedHeight : ws.SourceHeight;
    form.Image3.Image.SetSize(std::max(0, Round(uw * f) - 1), std::max(0, Round(uh * f) - 1));
    if (ref.Empty() || form.Image2.Image.Empty()) return;
    const ResampleFilter& filter = FilterForListIndex(form.ResampleCombo.ItemIndex);
    Stretch(ref, form.Image2.Image, filter.function, filter.support);
}

bool ResampledPicturesReady(const AppContext& c, const AlignmentState& a) {
    const double f = ResampleScale(c.ws);
    const Bitmap24& img2 = c.form.Image2.Image;
    return !c.form.Image3.Image.Empty() && !img2.Empty() && img2.Width() == Round(a.ReferenceImage.Width() * f) - 1 &&
           img2.Height() == Round(a.ReferenceImage.Height() * f) - 1;
}

uint8_t ToByte(float v) { return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(std::nearbyint(v)); }

// Part of the frame resampled to width x height exactly as Stretch resamples the whole
// frame (the reference picture Image2 was made that way): the pixels of `window` (right and
// bottom exclusive), written into `out` where they lie inside it. Only the window the search
// reads is computed, so a frame costs a box's worth of work, not a whole picture's.
void ResampleFrameWindow(const Bitmap24& frame, int width, int height, const PixelRect& window,
                         const ResampleFilter& filter, Bitmap24& out) {
    if (frame.Empty() || width <= 0 || height <= 0) return;
    const int x0 = std::max({window.left, 0}), x1 = std::min({window.right, width, out.Width()});
    const int y0 = std::max({window.top, 0}), y1 = std::min({window.bottom, height, out.Height()});
    if (x0 >= x1 || y0 >= y1) return;
    const Contributors columns = MakeContributors(frame.Width(), width, filter.function, filter.support);
    const Contributors rows = MakeContributors(frame.Height(), height, filter.function, filter.support);
    // The source rows the window's rows reach.
    int32_t rowLo = std::numeric_limits<int32_t>::max(), rowHi = -1;
    for (int32_t k = rows.start[std::size_t(y0)]; k < rows.start[std::size_t(y1)]; ++k) {
        rowLo = std::min(rowLo, rows.index[std::size_t(k)]);
        rowHi = std::max(rowHi, rows.index[std::size_t(k)]);
    }
    if (rowHi < rowLo) return;
    // The horizontal pass into bytes, as Stretch's temporary picture holds them.
    const int w = x1 - x0;
    std::vector<uint8_t> tmp(std::size_t(rowHi - rowLo + 1) * std::size_t(w) * 3);
    for (int32_t r = rowLo; r <= rowHi; ++r) {
        const uint8_t* src = frame.Row(r);
        uint8_t* dst = tmp.data() + std::size_t(r - rowLo) * std::size_t(w) * 3;
        for (int x = x0; x < x1; ++x, dst += 3) {
            float b = 0, g = 0, red = 0;
            for (int32_t k = columns.start[std::size_t(x)]; k < columns.start[std::size_t(x) + 1]; ++k) {
                const uint8_t* p = src + 3 * std::size_t(columns.index[std::size_t(k)]);
                const float wt = columns.weight[std::size_t(k)];
                b += wt * float(p[0]);
                g += wt * float(p[1]);
                red += wt * float(p[2]);
            }
            dst[0] = ToByte(b);
            dst[1] = ToByte(g);
            dst[2] = ToByte(red);
        }
    }
    std::vector<float> acc(std::size_t(w) * 3);
    for (int y = y0; y < y1; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0f);
        for (int32_t k = rows.start[std::size_t(y)]; k < rows.start[std::size_t(y) + 1]; ++k) {
            const uint8_t* t = tmp.data() + std::size_t(rows.index[std::size_t(k)] - rowLo) * std::size_t(w) * 3;
            const float wt = rows.weight[std::size_t(k)];
            for (std::size_t i = 0; i < acc.size(); ++i) acc[i] += wt * float(t[i]);
        }
        uint8_t* o = out.Row(y) + 3 * std::size_t(x0);
        for (std::size_t i = 0; i < acc.size(); ++i) o[i] = ToByte(acc[i]);
    }
    out.Touch();
}

// The vertex offset of the parabola through (-1, a), (0, b), (1, c) around a minimum at 0;
// 0 where the three do not bend upwards (no minimum to refine).
float ParabolaMinimum(float a, float b, float c) {
    const float curvature = a - 2 * b + c;
    if (!(curvature > 0)) return 0;
    return std::clamp(0.5f * (a - c) / curvature, -0.5f, 0.5f);
}

// SubShiftX/Y from the search's scores: the best offset (dx, dy), refined on each axis by
// the parabola through its neighbours when both lie inside the search square.
void RefineSubShift(const std::vector<float>& scores, int C, int dx, int dy, int bestX, int bestY, FrameRecord& rec) {
    const int side = 2 * C + 1;
    auto at = [&](int x, int y) { return scores[std::size_t(x + C) * std::size_t(side) + std::size_t(y + C)]; };
    float fx = 0, fy = 0;
    if (dx > -C && dx < C) fx = ParabolaMinimum(at(dx - 1, dy), at(dx, dy), at(dx + 1, dy));
    if (dy > -C && dy < C) fy = ParabolaMinimum(at(dx, dy - 1), at(dx, dy), at(dx, dy + 1));
    rec.SubShiftX = float(bestX) + fx;
    rec.SubShiftY = float(bestY) + fy;
}

// Brings frame f into CurrentFrameImage as it is in the file, not de-interlaced. Returns
// false when the frame was not read: the AVI reader pumps messages and stops before
// decoding once Cancel was pressed, which would leave the previous frame in hand.
bool ReadRawFrame(AppContext& c, OptimizerState& o, int f) {
    Workspace& ws = c.ws;
    if (ws.IsImageSeries) return LoadFrameOrSkip(c, f);
    // With "De-interlace" on, the AVI reader hands over field 1 and leaves FieldIndex at 1;
    // either field is built here from the raw frame, so the check is off while it reads.
    struct Restore {
        CheckBox& interlaced;
        bool checked;
        int32_t& field;
        int32_t fieldIndex;
        ~Restore() {
            interlaced.Checked = checked;
            field = fieldIndex;
        }
    } restore{c.form.Interlaced, c.form.Interlaced.Checked, ws.FieldIndex, ws.FieldIndex};
    c.form.Interlaced.Checked = false;
    const int32_t previous = ws.CurrentFrame;
    ws.CurrentFrame = -1;
    if (o.RunSource) {
        // As the reader of a single frame does: Cancel pressed meanwhile leaves it unread.
        c.host.PumpMessages();
        if (!ws.CancelRequested) o.RunSource->Read(f, {}, o.RunNextFrame);
    } else {
        ReadAviFrames(c, AviPath(c), f);
    }
    if (ws.CurrentFrame == f) return true;
    ws.CurrentFrame = previous;
    return false;
}

// Where a frame's comparison is drawn, kept so a run can draw the last frame it handled
// when the screen had no time for it.
struct Comparison {
    bool valid = false;
    bool resampled = false;
    int frame = 0;
    int n = 0, h = 0;      // box side and (resampled) half side
    int cx = 0, cy = 0;    // centre of the frame's box at its new shift
};

// The comparison in the picture's top-left corner, on white: the reference box left, the
// frame's box at its new shift right (`cmp` invalid: not yet), "Original" and "Current" below
// them and the frame being worked on under those, wide enough to be read whole.
std::string ProcessingLine(const Workspace& ws, const Comparison* cmp) {
    return cmp ? " Processing frame " + std::to_string(cmp->frame + 1) + " of " + std::to_string(ws.SelectedCount) + " "
               : "";
}

// The comparison's width and height: two boxes side by side, the labels and the line below.
std::pair<int, int> ComparisonPanelSize(const AppContext& c, const Comparison* cmp) {
    const int n = c.ws.AlignBoxSize;
    const int b = c.form.Resampled.Checked ? Round(n * ResampleScale(c.ws)) : n;
    const int text = int(ProcessingLine(c.ws, cmp).size()) * BitmapFont::kCellWidth + 4;
    return {std::max(2 * b + 20, text), b + 70};
}

void DrawComparisonPanel(AppContext& c, const AlignmentState& a, const Comparison* cmp) {
    Controls& form = c.form;
    const Workspace& ws = c.ws;
    Bitmap24& view = form.AlignImage.Image;
    const int n = ws.AlignBoxSize;
    const bool resampled = form.Resampled.Checked;
    const int b = resampled ? Round(n * ResampleScale(ws)) : n;
    Canvas canvas(view);
    canvas.Pen = CanvasPen{};
    canvas.Brush = CanvasBrush{};
    canvas.Font.Background = TextBackground::Opaque;
    const std::string processing = ProcessingLine(ws, cmp);
    const auto [width, height] = ComparisonPanelSize(c, cmp);
    canvas.FillRect({0, 0, width, height});  // the default brush: white
    if (!resampled) {
        CopyRect(view, {0, 0, n, n}, a.ReferenceImage,
                 {ws.AlignX - n / 2, ws.AlignY - n / 2, ws.AlignX + n / 2, ws.AlignY + n / 2});
    } else {
        const double f = ResampleScale(ws);
        const int cx = Round(ws.AlignX * f), cy = Round(ws.AlignY * f);
        CopyRect(view, {0, 0, b, b}, form.Image2.Image, {cx - b / 2, cy - b / 2, cx - b / 2 + b, cy - b / 2 + b});
    }
    if (!cmp) return;
    const int h = cmp->h;
    if (!cmp->resampled) {
        CopyRect(view, {n + 10, 0, 2 * n + 10, n}, ws.CurrentFrameImage,
                 {cmp->cx - n / 2, cmp->cy - n / 2, cmp->cx + n / 2, cmp->cy + n / 2});
        canvas.TextOut(n / 4, n + 15, " Original ");
        canvas.TextOut(n / 4 + n, n + 15, " Current ");
    } else {
        CopyRect(view, {2 * h, 0, 4 * h, 2 * h}, form.Image3.Image, {cmp->cx - h, cmp->cy - h, cmp->cx + h, cmp->cy + h});
        canvas.TextOut(h, 2 * h + 15, " Original ");
        canvas.TextOut(3 * h, 2 * h + 15, " Current ");
    }
    canvas.TextOut(2, b + 30, processing);
}

// The optimizer's picture: the frame in hand at its usual size with the alignment box where
// it matched, as the alignment pass shows it, and the comparison in its corner. The picture
// is at least as large as the comparison, for frames smaller than it.
void DrawComparison(AppContext& c, const AlignmentState& a, const Comparison& cmp) {
    if (!cmp.valid) return;
    Controls& form = c.form;
    const Workspace& ws = c.ws;
    const Bitmap24& frame = ws.CurrentFrameImage;
    Bitmap24& view = form.AlignImage.Image;
    view = frame;
    const auto [width, height] = ComparisonPanelSize(c, &cmp);
    if (view.Width() < width || view.Height() < height) {
        view.SetSize(std::max(frame.Width(), width), std::max(frame.Height(), height));
        view.Fill(ColourOf(0xFFFFFF));
        CopyRect(view, {0, 0, frame.Width(), frame.Height()}, frame, {0, 0, frame.Width(), frame.Height()});
    }
    // The match in frame pixels (resampled boxes are measured on the enlarged frame).
    const double scale = cmp.resampled ? ResampleScale(ws) : 1.0;
    const int cx = Round(cmp.cx / scale), cy = Round(cmp.cy / scale), n = cmp.n;
    DrawFeatureMark(view, cx, cy, cx - n / 2, cy - n / 2, n, true);
    DrawComparisonPanel(c, a, &cmp);
    view.Touch();
    c.host.Repaint(&form.AlignImage);
}

// The difference of the reference box with the frame box moved by one offset: the sum over
// `rows` rows of `cols` values of e(d), d = reference - frame (both already mean-free),
// divided by the reference value + 0.01 when kRelative, e = |d| when kAbs, else d^2.
// Rows are `stride` floats apart. Eight independent lanes per row let the compiler keep the
// loop in vector registers; each row's lanes are added into a double.
template <bool kAbs, bool kRelative>
float OffsetScore(const float* ref, const float* frame, const float* denominator, int stride, int rows, int cols) {
    double total = 0;
    for (int u = 0; u < rows; ++u) {
        const float* r = ref + std::size_t(u) * stride;
        const float* f = frame + std::size_t(u) * stride;
        const float* q = kRelative ? denominator + std::size_t(u) * stride : nullptr;
        float lane[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        int v = 0;
        for (; v + 8 <= cols; v += 8) {
            for (int k = 0; k < 8; ++k) {
                float d = r[v + k] - f[v + k];
                if constexpr (kRelative) d /= q[v + k];
                lane[k] += kAbs ? std::fabs(d) : d * d;
            }
        }
        float tail = 0;
        for (; v < cols; ++v) {
            float d = r[v] - f[v];
            if constexpr (kRelative) d /= q[v];
            tail += kAbs ? std::fabs(d) : d * d;
        }
        total += double(((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]))) +
                 double(tail);
    }
    return float(total);
}

using ScoreFunction = float (*)(const float*, const float*, const float*, int, int, int);

ScoreFunction PickScore(bool noSquare, bool relative) {
    if (noSquare) return relative ? OffsetScore<true, true> : OffsetScore<true, false>;
    return relative ? OffsetScore<false, true> : OffsetScore<false, false>;
}

// The two sampled boxes, row by row (pixel offset (j, i) at (i + h + C) * side + j + h + C),
// so sampling reads and writes whole picture rows and the search reads contiguous memory.
// The planes are column-major: writing them a picture row at a time would touch a
// new cache line for every pixel, so they are filled afterwards a column at a time.
struct SearchScratch {
    std::vector<float> ref, frame, denominator;
    std::vector<float> scores;  // (2C + 1)^2, offset (dx, dy) at (dx + C) * (2C + 1) + dy + C
    void Reset(std::size_t cells) {
        ref.assign(cells, 0.0f);
        frame.assign(cells, 0.0f);
    }
};

SearchScratch& Scratch() {
    static thread_local SearchScratch scratch;
    return scratch;
}

// `show`: draw the comparison; `graph`: also redraw the rank graph (a run leaves that to the
// slider change that follows each frame).
Comparison OptimizeFrameImpl(AppContext& c, AlignmentState& a, OptimizerState& o, int f, bool show, bool graph) {
    Workspace& ws = c.ws;
    Controls& form = c.form;
    Comparison cmp;
    if (f < 0 || f > kMaxFrameIndex || a.ReferenceImage.Empty()) return cmp;
    const int n = ws.AlignBoxSize;
    if (n < 2 || n > kMaxTransformSize) return cmp;
    int h = n / 2;
    const int C = SearchRadius(form);
    int ax = ws.AlignX, ay = ws.AlignY;  // AlignX/AlignY themselves are never changed

    // 1. The working size is the source size; the resampled size below is only for this
    //    frame's boxes and does not outlive it.
    ws.ImageWidth = ws.SourceWidth;
    ws.ImageHeight = ws.SourceHeight;
    struct SizeRestorer {
        Workspace& ws;
        ~SizeRestorer() {
            ws.ImageWidth = ws.SourceWidth;
            ws.ImageHeight = ws.SourceHeight;
        }
    } restoreSize{ws};

    // 3. The frame, before anything in its record changes: a frame that could not be read
    //    keeps its record as it was.
    if (!ReadRawFrame(c, o, f)) return cmp;
    ws.ImageWidth = ws.SourceWidth;
    ws.ImageHeight = ws.SourceHeight;
    const bool interlaced = form.Interlaced.Checked;
    if (interlaced)
        Deinterlace(ws.CurrentFrameImage, ws.FieldIndex == 0 ? 0 : 1, form.InterlaceHoriz.Checked, ws.SourceWidth,
                    ws.SourceHeight);

    // 2. The field's previous best and base shift.
    FrameRecord& rec = ws.Frames[std::size_t(f)];
    const bool firstField = interlaced && ws.FieldIndex == 0;
    float& difference = firstField ? rec.DifferenceA : rec.Difference;
    int32_t& shiftX = firstField ? rec.ShiftXa : rec.ShiftX;
    int32_t& shiftY = firstField ? rec.ShiftYa : rec.ShiftY;
    if (difference == kUnmeasured) difference = kNoPreviousBest;
    float best = difference;
    const int sx = shiftX, sy = shiftY;

    // 4.
    a.AlignBoxX = sx;
    a.AlignBoxY = sy;

    // 5. Resampled boxes: the reference from Image2, the frame's box resampled into Image3
    //    on exactly the grid of Image2, so that a shift of one resampled pixel is one pixel
    //    divided by the factor. (Stretching a box cut out of the frame scaled it by the box's
    //    (side - 1) / (size - 1), 131/65 instead of 2, and placed it at its rounded centre,
    //    losing the half pixels the finer grid is there for.)
    const bool resampled = form.Resampled.Checked;
    const Bitmap24* refPicture = &a.ReferenceImage;
    const Bitmap24* framePicture = &ws.CurrentFrameImage;
    if (resampled) {
        if (!ResampledPicturesReady(c, a)) PrepareResampledPictures(c, a);
        const double factor = ResampleScale(ws);
        ax = Round(ax * factor);
        ay = Round(ay * factor);
        h = Round(h * factor);
        const int reach = h + C;
        ResampleFrameWindow(ws.CurrentFrameImage, form.Image2.Image.Width(), form.Image2.Image.Height(),
                            {ax + sx - reach, ay + sy - reach, ax + sx + reach + 1, ay + sy + reach + 1},
                            FilterForListIndex(form.ResampleCombo.ItemIndex), form.Image3.Image);
        ws.ImageWidth = Round(ws.SourceWidth * factor) - 1;
        ws.ImageHeight = Round(ws.SourceHeight * factor) - 1;
        refPicture = &form.Image2.Image;
        framePicture = &form.Image3.Image;
    }
    // The compared box: N pixels, or its resampled size 2h on the finer grid.
    const int box = resampled ? 2 * h : n;

    // 6. Sample both boxes. Positions where either pixel lies outside stay 0 in both.
    const int reach = h + C;
    const int side = std::max(2 * reach + 1, box + 2 * C);  // also covers what the search reads
    SearchScratch& scratch = Scratch();
    scratch.Reset(std::size_t(side) * std::size_t(side));
    const std::array<float, 3>& weights = ws.LumaWeight;
    const Single2dArray* dark =
        form.UseDarkFrame.Checked && ws.DarkPlanes[1].Allocated() ? &ws.DarkPlanes[1] : nullptr;
    const int refW = std::min(ws.ImageWidth, refPicture->Width()), refH = std::min(ws.ImageHeight, refPicture->Height());
    const int frameW = std::min(ws.ImageWidth, framePicture->Width());
    const int frameH = std::min(ws.ImageHeight, framePicture->Height());
    double sumR = 0, sumF = 0;
    long long count = 0;
    // A monochrome capture's frames are read as their grey bytes.
    const bool greyRef = refPicture->HoldsGrey(), greyFrame = framePicture->HoldsGrey();
    const auto pixels = [](const Bitmap24& p, bool grey, int y, int x) {
        return grey ? p.GreyRow(y) + x : p.Row(y) + 3 * std::size_t(x);
    };
    for (int i = -reach; i <= reach; ++i) {
        const int ry = ay + i, fy = ry + sy;
        if (ry < 0 || ry >= refH || fy < 0 || fy >= frameH) continue;
        const int jLo = std::max({-reach, -ax, -ax - sx});
        const int jHi = std::min({reach, refW - 1 - ax, frameW - 1 - ax - sx});
        if (jLo > jHi) continue;
        const uint8_t* refPixel = pixels(*refPicture, greyRef, ry, ax + jLo);
        const uint8_t* framePixel = pixels(*framePicture, greyFrame, fy, ax + jLo + sx);
        float* refOut = scratch.ref.data() + std::size_t(i + reach) * side + (jLo + reach);
        float* frameOut = scratch.frame.data() + std::size_t(i + reach) * side + (jLo + reach);
        const int width = jHi - jLo + 1;
        double rowR = 0, rowF = 0;
        for (int j = 0; j < width; ++j) {
            const float r = greyRef ? GreyLuminance(refPixel[j], weights) : Luminance(refPixel + 3 * j, weights);
            const float v = greyFrame ? GreyLuminance(framePixel[j], weights) : Luminance(framePixel + 3 * j, weights);
            refOut[j] = r;
            frameOut[j] = v;
        }
        if (dark) {
            // The dark frame at each pixel's own position, where the dark frame has one.
            const int darkW = dark->Width();
            if (ry < dark->Height()) {
                const float* d = dark->Row(ry);
                for (int j = 0; j < width; ++j)
                    if (ax + jLo + j < darkW) refOut[j] -= d[ax + jLo + j] / 128;
            }
            if (fy < dark->Height()) {
                const float* d = dark->Row(fy);
                for (int j = 0; j < width; ++j)
                    if (ax + jLo + j + sx < darkW) frameOut[j] -= d[ax + jLo + j + sx] / 128;
            }
        }
        for (int j = 0; j < width; ++j) {
            rowR += refOut[j];
            rowF += frameOut[j];
        }
        sumR += rowR;
        sumF += rowF;
        count += width;
    }

    // 7. "Bias subtract", over plane indices 2 .. N - 3 on both axes.
    if (form.BlurBox.Checked) {
        sumR = sumF = 0;
        const float bias = float(Round(form.Bias.Value));
        for (int y = 2; y <= n - 3; ++y) {
            float* r = scratch.ref.data() + std::size_t(y) * side;
            float* v = scratch.frame.data() + std::size_t(y) * side;
            for (int x = 2; x <= n - 3; ++x) {
                r[x] = std::max(0.0f, r[x] - bias);
                v[x] = std::max(0.0f, v[x] - bias);
                sumR += r[x];
                sumF += v[x];
            }
        }
    }

    // The samples in the planes, (j + h + C, i + h + C), a plane column at a time. A
    // resampled box of the largest size reaches past the planes; the search never reads
    // those pixels, and they still count in the means.
    const int planeSide = std::min(side, kFftPlaneSide);
    a.ReferenceRe.Fit(planeSide);
    a.FrameSpecRe.Fit(planeSide);
    for (int x = 0; x < planeSide; ++x) {
        float* r = a.ReferenceRe.Column(x);
        float* v = a.FrameSpecRe.Column(x);
        const float* rIn = scratch.ref.data() + x;
        const float* vIn = scratch.frame.data() + x;
        for (int y = 0; y < planeSide; ++y) {
            r[y] = rIn[std::size_t(y) * side];
            v[y] = vIn[std::size_t(y) * side];
        }
    }

    // 8. Means.
    const double samples = count > 0 ? double(count) : 1.0;
    const double meanR = sumR / samples, meanF = sumF / samples;

    // 9. Search. The reference box is plane columns and rows C .. C + N - 1, the frame's
    //    moved by (dx, dy) is C + dx .. C + dx + N - 1: the whole box at every offset. Had the
    //    moved box been cut at plane index N - 1, positive offsets would sum fewer pixels
    //    and win on noise alone; on a noisy, low-contrast box that pulled shifts by up to
    //    the whole search radius, and it made Differences of different frames incomparable.
    //    A resampled box is compared whole too (its first N rows and columns alone were the
    //    corner of the box, away from the feature).
    const int q = box + 2 * C;  // rows and columns 0 .. q - 1 hold everything the search reads
    const bool relative = form.Relative.Checked;
    if (relative) scratch.denominator.resize(std::size_t(side) * std::size_t(side));
    for (int y = 0; y < q; ++y) {
        float* r = scratch.ref.data() + std::size_t(y) * side;
        float* v = scratch.frame.data() + std::size_t(y) * side;
        if (relative) {
            float* d = scratch.denominator.data() + std::size_t(y) * side;
            for (int x = 0; x < q; ++x) d[x] = r[x] + 0.01f;
        }
        for (int x = 0; x < q; ++x) {
            r[x] = float(double(r[x]) - meanR);
            v[x] = float(double(v[x]) - meanF);
        }
    }
    const ScoreFunction score = PickScore(form.NoSquare.Checked, relative);
    const std::size_t boxStart = std::size_t(C) * side + C;
    const float* refStart = scratch.ref.data() + boxStart;
    const float* denStart = relative ? scratch.denominator.data() + boxStart : nullptr;
    int bestX = sx, bestY = sy;
    std::vector<float>& scores = scratch.scores;
    scores.assign(std::size_t(2 * C + 1) * std::size_t(2 * C + 1), 0.0f);
    for (int dx = -C; dx <= C; ++dx) {
        for (int dy = -C; dy <= C; ++dy) {
            const float* frameStart = scratch.frame.data() + std::size_t(C + dy) * side + (C + dx);
            const float s = score(refStart, frameStart, denStart, side, box, box);
            scores[std::size_t(dx + C) * std::size_t(2 * C + 1) + std::size_t(dy + C)] = s;
            // Without de-interlacing a tie takes the later offset, with it the earlier one.
            if (interlaced ? s < best : s <= best) {
                difference = s;
                rec.OptimizeScore = float(100.0 - double(s) / (double(best) + 1) * 100);
                best = s;
                bestX = sx + dx;
                bestY = sy + dy;
                shiftX = bestX;
                shiftY = bestY;
            }
        }
    }

    // Sub-pixel stacking places the frame between pixels: the vertex of the score's parabola
    // through the best offset and its neighbours refines the whole shift the search kept
    // (always, so the box may be checked after the pass).
    if (!firstField && !resampled)
        RefineSubShift(scores, C, bestX - sx, bestY - sy, bestX, bestY, rec);

    // 10.
    o.OptimizeSum += best;

    // 11. The comparison picture and the graph.
    cmp.valid = true;
    cmp.resampled = resampled;
    cmp.frame = f;
    cmp.n = n;
    cmp.h = h;
    cmp.cx = ax + bestX;
    cmp.cy = ay + bestY;
    if (show) DrawComparison(c, a, cmp);
    if (show && graph) DrawRankGraph(c);
    return cmp;
}

// Shows the frame at the AlignSlider position. `inHand`: CurrentFrameImage already holds
// that frame as read from its file, so it is not read again. `show` false (the screen has
// no time for this frame) leaves the pictures and the graph alone.
void ShowSliderFrame(AppContext& c, OptimizerState& o, bool show, bool inHand) {
    Workspace& ws = c.ws;
    Controls& form = c.form;
    const int k = std::clamp(form.AlignSlider.Value, 0, kMaxFrameIndex);
    const int fc = ws.Ranking[std::size_t(k)].FrameIndex;
    if (fc < 0 || fc > kMaxFrameIndex) return;
    if (ws.IsImageSeries) {
        if (show && !inHand && !LoadFrameOrSkip(c, fc)) return;
        c.host.SetCaption(MakeCaption(ws, CaptionKind::Input, fc));
    } else if (show && !inHand) {
        ReadAviFrames(c, AviPath(c), fc);
    }
    if (!show) return;
    if (o.AlignViewFollows) {
        form.AlignImage.Image = ws.CurrentFrameImage;
        c.host.Repaint(&form.AlignImage);
    }
    DrawRankGraph(c);
    DrawGraphMarker(c);
}

bool IsPoorRank(const Workspace& ws, int k, double percent) {
    return double(ws.Ranking[std::size_t(k)].RankQuality) / double(ws.Ranking[0].RankQuality) * 100 < percent;
}

struct RankedFrame {
    int rank, frame;
};

// The ranks 0..m a run optimises (not excluded, above the quality limit and, with "Fast
// optimize", still improving), in file order: each frame's search is its own, and a capture
// read front to back is decoded once however its codec predicts frames from earlier ones.
std::vector<RankedFrame> FramesToOptimize(const AppContext& c, int m) {
    const Workspace& ws = c.ws;
    const Controls& form = c.form;
    std::vector<RankedFrame> visits;
    for (int k = 0; k <= m; ++k) {
        const int f = ws.Ranking[std::size_t(k)].FrameIndex;
        if (f < 0 || f > kMaxFrameIndex || ws.Frames[std::size_t(f)].Excluded) continue;
        if (form.FastOptimize.Checked && ws.Frames[std::size_t(f)].OptimizeScore <= form.OptimizeSpin.Value) continue;
        if (IsPoorRank(ws, k, form.OptimizeQualitySpin.Value)) continue;
        visits.push_back({k, f});
    }
    std::stable_sort(visits.begin(), visits.end(),
                     [](const RankedFrame& a, const RankedFrame& b) { return a.frame < b.frame; });
    return visits;
}

// A video stays open for the run, its next frame decoded while one is searched.
void OpenRunSource(AppContext& c, OptimizerState& o, const std::vector<RankedFrame>& visits) {
    o.RunSource.reset();
    if (!c.ws.IsImageSeries && !visits.empty()) o.RunSource = std::make_shared<AviFrameSource>(c, AviPath(c));
}

}  // namespace

void OptimizeFrame(AppContext& c, AlignmentState& a, OptimizerState& o, int f) {
    OptimizeFrameImpl(c, a, o, f, true, true);
}

void AlignSliderChange(AppContext& c, AlignmentState&, OptimizerState& o) { ShowSliderFrame(c, o, true, false); }

double OptimizeButtonClick(AppContext& c, AlignmentState& a, OptimizerState& o) {
    Workspace& ws = c.ws;
    Controls& form = c.form;
    Host& host = c.host;
    // Nothing to compare with before a feature was picked.
    const int n = ws.AlignBoxSize;
    if (a.ReferenceImage.Empty() || n < 2 || n > kMaxTransformSize) return o.OptimizeTotal;

    // 1.
    form.Memo2.Lines.push_back("optimizer " + TimeOfDay());
    ws.ProgStatus = 3;
    form.AlignSlider.Visible = false;
    o.AlignViewFollows = false;

    // 2-3. The comparison over the frame in hand: the reference box until the first frame is done.
    if (form.Resampled.Checked) PrepareResampledPictures(c, a);
    Bitmap24& view = form.AlignImage.Image;
    const auto [width, height] = ComparisonPanelSize(c, nullptr);
    if (view.Width() < width || view.Height() < height)
        view.SetSize(std::max(view.Width(), width), std::max(view.Height(), height));
    DrawComparisonPanel(c, a, nullptr);
    view.Touch();
    host.Repaint(&form.AlignImage);

    // 4. The progress window keeps its second line: the auto-optimisation loop shows the
    //    last improvement there.
    ws.CancelRequested = false;
    o.OptimizeSum = 0;
    const std::string lastImprovement = form.Messagewinlabel2.Caption;
    ShowProgress(form, host, "Optimizing frames");
    form.Messagewinlabel2.Caption = lastImprovement;
    form.ShowFFTbox.Checked = false;
    form.FFTWindow.Visible = false;
    form.AlignOneBUtton.Visible = false;

    // The cursor comes back and the progress window goes however the run ends.
    struct RunEnd {
        Controls& form;
        Host& host;
        OptimizerState& o;
        ~RunEnd() {
            o.RunSource.reset();
            o.RunNextFrame = -1;
            host.SetCursor(CursorKind::Default);
            HideProgress(form, host);
        }
    } runEnd{form, host, o};

    // 5.
    const int m = std::clamp(form.AlignSlider.MaxValue, 0, kMaxFrameIndex);
    const bool interlaced = form.Interlaced.Checked;
    const std::vector<RankedFrame> visits = FramesToOptimize(c, m);
    OpenRunSource(c, o, visits);
    Comparison last;
    bool lastShown = true;
    for (std::size_t j = 0; j < visits.size(); ++j) {
        const auto [k, f] = visits[j];
        o.RunNextFrame = j + 1 < visits.size() ? visits[j + 1].frame : -1;
        SetProgress(form, host, (long long)j + 1, (long long)visits.size());
        const int shownRank = std::clamp(form.AlignSlider.Value, 0, kMaxFrameIndex);
        form.label4.Caption = "Processing frame " + std::to_string(ws.Ranking[std::size_t(shownRank)].FrameIndex + 1) +
                              " of " + std::to_string(ws.SelectedCount);
        form.AlignSlider.Value = k;
        host.SetCursor(CursorKind::Busy);
        const bool show = host.TimeToShowProgress();
        if (!interlaced) {
            last = OptimizeFrameImpl(c, a, o, f, show, false);
        } else {
            ws.FieldIndex = 0;
            OptimizeFrameImpl(c, a, o, f, show, false);
            ws.FieldIndex = 1;
            last = OptimizeFrameImpl(c, a, o, f, show, false);
        }
        lastShown = show;
        // Without de-interlacing the frame just optimised is in hand exactly as read.
        ShowSliderFrame(c, o, show, !interlaced && last.valid && last.frame == f);
        host.PumpMessages();
        if (ws.CancelRequested) break;
    }
    if (!lastShown && last.valid) {
        DrawComparison(c, a, last);
        AlignSliderChange(c, a, o);
    }

    // 6.
    form.Memo2.Lines.push_back("Dif:" + ShortestText(o.OptimizeSum));
    if (ws.CancelRequested) return o.OptimizeTotal;

    // 7.
    double total = 0;
    for (int k = 0; k <= m; ++k) {
        if (IsPoorRank(ws, k, form.OptimizeQualitySpin.Value)) continue;
        const int f = ws.Ranking[std::size_t(k)].FrameIndex;
        if (f < 0 || f > kMaxFrameIndex) continue;
        total += double(ws.Frames[std::size_t(f)].Difference);
    }
    o.OptimizeTotal = 0.001 * total;
    return o.OptimizeTotal;
}

}  // namespace talvenor
