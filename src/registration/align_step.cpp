#include "registration/align_step.h"

#include <cmath>
#include <tuple>

#include "registration/box_detrend.h"
#include "registration/frame_luminance.h"
#include "registration/luminance.h"
#include "registration/quality.h"
#include "registration/quality_box.h"
#include "registration/quality_lanes.h"
#include "registration/reference.h"
#include "workspace/bgr_bytes.h"
#include "workspace/canvas.h"
#include "workspace/vector_clones.h"

namespace talvenor {

namespace {

// The record fields a step writes: the "a" fields for the first de-interlace field.
struct FieldRefs {
    int32_t& shiftX;
    int32_t& shiftY;
    float& difference;
};

FieldRefs FieldOf(AppContext& c) {
    FrameRecord& f = c.ws.Frames[std::size_t(std::clamp(c.ws.CurrentFrame, 0, kMaxFrameIndex))];
    if (c.form.Interlaced.Checked && c.ws.FieldIndex == 0) return {f.ShiftXa, f.ShiftYa, f.DifferenceA};
    return {f.ShiftX, f.ShiftY, f.Difference};
}

// Vertex offset of the parabola a t^2 + b t + c through (-1, y0), (0, y1), (1, y2), solved
// as the 3 x 3 system by its adjugate over the determinant, in single precision.
float Vertex(float y0, float y1, float y2) {
    // Rows of the system: t = -1, 0, 1 -> [t^2, t, 1]. Determinant -2; the adjugate rows give
    // a and b directly.
    const float det = -2.0f;
    const float a = (-y0 + 2 * y1 - y2) / det;
    const float b = (y0 - y2) / det;
    if (a == 0) return 0;  // a straight line has no vertex: keep the integer peak
    return -b / (2 * a);
}

float ParabolaAt(float y0, float y1, float y2, float t) {
    const float a = (y0 - 2 * y1 + y2) / 2;
    const float b = (y2 - y0) / 2;
    return a * t * t + b * t + y1;
}

// Rows first .. last of the frame in hand (clipped to it): read already, or the frame is read
// whole now.
void NeedRows(AppContext& c, int first, int last) {
    Workspace& ws = c.ws;
    if (ws.CurrentFrameRows.IsWhole() || !ws.ReadWholeFrame) return;
    first = std::max(first, 0);
    last = std::min(last, ws.CurrentFrameImage.Height() - 1);
    if (first > last || ws.CurrentFrameRows.Holds(first, last)) return;
    ws.ReadWholeFrame();
}

// Waits, pumping messages, for the click that places the feature on AlignImage.
bool WaitForFeatureClick(AppContext& c, AlignmentState& a) {
    c.ws.NeedWholeFrame();
    c.form.FFTWindow.Visible = false;
    c.form.MessageWindow.Visible = false;
    // The click lands on the Aligning page's picture, which a pass refreshes only as often as
    // the screen shows it: it may still hold an older frame, so the frame in hand goes there
    // first and the user points at the feature where it really is.
    c.form.AlignImage.Image = c.ws.CurrentFrameImage;
    c.host.Repaint(&c.form.AlignImage);
    a.WaitingForClick = true;
    a.RealignRequested = false;
    c.host.SetCursor(CursorKind::Cross);
    // Without anyone to click (or once the user cancels) the computed shift stands.
    while (a.WaitingForClick && c.host.Interactive() && !c.ws.CancelRequested) c.host.WaitForUser();
    const bool clicked = !a.WaitingForClick;
    a.WaitingForClick = false;
    c.host.SetCursor(CursorKind::Busy);
    return clicked;
}

using Floats8 = float __attribute__((vector_size(32)));

// `lo` and `hi` widened to the n values (luminances: never NaN), eight at a time.
TALVENOR_VECTOR_CLONES
void ExtendRange(const float* v, int n, float& lo, float& hi) {
    Floats8 low = Floats8{} + lo, high = Floats8{} + hi;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        Floats8 a;
        __builtin_memcpy(&a, v + i, sizeof a);
        low = a < low ? a : low;
        high = a > high ? a : high;
    }
    for (int k = 0; k < 8; ++k) {
        lo = std::min(lo, low[k]);
        hi = std::max(hi, high[k]);
    }
    for (; i < n; ++i) {
        lo = std::min(lo, v[i]);
        hi = std::max(hi, v[i]);
    }
}

// The largest of `floor` and the n values above it, eight at a time (a NaN is never above).
TALVENOR_VECTOR_CLONES
float LargestAbove(const float* v, int n, float floor) {
    Floats8 high = Floats8{} + floor;
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        Floats8 a;
        __builtin_memcpy(&a, v + i, sizeof a);
        high = a > high ? a : high;
    }
    float best = floor;
    for (int k = 0; k < 8; ++k)
        if (high[k] > best) best = high[k];
    for (; i < n; ++i)
        if (v[i] > best) best = v[i];
    return best;
}

