#include "session/wavelet_process.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>

#include "registration/rgb_shift.h"
#include "session/deconvolution_step.h"
#include "session/gamma_window.h"
#include "session/histogram_window.h"
#include "session/resize_window.h"
#include "stacking/stacker.h"
#include "wavelets/decomposition.h"
#include "wavelets/gamma_curve.h"
#include "workspace/layer_controls.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {

bool Dyadic(const Controls& f) { return f.Scaletype.ItemIndex == 0; }

// The stacked image's size as Process refreshes it for resampled and drizzled stacks, never
// beyond the planes the stack was made in.
void RefreshImageSize(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (!f.Resampled.Checked) return;
    int w = int(std::nearbyint(ws.SourceWidth * ws.ResampleFactor)) - 1;
    int h = int(std::nearbyint(ws.SourceHeight * ws.ResampleFactor)) - 1;
    if (f.Drizzle2.Checked) {
        w = 2 * ws.SourceWidth - 1;
        h = 2 * ws.SourceHeight - 1;
    }
    const int planeW = ws.StackSum[1].Width() - Single2dArray::kMargin;
    const int planeH = ws.StackSum[1].Height() - Single2dArray::kMargin;
    ws.ImageWidth = std::clamp(std::min(w, kMaxImageSide), 1, std::max(1, planeW));
    ws.ImageHeight = std::clamp(std::min(h, kMaxImageSide), 1, std::max(1, planeH));
}

bool CanProcess(const Session& s) {
    return s.ws.StackReady && s.ws.ImageWidth > 0 && s.ws.ImageHeight > 0 && s.ws.ResultPlanes[1].Allocated() &&
           s.ws.LayerPlanes[1][1].Allocated();
}

// An area as large as the image processes all of it in one piece.
bool AreaCoversImage(const Workspace& ws) {
    const LayerArea a = ProcessArea(ws);
    return a.left <= 0 && a.top <= 0 && a.right >= ws.ImageWidth - 1 && a.bottom >= ws.ImageHeight - 1;
}

// The corner marks show where a partial processing works; a whole processed picture has none.
void ShowAreaMarks(Session& s) {
    WaveletState& w = s.wavelets;
    if (!s.form.ShowProcessingArea.Checked || w.DoAllRunning || w.WholeProcessed || w.MarksDrawn || !s.ws.StackReady ||
        s.form.ProcessImage.Image.Empty())
        return;
    w.MarksArea = ProcessArea(s.ws);
    DrawAreaMarks(s.form.ProcessImage.Image, w.MarksArea);
    w.MarksDrawn = true;
}

void HideAreaMarks(Session& s) {
    WaveletState& w = s.wavelets;
    if (w.MarksDrawn) DrawAreaMarks(s.form.ProcessImage.Image, w.MarksArea);  // XOR: takes them off
    w.MarksDrawn = false;
}

}  // namespace

Slider& GainSlider(Controls& f, int n) {
    Slider* sliders[] = {&f.RxSlider3, &f.RxSlider4, &f.RxSlider5, &f.RxSlider6, &f.RxSlider7, &f.RxSlider8};
    return *sliders[n - 1];
}
CheckBox& LayerBox(Controls& f, int n) {
    CheckBox* boxes[] = {&f.CheckBox5, &f.CheckBox6, &f.CheckBox7, &f.CheckBox8, &f.CheckBox9, &f.CheckBox10};
    return *boxes[n - 1];
}
CheckBox& CutBox(Controls& f, int n) {
    CheckBox* boxes[] = {&f.cut1, &f.cut2, &f.cut3, &f.cut4, &f.cut5, &f.cut6};
    return *boxes[n - 1];
}
Button& LayerButton(Controls& f, int n) {
    Button* buttons[] = {&f.layer1button, &f.layer2button, &f.layer3button, &f.layer4button, &f.layer5button, &f.layer6button};
    return *buttons[n - 1];
}

