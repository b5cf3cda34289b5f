#include "registration/reference.h"

#include <cmath>

#include "registration/box_detrend.h"
#include "registration/frame_luminance.h"
#include "registration/quality.h"
#include "registration/quality_box.h"
#include "workspace/canvas.h"

namespace talvenor {

void ApplyAlignmentFilter(FftEngine& fft, float radius2) {
    const int n = fft.AlignBoxSize(), h = n / 2;
    for (int x = 0; x < n; ++x) {
        const int fx = x < h ? x : x - n;
        float* re = fft.TransformRe.Column(x);
        float* im = fft.TransformIm.Column(x);
        for (int y = 0; y < n; ++y) {
            const int fy = y < h ? y : y - n;
            if (float(fx * fx + fy * fy) > radius2) re[y] = im[y] = 0;
        }
    }
}

bool FeatureInsideBorder(const Workspace& ws, int boxSize, int x, int y) {
    const int h = boxSize / 2;
    return h < x && x < ws.ImageWidth - h - 1 && h < y && y < ws.ImageHeight - h - 1;
}

void DrawFeatureMark(Bitmap24& picture, int cx, int cy, int boxLeft, int boxTop, int boxSize, bool dot) {
    Canvas canvas(picture);
    canvas.Pen.Colour = 0xFFFFFF;
    canvas.Brush.Style = BrushStyle::Clear;
    canvas.Ellipse(cx - 15, cy - 15, cx + 15, cy + 15);
    if (dot) canvas.SetPixel(cx, cy, 0xFFFFFF);
    canvas.MoveTo(cx - 15, cy);
    canvas.LineTo(cx - 5, cy);
    canvas.MoveTo(cx + 15, cy);
    canvas.LineTo(cx + 5, cy);
    canvas.MoveTo(cx, cy - 15);
    canvas.LineTo(cx, cy - 5);
    canvas.MoveTo(cx, cy + 15);
    canvas.LineTo(cx, cy + 5);
    canvas.Rectangle(boxLeft, boxTop, boxLeft + boxSize, boxTop + boxSize);
}

void ApplyAutomaticQualityBand(AppContext& c, const AlignmentState& a) {
    // A flat box teaches nothing about the band: the last one stays.
    if (!a.ReferenceBand) return;
    c.form.QualityFilter.Value = a.ReferenceBand->Band.Start;
    c.form.QualFilterDX.Value = a.ReferenceBand->Band.Width;
}

void CalculateReferenceFFT(AppContext& c, FftEngine& fft, AlignmentState& a) {
    Workspace& ws = c.ws;
    const int n = fft.AlignBoxSize();
    a.ReferenceImage = c.form.PreviewImage.Image;

    a.BoxPlane.ClearCorner(n);
    double sum = 0;
    const Bitmap24& frame = ws.CurrentFrameImage;
    const int width = std::min(ws.SourceWidth, frame.Width()), height = std::min(ws.SourceHeight, frame.Height());
    const FrameLuminance luminance(ws);
    for (int y = 0; y < n; ++y) {
        const int fy = a.AlignBoxY + y;
        if (fy < 0 || fy >= height) continue;
        for (int x = 0; x < n; ++x) {
            const int fx = a.AlignBoxX + x;
            if (fx < 0 || fx >= width) continue;
            const float l = luminance(fx, fy);
            a.BoxPlane(x, y) = l;
            sum += l;
        }
    }
    double mean = sum / (double(n) * n);
    if (mean == 0) mean = 1e-10;

    fft.TransformRe.ClearCorner(n);
    fft.TransformIm.ClearCorner(n);
    DetrendAndTaper(a.BoxPlane, n, a.Taper(n), fft.TransformRe);
    fft.ForwardTransform2D();
    fft.ComputeRadialSpectrum();
    // The band is learnt from the box the automatic band measures the quality on (also when
    // the band is the user's, so that checking "Automatic band" again has it at once).
    const int q = AutomaticQualityBoxSize(ws, n);
    const FftEngine* spectrum = &fft;
    if (q != n) {
        FftEngine& engine = a.QualityEngine(q);
        MeasureBoxSpectrum(frame, width, height, ws.AlignX - q / 2, ws.AlignY - q / 2, ws.LumaWeight, engine,
                           a.QualityTaper(q));
        spectrum = &engine;
    }
    a.ReferenceBand = AutomaticQualityBand(spectrum->RadialSpectrum, q);
    if (c.form.AutoQualityBand.Checked) ApplyAutomaticQualityBand(c, a);
    a.QualityOnOwnBox = QualityBoxSize(c, n) != n;
    MeasureQuality(c, a.QualityOnOwnBox ? *spectrum : fft);

    if (c.form.FFTFilter.Checked) {
        const float v = float(c.form.FFTFilterspin.Value);
        a.FFTFilterRadius2 = v * v;
        ApplyAlignmentFilter(fft, a.FFTFilterRadius2);
    }
    a.ReferenceRe.CopyCornerFrom(fft.TransformRe, n);
    a.ReferenceIm.CopyCornerFrom(fft.TransformIm, n);
    a.HasReference = true;

    // The reference picture with the feature marked, as the Aligning page shows it.
    Picture& view = c.form.AlignImage;
    view.Image = a.ReferenceImage;
    DrawFeatureMark(view.Image, ws.AlignX, ws.AlignY, a.AlignBoxX, a.AlignBoxY, n, false);
    c.host.Repaint(&view);

    if (c.form.Interlaced.Checked) {
        const Bitmap24& source = c.form.PreviewImage.Image;
        Bitmap24& out = a.ReferenceImage;
        const int w = std::min(ws.SourceWidth, out.Width()), h = std::min(ws.SourceHeight, out.Height());
        if (!c.form.InterlaceHoriz.Checked) {
            for (int y = 1; y <= h - 2; y += 2) {
                const uint8_t* above = source.Row(y - 1);
                const uint8_t* below = source.Row(y + 1);
                uint8_t* row = out.Row(y);
                for (int i = 0; i < 3 * w; ++i) row[i] = uint8_t((above[i] + below[i]) / 2);
            }
        } else {
            for (int y = 0; y < h; ++y) {
                uint8_t* row = out.Row(y);
                for (int x = 1; x <= w - 2; x += 2)
                    for (int k = 0; k < 3; ++k) row[3 * x + k] = uint8_t((row[3 * (x - 1) + k] + row[3 * (x + 1) + k]) / 2);
            }
        }
        out.Touch();
    }
}

void ShowSpectrum(AppContext& c, const FftEngine& fft) {
    const Bitmap24 spectrum = fft.RenderSpectrum(fft.TransformRe, &fft.TransformIm, 1.0);
    Picture& view = c.form.imgFFT;
    if (view.Image.Width() != view.Width || view.Image.Height() != view.Height) view.Image.SetSize(view.Width, view.Height);
    Canvas(view.Image).StretchDraw(PixelRect{0, 0, view.Width, view.Height}, spectrum);
    c.host.Repaint(&view);
}

void ClearSpectrumPicture(AppContext& c) {
    Picture& view = c.form.imgFFT;
    view.Image.SetSize(view.Width, view.Height);
    view.Image.Fill(ColourOf(0xFFFFFF));
    Canvas canvas(view.Image);
    canvas.Pen.Colour = 0x000000;
    canvas.TextOut(view.Width / 2 - 40, view.Height / 2 - 16, " Not defined ");
    c.host.Repaint(&view);
}

void ChangeBoxSize(AppContext& c, FftEngine& fft, AlignmentState& a) {
    const int n = 1 << (std::clamp(c.form.FFTsizeGroup.ItemIndex, 0, 3) + 5);
    fft.SetTransformSize(n);
    c.ws.AlignBoxSize = n;
    // Fixed limits of a 352 x 288 frame, whatever the frame's real size.
    if (n + a.AlignBoxX >= 352) a.AlignBoxX = 176 - n / 2;
    if (n + a.AlignBoxY >= 288) a.AlignBoxY = 144 - n / 2;
    c.form.FFTWindow.Caption = "FFT spectrum " + std::to_string(n) + "x" + std::to_string(n);
    a.OutlineErased = true;
}

}  // namespace talvenor