// The correlation peak of one box position: index (x, y) of the largest value of the
// correlation surface (left in fft.TransformRe) and that value.
struct Peak {
    int x = 0, y = 0;
    float value = -1e11f;
};

// Steps 4-12 for the box at offset (ox, oy): its luminance (and, when `range` is given, the
// box's luminance range / 255 there), the transform, the low-pass filter, the whitened frame
// spectrum, the correlation with the reference and its first maximum.
Peak CorrelateBox(AppContext& c, FftEngine& fft, AlignmentState& a, int ox, int oy, bool show, float* range) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    const int n = fft.AlignBoxSize();
    NeedRows(c, a.AlignBoxY + oy, a.AlignBoxY + oy + n - 1);
    const Bitmap24& frame = ws.CurrentFrameImage;
    const int width = std::min(ws.SourceWidth, frame.Width()), height = std::min(ws.SourceHeight, frame.Height());
    // 4-6. The box's luminance, its range, and its mean-free transform. The box is staged row
    // by row as the frame is stored (0 outside the frame) and goes into its plane's columns by
    // block transposes.
    float maximum = 0, minimum = 255;
    const FrameLuminance luminance(ws);
    // The box's columns inside the frame; an 8-bit row is weighed a run at a time.
    const int bx = a.AlignBoxX + ox, x0 = std::clamp(-bx, 0, n), x1 = std::clamp(width - bx, x0, n);
    float* rows = fft.BoxRows();
    for (int y = 0; y < n; ++y) {
        float* row = rows + std::size_t(y) * std::size_t(n);
        const int fy = a.AlignBoxY + oy + y;
        if (fy < 0 || fy >= height || x0 == x1) {
            std::fill(row, row + n, 0.0f);
            continue;
        }
        std::fill(row, row + x0, 0.0f);
        std::fill(row + x1, row + n, 0.0f);
        if (luminance.Wide())
            for (int x = x0; x < x1; ++x) row[x] = luminance(bx + x, fy);
        else
            WeighPictureRow(frame, fy, bx + x0, x1 - x0, ws.LumaWeight[0], ws.LumaWeight[1], ws.LumaWeight[2], false,
                            row + x0);
        ExtendRange(row + x0, x1 - x0, minimum, maximum);
    }
    fft.BoxRowsInto(a.BoxPlane);
    if (range) *range = (maximum - minimum) / 255.0f;
    // (The detrended box fills TransformRe's corner whole.)
    fft.TransformIm.ClearCorner(n);
    DetrendAndTaper(a.BoxPlane, n, a.Taper(n), fft.TransformRe);
    fft.ForwardTransform2D();

    // 7. The low-pass filter.
    if (f.FFTFilter.Checked) {
        const float v = float(f.FFTFilterspin.Value);
        a.FFTFilterRadius2 = v * v;
        ApplyAlignmentFilter(fft, a.FFTFilterRadius2);
    }

    // 8. The frame spectrum, whitened when asked (the working plane is not).
    a.FrameSpecRe.CopyCornerFrom(fft.TransformRe, n);
    a.FrameSpecIm.CopyCornerFrom(fft.TransformIm, n);
    if (f.Normalize.Checked) WhitenSpectrum(a.FrameSpecRe, a.FrameSpecIm, n);

    // 9-10. Correlation with the reference, back to the shift domain.
    const bool phase = f.Correlationtype.ItemIndex == 1;
    for (int x = 0; x < n; ++x) {
        const float* rr = a.ReferenceRe.Column(x);
        const float* ri = a.ReferenceIm.Column(x);
        const float* fr = a.FrameSpecRe.Column(x);
        const float* fi = a.FrameSpecIm.Column(x);
        float* tr = fft.TransformRe.Column(x);
        float* ti = fft.TransformIm.Column(x);
        for (int y = 0; y < n; ++y) {
            float re = rr[y] * fr[y] + ri[y] * fi[y];
            float im = ri[y] * fr[y] - rr[y] * fi[y];
            if (phase) {
                const float pr = rr[y] * fr[y] - ri[y] * fi[y], pi = ri[y] * fr[y] + rr[y] * fi[y];
                float m = std::sqrt(pr * pr + pi * pi);
                if (m == 0) m = 0.000001f;
                re /= m;
                im /= m;
            }
            tr[y] = re;
            ti[y] = im;
        }
    }
    fft.InverseTransform2D();
    if (f.ShowFFTbox.Checked && show) ShowSpectrum(c, fft);

    // 12. The first maximum, columns outer, rows inner: the largest value, then the first place
    // that holds it.
    Peak peak;
    float largest = peak.value;
    for (int x = 0; x < n; ++x) largest = LargestAbove(fft.TransformRe.Column(x), n, largest);
    if (!(largest > peak.value)) return peak;
    for (int x = 0; x < n; ++x) {
        const float* col = fft.TransformRe.Column(x);
        for (int y = 0; y < n; ++y)
            if (col[y] == largest) return {x, y, col[y]};
    }
    return peak;
}


}  // namespace