void ShowGainCaptions(Controls& f) {
    for (int n = 1; n <= kLayers; ++n) {
        char text[40];
        std::snprintf(text, sizeof text, "%.15g", std::nearbyint(GainSlider(f, n).Value * 0.1 * 10) * 0.1);
        LayerButton(f, n).Caption = text;
    }
    f.ContrastSlider.Caption = "Contrast   : " + std::to_string(f.ContrastSlider.Value);
    f.BrightnessSlider.Caption = "Brightness : " + std::to_string(f.BrightnessSlider.Value);
}

void CopyStackedPicture(Session& s) {
    Bitmap24& picture = s.form.ProcessImage.Image;
    const Bitmap24& stacked = s.form.Stackimage.Image;
    s.wavelets.MarksDrawn = false;
    // The 16-bit result too, or a save would keep areas processed before this one (or the
    // Stacking page's differently scaled TIFF copy) outside the area now processed.
    if (s.ws.StackReady && s.ws.StackTiff.HasWide) StackTo16Bits(s.ws, s.stack, s.form.ColourStack.Checked);
    if (stacked.Width() == s.ws.ImageWidth && stacked.Height() == s.ws.ImageHeight) {
        picture = stacked;
        return;
    }
    picture.SetSize(s.ws.ImageWidth, s.ws.ImageHeight);
    const int w = std::min(stacked.Width(), s.ws.ImageWidth), h = std::min(stacked.Height(), s.ws.ImageHeight);
    for (int y = 0; y < h; ++y) std::copy_n(stacked.Row(y), std::size_t(w) * 3, picture.Row(y));
}

LayerArea ProcessArea(const Workspace& ws) {
    return ClipArea(ws.ProcessAreaLeft, ws.ProcessAreaTop, ws.ProcessAreaWidth, ws.ProcessAreaHeight, ws.ImageWidth,
                    ws.ImageHeight);
}

RebuildSettings RebuildSettingsFromControls(Session& s) {
    Controls& f = s.form;
    RebuildSettings r;
    // A deconvolved picture is carried by the layers as it is.
    const bool deconvolving = DeconvolutionChosen(f);
    for (int n = 1; n <= kLayers; ++n) {
        r.gain[std::size_t(n)] = deconvolving ? 1.0f : float(GainSlider(f, n).Value * 0.1);
        r.enabled[std::size_t(n)] = LayerBox(f, n).Checked;
        r.cut[std::size_t(n)] = CutBox(f, n).Checked;
        r.threshold[std::size_t(n)] = s.wavelets.NoiseThreshold[std::size_t(n)];
    }
    r.subtract = f.Subtract.Checked;
    r.contrast = f.ContrastSlider.Value;
    r.brightness = f.BrightnessSlider.Value;
    r.stackMin = s.stack.StackMin;
    r.stackMax = s.stack.StackMax;
    r.gamma = &s.ws.GammaCurve;
    r.histLo = s.ws.HistLo;
    r.histHi = s.ws.HistHi;
    r.offset = {f.RedSlider.Value, f.GreenSlider.Value, f.blueslider.Value};
    r.balance = s.ws.ColourBalance;
    r.mode = !f.ColourStack.Checked ? ColourMode::Mono : (f.LRGB2.Checked ? ColourMode::Lrgb : ColourMode::Colour);
    r.show = {f.Showred.Checked, f.ShowGreen.Checked, f.ShowBlue.Checked};
    r.margin = RedrawMargin(f.LevelStep.Value, f.Multiplicant.Value);
    r.antiRing = f.AntiRing.Checked;
    r.antiRingLevel = s.wavelets.AntiRingLevel;
    r.lumWeights = s.ws.LrgbWeight;
    return r;
}

void BuildWorkingPlanesFromControls(Session& s) {
    const Controls& f = s.form;
    BuildWorkingPlanes(s.ws, f.ColourStack.Checked, f.LRGB2.Checked, f.Lumichannel.Checked && f.Lumichannel.Visible);
}

bool PrepareWorkingPlanes(Session& s, bool progress) {
    BuildWorkingPlanesFromControls(s);
    return !DeconvolutionChosen(s.form) || DeconvolveWorkingPlanes(s, progress);
}

