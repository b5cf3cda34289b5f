#include "session/wavelet_handlers.h"

#include <cmath>
#include <string>

#include "project/filter_file.h"
#include "registration/rgb_shift.h"
#include "session/auto_sharpening.h"
#include "session/deconvolution_step.h"
#include "session/wavelet_process.h"
#include "wavelets/layer_preview.h"
#include "workspace/error.h"
#include "workspace/progress_window.h"
#include "workspace/stack_buffers.h"

namespace talvenor {

namespace {

const char* const kGainSliders[] = {"RxSlider3", "RxSlider4", "RxSlider5", "RxSlider6", "RxSlider7", "RxSlider8"};
const char* const kLayerBoxes[] = {"CheckBox5", "CheckBox6", "CheckBox7", "CheckBox8", "CheckBox9", "CheckBox10"};
const char* const kLayerButtons[] = {"layer1button", "layer2button", "layer3button", "layer4button", "layer5button", "layer6button"};
const char* const kCutBoxes[] = {"cut1", "cut2", "cut3", "cut4", "cut5", "cut6"};

void SetKernel(Session& s) {
    NormaliseKernel(s);
    s.ws.LayersStale = true;
    Process(s);
}

void ResetKernel(Session& s) {
    ApplyFilterValues(s.form, DefaultKernelValues());
    SetKernel(s);
}

// The mixer: the luminance weights as shares of the three slider values.
void SetLumWeights(Session& s) {
    Controls& f = s.form;
    const float r = float(f.RedLRGBslider.Value), g = float(f.GreenLRGBSlider.Value), b = float(f.BlueLRGBSlider.Value);
    const float total = std::max(r + g + b, 1.0f);
    s.ws.LrgbWeight = {r / total, g / total, b / total};
    s.ws.LayersStale = true;
    Process(s);
}

void UpdateScaleCaptions(Session& s) {
    Controls& f = s.form;
    s.ws.LayersStale = true;
    for (int n = 1; n <= kLayers; ++n)
        LayerBox(f, n).Caption =
            std::to_string(n) + " : " + std::to_string(ScaleOfLayer(n, f.Scaletype.ItemIndex == 0, f.LevelStep.Value, f.Multiplicant.Value));
    if (f.AutoProcessBox.Checked) Process(s);
}

void ScaletypeClick(Session& s) {
    Controls& f = s.form;
    s.ws.LayersStale = true;
    f.LevelStep.Enabled = f.Multiplicant.Enabled = f.Scaletype.ItemIndex == 1;
    Process(s);
}

// A gain, contrast or brightness slider while dragged: the captions follow at once, the picture
// only with "Auto-processing" (the release rebuilds in any case).
void SliderTracking(Session& s) {
    ShowGainCaptions(s.form);
    if (s.form.AutoProcessBox.Checked) RebuildImage(s);
}

// Arrow keys on the contrast and brightness sliders: 10 a press, 1 with Ctrl alone.
void SliderKey(Session& s, Slider& slider, const EventArgs& e) {
    if (e.Key != kKeyLeft && e.Key != kKeyRight) return;
    const int step = (e.Ctrl && !e.Shift && !e.Alt) ? 1 : 10;
    const int value = slider.Value + (e.Key == kKeyRight ? step : -step);
    slider.Value = std::clamp(value, slider.MinValue, slider.MaxValue);
    RebuildImage(s);
}

void SetProcessAreaSize(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    const int previous = ws.ProcessAreaMax;
    try {
        SetProcessAreaMax(ws, f.Processarea.ItemIndex);
    } catch (const Error&) {
        for (int item = 0; item < int(f.Processarea.Items.size()); ++item)
            if (ProcessAreaSideForItem(item) == previous) f.Processarea.ItemIndex = item;
        throw;
    }
    ws.LayersStale = true;
}

// A left click alone on the processed image: the feature and the area move there.
void MoveProcessArea(Session& s, const EventArgs& e) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (e.Button != MouseButton::Left || e.Shift || e.Ctrl || e.Alt) return;
    double x = e.X, y = e.Y;
    if (f.Resampled.Checked && f.ResampleSpin.Value > 0) {
        x /= f.ResampleSpin.Value;
        y /= f.ResampleSpin.Value;
    }
    if (f.Drizzling.Checked) {
        x *= 0.5;
        y *= 0.5;
    }
    ws.AlignX = int(std::nearbyint(x));
    ws.AlignY = int(std::nearbyint(y));
    // The marks come off here (XOR); the release draws them at the new place.
    if (s.wavelets.MarksDrawn) DrawAreaMarks(f.ProcessImage.Image, s.wavelets.MarksArea);
    s.wavelets.MarksDrawn = false;
    ws.ProcessAreaLeft = std::max(0, e.X - ws.ProcessAreaWidth / 2);
    ws.ProcessAreaTop = std::max(0, e.Y - ws.ProcessAreaHeight / 2);
}

// The view scrolled so that the area is in sight.
void ScrollToArea(Session& s) {
    const LayerArea a = ProcessArea(s.ws);
    ScrollBox& view = s.form.Scrollbox3;
    if (a.left < view.HorzPosition || a.right > view.HorzPosition + s.form.ProcessImage.Width)
        view.HorzPosition = std::max(0, (a.left + a.right) / 2 - s.form.ProcessImage.Width / 2);
    if (a.top < view.VertPosition || a.bottom > view.VertPosition + s.form.ProcessImage.Height)
        view.VertPosition = std::max(0, (a.top + a.bottom) / 2 - s.form.ProcessImage.Height / 2);
}

// The mouse released over the processed image: the area decomposed where it now is.
void ProcessAreaReleased(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (!ws.StackReady || !ws.ResultPlanes[1].Allocated()) return;
    CopyStackedPicture(s);
    // Picking the channel-shift area ends with this click.
    if (f.CheckBox2.Checked) f.CheckBox2.Checked = false;
    ScrollToArea(s);
    ShowDoAllWhenPartial(s);
    ShowProgress(f, s.host, "Wavelet layers", "layers");
    ws.CancelRequested = false;
    if (!PrepareWorkingPlanes(s, true)) {
        HideProgress(f, s.host);
        ws.LayersStale = true;
        return;
    }
    DecomposeAllLayers(s, [&ws](int) {
        return "X1= " + std::to_string(ws.ProcessAreaLeft) + " Y1=" + std::to_string(ws.ProcessAreaTop);
    });
    s.wavelets.Ratios = ComputeNoiseRatios(s.wavelets.LayerMeanAbs);
    ws.LayersStale = false;
    HideProgress(f, s.host);
    RebuildImage(s);
    if (f.RGBShiftWindow.Visible) DrawEstimationArea(f.ProcessImage.Image, EstimationArea(ws, f));
}

// --- channel shift

void ShiftChanged(Session& s) {
    ShiftsFromSpins(s.ws, s.form);
    s.ws.LayersStale = true;
    Process(s);
}

void StepSpin(Session& s, SpinEdit& spin, int delta) {
    spin.Value = std::clamp(spin.Value + delta, spin.MinValue, spin.MaxValue);
    ShiftChanged(s);
}

void RGBSHIFTClick(Session& s) {
    Controls& f = s.form;
    f.Showred.Visible = f.ShowGreen.Visible = f.ShowBlue.Visible = !f.LRGB2.Checked;
    if (!f.RGBShiftWindow.Visible) {
        Process(s);
    } else if (!f.ProcessImage.Image.Empty()) {
        DrawEstimationArea(f.ProcessImage.Image, EstimationArea(s.ws, f));
        s.host.Repaint(&f.ProcessImage);
    }
}

void RGBShifterClick(Session& s) {
    if (!s.ws.StackReady || !s.ws.StackSum[1].Allocated()) return;
    EstimateChannelShifts(s.ctx);
    Process(s);
}

void RegisterChannelShiftHandlers(Session& s) {
    Handlers& h = s.handlers;
    Controls& f = s.form;
    for (const char* spin : {"RDXSpin", "RdySpin", "BDXspin", "BDYSpin"}) h.On(spin, Event::Change, [&s] { ShiftChanged(s); });
    struct Arrow {
        const char* button;
        SpinEdit* spin;
        int delta;
    };
    const Arrow arrows[] = {{"Button16", &f.RdySpin, 1}, {"Button19", &f.RdySpin, -1}, {"Button17", &f.RDXSpin, -1},
                            {"Button18", &f.RDXSpin, 1}, {"Button8", &f.BDYSpin, 1},   {"Button11", &f.BDYSpin, -1},
                            {"Button9", &f.BDXspin, -1}, {"Button10", &f.BDXspin, 1}};
    for (const Arrow& a : arrows) h.On(a.button, Event::Click, [&s, a] { StepSpin(s, *a.spin, a.delta); });
    h.On("RGBShifter", Event::Click, [&s] { RGBShifterClick(s); });
    h.On("Button4", Event::Click, [&s, &f] {
        f.RDXSpin.Value = f.RdySpin.Value = f.BDXspin.Value = f.BDYSpin.Value = 0;
        ShiftChanged(s);
    });
    h.On("RGBSHIFT", Event::Click, [&s] { RGBSHIFTClick(s); });
    h.On("RGBShiftWindow", Event::Close, [&s] { Process(s); });
    for (const char* box : {"Showred", "ShowGreen", "ShowBlue"}) h.On(box, Event::Click, [&s] { RebuildImage(s); });
}

}  // namespace