std::pair<float, float> SubPixelPeak(const FftEngine& fft, int px, int py) {
    const int n = fft.AlignBoxSize();
    auto v = [&](int da, int db) {
        float value = fft.TransformRe(((px + da) % n + n) % n, ((py + db) % n + n) % n);
        return value;
    };
    const float dx = Vertex(v(-1, 0), v(0, 0), v(1, 0));
    float rows[3];
    for (int b = -1; b <= 1; ++b) rows[b + 1] = ParabolaAt(v(-1, b), v(0, b), v(1, b), dx);
    const float dy = Vertex(rows[0], rows[1], rows[2]);
    return {std::clamp(dx, -1.0f, 1.0f), std::clamp(dy, -1.0f, 1.0f)};
}

namespace {

// Step 1: where the box is looked for in this frame (tracking and its prediction).
std::pair<int, int> BoxOffset(const Controls& f, const AlignmentState& a) {
    if (!f.Followme.Checked) return {0, 0};
    int ox = a.TrackDX, oy = a.TrackDY;
    if (f.PredictTrack.Checked) {
        ox += a.PredictDX;
        oy += a.PredictDY;
    }
    return {ox, oy};
}

// Where the correlation put the feature: the peak in the box looked for at (ox, oy), or the
// user's click there.
struct Found {
    int px = 0, py = 0;
    int ox = 0, oy = 0;
    bool manual = false;
};

// Steps 4-12: the box correlated with the reference. The taper that keeps the box's edges out
// of the correlation also weighs shifts near zero more than large ones, which pulls a broad
// peak (a blurred frame, the low-pass filter) towards the box's centre: displacements of 8
// pixels in a 64-pixel box measured 1 to 5. So when the feature is found away from the centre,
// the box is cut again where the feature is, and the small remainder is measured there (at
// most twice). A displacement of one pixel is taken as found: the pull there is a fraction of
// a pixel, cutting the box again for it doubled the pass's transforms, and the stacks of
// realistic and bending captures came out within 0.01 dB (two pixels lost up to 0.07 dB).
Peak CorrelateAndRecentre(AppContext& c, FftEngine& fft, AlignmentState& a, Found& at, bool show, float* range) {
    const int n = fft.AlignBoxSize(), h = n / 2;
    Peak found = CorrelateBox(c, fft, a, at.ox, at.oy, show, range);
    for (int pass = 0; pass < 2 && !a.ManualAlignOn; ++pass) {
        const int sx = found.x > h ? found.x - n : found.x, sy = found.y > h ? found.y - n : found.y;
        if (std::max(std::abs(sx), std::abs(sy)) <= 1 || std::abs(sx) >= h / 2 || std::abs(sy) >= h / 2) break;
        at.ox -= sx;
        at.oy -= sy;
        found = CorrelateBox(c, fft, a, at.ox, at.oy, show, nullptr);
    }
    at.px = found.x;
    at.py = found.y;
    return found;
}

// Steps 13-15: a click from the user in place of the correlation, when aligning by hand or when
// the peak collapsed and the user wants to point at the feature again.
void AskForTheFeature(AppContext& c, AlignmentState& a, Found& at, float peak) {
    Controls& f = c.form;
    auto takeClick = [&] {
        at.px = a.ClickX - a.AlignBoxX - at.ox;
        at.py = a.ClickY - a.AlignBoxY - at.oy;
        at.manual = true;
    };
    if (a.ManualAlignOn && WaitForFeatureClick(c, a)) takeClick();
    if ((f.Misalignwarning.Checked && 0.7 * a.PreviousPeak > peak) || a.RealignRequested) {
        a.RealignRequested = false;
        f.FFTWindow.Visible = f.Propertywindow.Visible = f.MessageWindow.Visible = false;
        const Answer answer =
            c.host.Message(MsgKind::Warning, " Is the alignment lost ? \n\r Click OK to realign on feature ", Buttons::OkNo);
        if (answer == Answer::Ok && WaitForFeatureClick(c, a)) takeClick();
        f.FFTWindow.Visible = f.ShowFFTbox.Checked;
        f.Propertywindow.Visible = f.Showgraphbox.Checked;
        f.MessageWindow.Visible = true;
    }
    a.PreviousPeak = peak;
}

// Steps 16-21: the shift stored for the frame (its sub-pixel refinement too), the captions,
// the feature's mark, and where the box goes next.
void StoreShift(AppContext& c, const FftEngine& fft, AlignmentState& a, const Found& at, bool trace,
                FrameRecord& record) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    const int n = fft.AlignBoxSize(), h = n / 2;
    // 16-17. The integer shift, and its refinement. Always refined (a click excepted, it has
    // no sub-pixel part), so that checking "Sub-pixel stacking" after the pass needs no new
    // pass; the stacker reads these only with that box or "SubPixelEstimate" checked.
    const int sx = at.manual ? h - at.px : (at.px > h ? at.px - n : at.px);
    const int sy = at.manual ? h - at.py : (at.py > h ? at.py - n : at.py);
    float dxSub = 0, dySub = 0;
    if (!at.manual) std::tie(dxSub, dySub) = SubPixelPeak(fft, at.px, at.py);