void DecomposeAllLayers(Session& s, const std::function<std::string(int)>& detail) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    WaveletState& w = s.wavelets;
    const LayerArea area = ProcessArea(ws);
    const bool allChannels = f.ColourStack.Checked && !f.LRGB2.Checked;
    for (int n = 1; n <= kLayers; ++n) {
        if (detail) SetProgress(f, s.host, n, kLayers, detail(n));
        const int scale = ScaleOfLayer(n, Dyadic(f), f.LevelStep.Value, f.Multiplicant.Value);
        LayerBox(f, n).Caption = std::to_string(n) + " : " + std::to_string(scale);
        LayerSums sums;
        for (int c = allChannels ? 0 : 1; c <= (allChannels ? 2 : 1); ++c)
            DecomposeLayer(ws.ResultPlanes[std::size_t(c)], ws.ScratchPlane, ws.LayerPlanes[std::size_t(n)][std::size_t(c)],
                           ws.ImageWidth, ws.ImageHeight, area, scale, w.Kernel, c == 1 ? &sums : nullptr);
        const LayerStatistic st = StatisticOf(sums);
        w.LayerVariance[std::size_t(n)] = st.variance;
        w.LayerMeanAbs[std::size_t(n)] = st.meanAbs;
    }
}

void RebuildImage(Session& s) {
    Controls& f = s.form;
    if (!CanProcess(s)) return;
    WaveletState& w = s.wavelets;
    ShowGainCaptions(f);
    s.host.SetCursor(CursorKind::Busy);
    HideAreaMarks(s);
    RebuildProcessedImage(s.ws, RebuildSettingsFromControls(s), f.ProcessImage.Image);
    // Outside "Do all" a rebuild redraws only the area: the rest keeps older settings.
    if (!w.DoAllRunning) w.WholeProcessed = AreaCoversImage(s.ws);
    ShowAreaMarks(s);
    s.host.Repaint(&f.ProcessImage);
    if (f.HistoWindow.Visible) DrawHistogramWindow(s);
    if (f.Shrinkview.Visible) ResizeToWindow(s);
    s.host.SetCursor(CursorKind::Default);
}

void ShowDoAllWhenPartial(Session& s) {
    const Workspace& ws = s.ws;
    s.form.DoAll.Visible = ws.ProcessAreaWidth < ws.ImageWidth || ws.ProcessAreaHeight < ws.ImageHeight;
}

void Process(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (!CanProcess(s)) return;
    ws.CancelRequested = false;
    f.SaveBMP2button.Enabled = true;
    s.host.SetCursor(CursorKind::Busy);
    RefreshImageSize(s);
    CopyStackedPicture(s);
    if (ws.LayersStale) {
        ShowProgress(f, s.host, "Wavelet layers", "layers");
        if (!PrepareWorkingPlanes(s, true)) {
            // Cancelled: the plain stack stays on show and the next Process starts again.
            HideProgress(f, s.host);
            s.host.SetCursor(CursorKind::Default);
            return;
        }
        ShowDoAllWhenPartial(s);
        DecomposeAllLayers(s, [](int n) { return "Calculating Layer " + std::to_string(n); });
        s.wavelets.Ratios = ComputeNoiseRatios(s.wavelets.LayerMeanAbs);
        ws.LayersStale = false;
        HideProgress(f, s.host);
    }
    RebuildImage(s);
    s.host.SetCursor(CursorKind::Default);
}

