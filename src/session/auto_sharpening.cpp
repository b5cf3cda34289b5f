#include "session/auto_sharpening.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "session/deconvolution_step.h"
#include "session/wavelet_process.h"
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
    const bool allChannels = s.form.ColourStack.Checked && !s.form.LRGB2.Checked;
    std::vector<const Single2dArray*> planes;
    for (int c = allChannels ? 0 : 1; c <= (allChannels ? 2 : 1); ++c) planes.push_back(&s.ws.ResultPlanes[std::size_t(c)]);
    return planes;
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
    f.DeconvIterations.SetValue(f.DeconvIterations.DefaultValue);
    f.DeconvWienerK.SetValue(WienerKOfSpin(e.wienerK));
}

void ChooseWavelets(Session&) {}

}  // namespace

void MeasureStackBlur(Session& s) {
    if (!HasStack(s)) return;
    const BlindSigmaEstimate e = EstimateBlurSigma(WorkingChannels(s), s.ws.ImageWidth, s.ws.ImageHeight, WholeImage(s.ws));
    s.wavelets.BlurSigma = e.sigma;
    ShowBlurEstimate(s.form, e.sigma);
}

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