    // 18-21. Where the feature is in this frame, and where the box goes next.
    const int fx = ws.AlignX - sx, fy = ws.AlignY - sy;
    f.Label3.Caption = std::to_string(-sx) + " " + std::to_string(-sy);
    f.Label1.Caption = std::to_string(fx - a.AlignBoxX) + " " + std::to_string(fy - a.AlignBoxY);
    // The box was looked for at (ox, oy) (tracking, the prediction, the re-centring), so
    // that is what the displacement measured in it adds to.
    FieldRefs field = FieldOf(c);
    field.shiftX = fx + at.ox - ws.AlignX;
    field.shiftY = fy + at.oy - ws.AlignY;
    if (trace) {
        const int cx = fx + at.ox, cy = fy + at.oy;
        DrawFeatureMark(f.AlignImage.Image, cx, cy, cx - h, cy - h, n, true);
        c.host.Repaint(&f.AlignImage);
    }
    if (f.Followme.Checked) {
        // (Leaving the prediction out of the shift, as once done, put most frames of a
        // drifting capture a pixel or more from where they were.)
        // Half the motion since the last aligned frame, in the direction of the motion (an
        // excluded frame in between keeps no shift to measure the motion by).
        if (a.HasLastShift) {
            a.PredictDX = (field.shiftX - a.LastShiftX) / 2;
            a.PredictDY = (field.shiftY - a.LastShiftY) / 2;
        }
        a.LastShiftX = field.shiftX;
        a.LastShiftY = field.shiftY;
        a.HasLastShift = true;
        a.TrackDX = field.shiftX;
        a.TrackDY = field.shiftY;
    }
    // The full shift for sub-pixel stacking: the feature's displacement refined by the peak's
    // offset (the correlation peak sits at minus the displacement).
    record.SubShiftX = float(field.shiftX) - dxSub;
    record.SubShiftY = float(field.shiftY) - dySub;
}