void NormaliseKernel(Session& s) { s.wavelets.Kernel = NormalisedKernel(FilterValuesFrom(s.form)); }

void PreviewLayer(Session& s, int n) {
    Controls& f = s.form;
    WaveletState& w = s.wavelets;
    if (!s.ws.StackReady || f.ProcessImage.Image.Width() != s.ws.ImageWidth ||
        f.ProcessImage.Image.Height() != s.ws.ImageHeight || s.ws.LayersStale)
        return;
    w.PreviewBackup = f.ProcessImage.Image;
    w.Previewing = true;
    LayerPreviewSettings p;
    p.cut = CutBox(f, n).Checked;
    p.threshold = w.NoiseThreshold[std::size_t(n)];
    p.subtract = f.Subtract.Checked;
    p.variance = w.LayerVariance[std::size_t(n)];
    DrawLayerPreview(s.ws, n, p, f.ProcessImage.Image);
    s.host.Repaint(&f.ProcessImage);
}

void EndPreview(Session& s) {
    WaveletState& w = s.wavelets;
    if (!w.Previewing) return;
    w.Previewing = false;
    s.form.ProcessImage.Image = w.PreviewBackup;
    s.host.Repaint(&s.form.ProcessImage);
}

void RegisterWaveletHandlers(Session& s) {
    Handlers& h = s.handlers;
    Controls& f = s.form;
    h.On("ProcessButton", Event::Click, [&s] { Process(s); });
    h.On("DoAll", Event::Click, [&s] { ProcessAllTiles(s); });
    h.On("ResetButton", Event::Click, [&s] { ResetLayerSettings(s); });
    h.On("AutoSharpen", Event::Click, [&s] { AutoSharpenClick(s); });
    h.On("AutoProcessBox", Event::Click, [&f] { f.ProcessButton.Visible = !f.AutoProcessBox.Checked; });

    for (const char* slider : kGainSliders) {
        h.On(slider, Event::Tracking, [&s] { SliderTracking(s); });
        h.On(slider, Event::Change, [&s] { RebuildImage(s); });
    }
    for (Slider* slider : {&f.ContrastSlider, &f.BrightnessSlider}) {
        h.On(slider->Name, Event::Tracking, [&s] { SliderTracking(s); });
        h.On(slider->Name, Event::Change, [&s] { RebuildImage(s); });
        h.On(slider->Name, Event::KeyDown, Handlers::Fn([&s, slider](const EventArgs& e) { SliderKey(s, *slider, e); }));
    }
    for (int n = 1; n <= kLayers; ++n) {
        h.On(kLayerBoxes[n - 1], Event::Click, [&s, n] {
            Process(s);
            ShowSharpeningControls(s.form);
        });
        h.On(kCutBoxes[n - 1], Event::Click, [&s] { Process(s); });
        h.On(kLayerButtons[n - 1], Event::MouseDown, [&s, n] { PreviewLayer(s, n); });
        h.On(kLayerButtons[n - 1], Event::MouseUp, [&s] { EndPreview(s); });
    }
    h.On("Subtract", Event::Click, [&s] { Process(s); });
    h.On("AntiRing", Event::Click, [&s] { RebuildImage(s); });
    h.On("ShowProcessingArea", Event::Click, [&s] { ToggleAreaMarks(s); });

    h.On("Scaletype", Event::Click, [&s] { ScaletypeClick(s); });
    h.On("LevelStep", Event::Change, [&s] { UpdateScaleCaptions(s); });
    h.On("Multiplicant", Event::Change, [&s] { UpdateScaleCaptions(s); });
    h.On("SetFilter", Event::Click, [&s] { SetKernel(s); });
    h.On("ResetFilter", Event::Click, [&s] { ResetKernel(s); });
    // The mixer takes a new luminance only when its slider is let go: each change splits the
    // layers again.
    for (const char* slider : {"RedLRGBslider", "GreenLRGBSlider", "BlueLRGBSlider"}) {
        h.On(slider, Event::Tracking, [] {});
        h.On(slider, Event::Change, [&s] { SetLumWeights(s); });
    }
    h.On("Lumichannel", Event::Click, [&s, &f] {
        s.ws.LayersStale = true;
        f.RedLRGBslider.Enabled = f.GreenLRGBSlider.Enabled = f.BlueLRGBSlider.Enabled = !f.Lumichannel.Checked;
        Process(s);
    });
    h.On("Processarea", Event::Change, [&s] { SetProcessAreaSize(s); });
    h.On("ProcessImage", Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) { MoveProcessArea(s, e); }));
    h.On("ProcessImage", Event::MouseUp, [&s] { ProcessAreaReleased(s); });
    RegisterChannelShiftHandlers(s);
    RegisterDeconvolutionHandlers(s);

    s.seams.NormaliseKernel = [&s] { NormaliseKernel(s); };
    s.seams.WaveletPageEntered = [&s] {
        s.form.ProcessButton.Visible = !s.form.AutoProcessBox.Checked;
        if (s.ws.StackReady) Process(s);
    };
}

}  // namespace talvenor
