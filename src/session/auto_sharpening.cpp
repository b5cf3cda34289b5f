#include "session/auto_sharpening.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "session/deconvolution_step.h"
#include "session/noise_window.h"
#include "session/wavelet_process.h"
#include "wavelets/auto_gains.h"
#include "wavelets/blind_sigma.h"

namespace talvenor {

namespace {

bool HasStack(const Session& s) {
    return s.ws.StackReady && s.ws.ImageWidth > 0 && s.ws.ImageHeight > 0 && s.ws.ResultPlanes[1].Allocated();
}

// The working planes as the layers would see them (before any deconvolution), whole image.
std::vector<const Single2dArray*> WorkingChannels(Session& s) {
    BuildWorkingPlanesFromControls(s);
    s.ws.LayersStale = true;
    const std::vector<Single2dArray*> planes = SharpenedPlanes(s);
    return {planes.begin(), planes.end()};
}

PixelRect WholeImage(const Workspace& ws) { return {0, 0, ws.ImageWidth, ws.ImageHeight}; }

void ShowBlurEstimate(Controls& f, double sigma) {
    char text[64];
    std::snprintf(text, sizeof text, "Estimated blur: sigma %.2f px", sigma);
    f.BlurEstimate.Caption = text;
}

void ChooseDeconvolution(Session& s) {
    Controls& f = s.form;
    const BlindSigmaEstimate e = EstimateBlurSigma(WorkingChannels(s), s.ws.ImageWidth, s.ws.ImageHeight, WholeImage(s.ws));
    s.wavelets.BlurSigma = e.sigma;
    ShowBlurEstimate(f, e.sigma);
    f.DeconvSigma.SetValue(int(std::lrint(e.sigma * 100)));
    f.DeconvIterations.SetValue(e.iterations);
    f.DeconvWienerK.SetValue(WienerKOfSpin(e.wienerK));
}

void ChooseWavelets(Session& s) {
    Controls& f = s.form;
    const AutoWavelets g =
        ChooseAutoWavelets(WorkingChannels(s), s.ws.ImageWidth, s.ws.ImageHeight, WholeImage(s.ws), s.wavelets.Kernel);
    f.Scaletype.ItemIndex = g.dyadic ? 0 : 1;
    f.LevelStep.Enabled = f.Multiplicant.Enabled = !g.dyadic;
    f.LevelStep.SetValue(g.initial);
    f.Multiplicant.SetValue(g.step);
    for (int n = 1; n <= kLayers; ++n) {
        LayerBox(f, n).Checked = true;
        GainSlider(f, n).SetValue(g.gain[std::size_t(n)]);
        CutBox(f, n).Checked = g.cut[std::size_t(n)];
        s.wavelets.NoiseThreshold[std::size_t(n)] = g.threshold[std::size_t(n)];
        // The noise window's slider shows the threshold in the middle of its range, as after
        // an estimator; the threshold itself stays exact.
        Slider& slider = NoiseSlider(f, n);
        const int thousandths = int(std::nearbyint(g.threshold[std::size_t(n)] * 1000));
        slider.MaxValue = std::max(slider.MaxValue, thousandths * 2 + 1);
        slider.Value = std::clamp(thousandths, slider.MinValue, slider.MaxValue);
    }
    if (g.sigma > 0) {
        s.wavelets.BlurSigma = g.sigma;
        ShowBlurEstimate(f, g.sigma);
    }
}

}  // namespace

void ChooseAutomaticSharpening(Session& s) {
    if (!HasStack(s)) return;
    s.host.SetCursor(CursorKind::Busy);
    if (DeconvolutionChosen(s.form)) ChooseDeconvolution(s);
    else ChooseWavelets(s);
    ShowSharpeningControls(s.form);
    ShowGainCaptions(s.form);
    s.ws.LayersStale = true;
    s.host.SetCursor(CursorKind::Default);
}

void AutoSharpenClick(Session& s) {
    ChooseAutomaticSharpening(s);
    Process(s);
}

void SharpenNewStack(Session& s) {
    Controls& f = s.form;
    if (!f.AutoSharpenAfterStack.Checked || !HasStack(s)) return;
    f.SharpenMethod.ItemIndex = kAutomaticSharpenMethod;
    ChooseAutomaticSharpening(s);
}

void ForgetBlurEstimate(Session& s) {
    s.wavelets.BlurSigma = 0;
    s.form.BlurEstimate.Caption = "Estimated blur: not measured yet";
}

}  // namespace talvenor