// The sum of `count` luminances in double precision. Those of grey bytes weighed by weights of
// one sign are whole multiples of the smallest one's last bit, and a box of them adds up to far
// less than 2^53 of those: every partial sum is exact, so eight running sums give the very sum
// one running sum gives, without waiting on each addition. Other luminances are added in order.
double LuminanceSum(const float* values, int count, bool grey, const std::array<float, 3>& w) {
    const bool exact = grey && ((w[0] >= 0 && w[1] >= 0 && w[2] >= 0) || (w[0] <= 0 && w[1] <= 0 && w[2] <= 0));
    if (!exact) {
        double sum = 0;
        for (int k = 0; k < count; ++k) sum += values[k];
        return sum;
    }
    std::array<double, 8> sums{};
    int k = 0;
    for (; k + 8 <= count; k += 8)
        for (int j = 0; j < 8; ++j) sums[std::size_t(j)] += values[k + j];
    double sum = 0;
    for (const double part : sums) sum += part;
    for (; k < count; ++k) sum += values[k];
    return sum;
}

// The aligned box read from whole rows when it lies inside both pictures (as it mostly does):
// each picture's box weighed a row at a time into the engine's rows and moved into its plane by
// block transposes, frame into TransformRe and reference into TransformIm, with their sums.
void BoxesFromRows(const Workspace& ws, FftEngine& fft, const Bitmap24& frame, const Bitmap24& ref, int n, int fx0,
                   int fy0, int rx0, int ry0, double& frameSum, double& refSum) {
    const std::array<float, 3>& w = ws.LumaWeight;
    const auto sumOf = [&](const Bitmap24& picture, int x0, int y0, FftPlane& plane) {
        float* rows = fft.BoxRows();
        for (int j = 0; j < n; ++j)
            WeighPictureRow(picture, y0 + j, x0, n, w[0], w[1], w[2], false, rows + std::size_t(j) * std::size_t(n));
        const double sum = LuminanceSum(rows, n * n, picture.HoldsGrey(), w);
        fft.BoxRowsInto(plane);
        return sum;
    };
    frameSum = sumOf(frame, fx0, fy0, fft.TransformRe);
    refSum = sumOf(ref, rx0, ry0, fft.TransformIm);
}