bool ProcessAllTiles(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    WaveletState& w = s.wavelets;
    if (!CanProcess(s)) return true;
    w.DoAllRunning = true;
    ws.CancelRequested = false;
    const auto start = std::chrono::steady_clock::now();
    HideAreaMarks(s);
    CopyStackedPicture(s);

    const int margin = int(std::nearbyint(5 * f.Multiplicant.Value + f.LevelStep.Value)) + 5;
    const int savedLeft = ws.ProcessAreaLeft, savedTop = ws.ProcessAreaTop;
    const int sx = ws.ProcessAreaWidth - 2 * margin, sy = ws.ProcessAreaHeight - 2 * margin;
    bool cancelled = false;
    // Scales so large that the tiles' inner parts vanish leave nothing to tile.
    if (sx > 0 && sy > 0) {
        const int qx = ws.ImageWidth / sx, qy = ws.ImageHeight / sy;
        ShowProgress(f, s.host, "Processing all", "tiles");
        for (int r = 0; r <= qy && !cancelled; ++r)
            for (int k = 0; k <= qx; ++k) {
                ws.ProcessAreaLeft = k * sx;
                ws.ProcessAreaTop = r * sy;
                if (!PrepareWorkingPlanes(s, false)) {
                    cancelled = true;
                    break;
                }
                const std::string where =
                    "position X1= " + std::to_string(ws.ProcessAreaLeft) + " Y1=" + std::to_string(ws.ProcessAreaTop);
                SetProgress(f, s.host, k + r * (qx + 1), (qx + 1) * (qy + 1), where);
                DecomposeAllLayers(s, nullptr);
                RebuildImage(s);
                s.host.PumpMessages();
                if (ws.CancelRequested) {
                    cancelled = true;
                    break;
                }
            }
        HideProgress(f, s.host);
    }
    ws.ProcessAreaLeft = savedLeft;
    ws.ProcessAreaTop = savedTop;
    // The area live again; a cancel here leaves the area as the last tile drew it.
    ws.CancelRequested = false;
    PrepareWorkingPlanes(s, false);
    DecomposeAllLayers(s, nullptr);
    w.Ratios = ComputeNoiseRatios(w.LayerMeanAbs);
    ws.LayersStale = false;
    // The area live again, unmarked: the picture around it is processed too.
    RebuildImage(s);
    w.DoAllRunning = false;
    w.WholeProcessed = !cancelled;
    ShowAreaMarks(s);
    s.host.Repaint(&f.ProcessImage);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    f.DoAllspeed.Caption = "Time used :" + std::to_string(ms) + "msec";
    return !cancelled;
}

bool WholePictureProcessed(const Session& s) {
    const Bitmap24& picture = s.form.ProcessImage.Image;
    return s.wavelets.WholeProcessed && !s.ws.LayersStale && picture.Width() == s.ws.ImageWidth &&
           picture.Height() == s.ws.ImageHeight;
}

bool ProcessWholePicture(Session& s) {
    if (!CanProcess(s) || WholePictureProcessed(s)) return true;
    // A layer preview holds the picture aside; the processing must not be undone by its end.
    if (s.wavelets.Previewing) {
        s.wavelets.Previewing = false;
        s.form.ProcessImage.Image = s.wavelets.PreviewBackup;
    }
    if (s.ws.LayersStale) Process(s);
    if (WholePictureProcessed(s)) return true;
    return ProcessAllTiles(s);
}

Bitmap24 ProcessedPicture(const Session& s) {
    Bitmap24 picture = s.form.ProcessImage.Image;
    const WaveletState& w = s.wavelets;
    if (w.MarksDrawn && !picture.Empty()) DrawAreaMarks(picture, w.MarksArea);  // XOR: takes them off
    return picture;
}

void ToggleAreaMarks(Session& s) {
    if (s.wavelets.MarksDrawn) HideAreaMarks(s);
    else ShowAreaMarks(s);
    s.host.Repaint(&s.form.ProcessImage);
}

void ResetLayerSettings(Session& s) {
    Controls& f = s.form;
    // Neutral is the stack itself: no deconvolution either.
    f.SharpenMethod.ItemIndex = 0;
    ShowSharpeningControls(f);
    f.LevelStep.Value = 1;
    f.Multiplicant.Value = 0;
    s.ws.LayersStale = true;
    ResetLayerGains(f);
    GammaSpinChanged(s);
    Process(s);
}

void ResetWaveletsForNewInput(Session& s) {
    Controls& f = s.form;
    if (!f.HoldWavelets.Checked) {
        ResetLayerGains(f);
        f.SharpenMethod.ItemIndex = 0;
        // The gamma back at 1.0, as its spin's change would: the edited curve goes too.
        CreateGammaCurve(s);
    }
    CheckAllLayers(f);
    ShowSharpeningControls(f);
}

}  // namespace talvenor