// Step 22: the registration difference between the box aligned at (dx, dy) and the reference
// picture, which leaves the mean-free aligned box in fft.TransformRe (and zeros in
// TransformIm).
float RegistrationDifference(const AppContext& c, FftEngine& fft, const AlignmentState& a, int dx, int dy) {
    const Workspace& ws = c.ws;
    const Controls& f = c.form;
    const int n = fft.AlignBoxSize(), h = n / 2;
    const Bitmap24& frame = ws.CurrentFrameImage;
    const int width = std::min(ws.SourceWidth, frame.Width()), height = std::min(ws.SourceHeight, frame.Height());
    const Bitmap24& ref = a.ReferenceImage;
    const int refW = std::min(width, ref.Width()), refH = std::min(height, ref.Height());
    double frameSum = 0, refSum = 0;
    const int fx0 = ws.AlignX - h + dx, fy0 = ws.AlignY - h + dy, rx0 = ws.AlignX - h, ry0 = ws.AlignY - h;
    const bool inside = fx0 >= 0 && fy0 >= 0 && fx0 + n <= width && fy0 + n <= height && rx0 >= 0 && ry0 >= 0 &&
                        rx0 + n <= refW && ry0 + n <= refH;
    if (inside) {
        BoxesFromRows(ws, fft, frame, ref, n, fx0, fy0, rx0, ry0, frameSum, refSum);
    } else {
        fft.TransformRe.ClearCorner(n);
        fft.TransformIm.ClearCorner(n);
        // A monochrome capture's frames are read as their grey bytes.
        const bool greyFrame = frame.HoldsGrey(), greyRef = ref.HoldsGrey();
        for (int j = -h; j < h; ++j) {
            const int yf = ws.AlignY + j + dy, yr = ws.AlignY + j;
            if (yf < 0 || yf >= height || yr < 0 || yr >= refH) continue;
            const uint8_t* frow = greyFrame ? frame.GreyRow(yf) : frame.Row(yf);
            const uint8_t* rrow = greyRef ? ref.GreyRow(yr) : ref.Row(yr);
            for (int i = -h; i < h; ++i) {
                const int xf = ws.AlignX + i + dx, xr = ws.AlignX + i;
                if (xf < 0 || xf >= width || xr < 0 || xr >= refW) continue;
                const float lf = greyFrame ? GreyLuminance(frow[xf], ws.LumaWeight) : Luminance(frow + 3 * xf, ws.LumaWeight);
                const float lr = greyRef ? GreyLuminance(rrow[xr], ws.LumaWeight) : Luminance(rrow + 3 * xr, ws.LumaWeight);
                fft.TransformRe(i + h, j + h) = lf;
                fft.TransformIm(i + h, j + h) = lr;
                frameSum += lf;
                refSum += lr;
            }
        }
    }
    const float meanF = float(frameSum / (double(n) * n)), meanR = float(refSum / (double(n) * n));
    float total = 0;
    const bool noSquare = f.NoSquare.Checked, relative = f.Relative.Checked;
    for (int x = 0; x < n; ++x) {
        float* re = fft.TransformRe.Column(x);
        float* im = fft.TransformIm.Column(x);
        for (int y = 0; y < n; ++y) {
            re[y] -= meanF;
            float d = re[y] - (im[y] - meanR);
            im[y] = 0;
            if (relative) d /= re[y] + 0.01f;
            total += noSquare ? std::fabs(d) : d * d;
        }
    }
    return total;
}

// Step 24: the quality of the aligned box, faded towards its edges like the boxes that were
// correlated: the cut edges would otherwise add a spectrum of their own, the same in sharp and
// blurred frames, that drowns the difference the quality looks for. Measured on the quality
// box's own transform when it is larger than the alignment box, else on the aligned box left
// in fft. Beside the pass (see quality_lanes.h) while the reader keeps up, unless the screen
// shows this frame's spectrum (or a de-interlaced field, whose quality goes elsewhere).
void FrameQuality(AppContext& c, FftEngine& fft, AlignmentState& a, int dx, int dy, bool show, FrameRecord& record) {
    Workspace& ws = c.ws;
    const Controls& f = c.form;
    const int n = fft.AlignBoxSize();
    const Bitmap24& frame = ws.CurrentFrameImage;
    const int width = std::min(ws.SourceWidth, frame.Width()), height = std::min(ws.SourceHeight, frame.Height());
    const int q = QualityBoxSize(c, n);
    a.QualityOnOwnBox = q != n;
    const bool beside = a.PassQuality && ws.ReaderKeptUp && !show && !f.Interlaced.Checked;
    if (a.QualityOnOwnBox) {
        const int left = ws.AlignX + dx - q / 2, top = ws.AlignY + dy - q / 2;
        NeedRows(c, top, top + q - 1);
        if (beside && a.PassQuality->Start(frame, width, height, left, top, q, ws.LumaWeight, a.QualityTaper(q),
                                           QualityRating::Of(f), record)) {
            ++a.QualitiesBeside;
            return;
        }
        FftEngine& engine = a.QualityEngine(q);
        MeasureBoxSpectrum(frame, width, height, left, top, ws.LumaWeight, engine, a.QualityTaper(q));
        MeasureQuality(c, engine, show);
        return;
    }
    const std::vector<float>& taper = a.Taper(n);
    if (beside && a.PassQuality->StartAligned(fft.TransformRe, n, taper, QualityRating::Of(f), record)) {
        ++a.QualitiesBeside;
        return;
    }
    TaperAlignedBox(fft, n, taper);
    fft.ForwardTransform2D();
    fft.ComputeRadialSpectrum();
    MeasureQuality(c, fft, show);
}

}  // namespace

void AlignStep(AppContext& c, FftEngine& fft, AlignmentState& a) {
    Workspace& ws = c.ws;
    Controls& f = c.form;
    FrameRecord& record = ws.Frames[std::size_t(std::clamp(ws.CurrentFrame, 0, kMaxFrameIndex))];
    Found at;
    std::tie(at.ox, at.oy) = BoxOffset(f, a);
    // 2-3. The frame and its box on the Aligning page, as often as the screen shows them.
    const bool show = !ws.AlignPassActive || ws.RefreshDisplays;
    const bool trace = f.Showtracebox.Checked && show;
    if (trace) f.AlignImage.Image = ws.CurrentFrameImage;
    f.label4.Caption = "Processing frame " + std::to_string(ws.CurrentFrame + 1) + " of " + std::to_string(ws.SelectedCount);

    const Peak peak = CorrelateAndRecentre(c, fft, a, at, show, &record.AlignDifference);
    AskForTheFeature(c, a, at, peak.value);
    StoreShift(c, fft, a, at, trace, record);
    FieldRefs field = FieldOf(c);
    const int dx = field.shiftX, dy = field.shiftY;
    const int h = fft.AlignBoxSize() / 2;
    NeedRows(c, ws.AlignY - h + dy, ws.AlignY + h - 1 + dy);
    field.difference = RegistrationDifference(c, fft, a, dx, dy);
    // 23. Resampled stacking works on a finer grid.
    if (f.Resampled.Checked) {
        record.Difference = 1.0f;
        field.shiftX = int(std::nearbyint(dx * ws.ResampleFactor));
        field.shiftY = int(std::nearbyint(dy * ws.ResampleFactor));
    }
    FrameQuality(c, fft, a, dx, dy, show, record);
}

FrameRows AlignStepRows(const AppContext& c, const FftEngine& fft, const AlignmentState& a) {
    if (a.ManualAlignOn) return FrameRows::Whole();
    const int n = fft.AlignBoxSize(), h = n / 2, q = QualityBoxSize(c, n);
    const int oy = BoxOffset(c.form, a).second;
    // The box cut again up to h / 2 away, the feature found up to half a box from where the box
    // was cut, and the frames read ahead drifting on meanwhile.
    const int reach = std::max(3 * h / 2, std::max(q, n) / 2 + h / 2) + 16;
    return {c.ws.AlignY + oy - reach, c.ws.AlignY + oy + reach};
}

}  // namespace talvenor
