#include "session/deconvolution_step.h"

#include <cmath>
#include <vector>

#include "session/wavelet_process.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {

// A change of the deconvolution's settings splits the layers again.
void DeconvolutionChanged(Session& s) {
    s.ws.LayersStale = true;
    if (DeconvolutionChosen(s.form)) Process(s);
}

void MethodClick(Session& s) {
    ShowSharpeningControls(s.form);
    s.ws.LayersStale = true;
    Process(s);
}

}  // namespace

double WienerKOfSpin(double k) { return std::nearbyint(k * 10000) / 10000; }

bool DeconvolutionChosen(const Controls& f) { return f.SharpenMethod.ItemIndex == 1; }

DeconvolutionSettings DeconvolutionSettingsFromControls(const Controls& f) {
    DeconvolutionSettings d;
    d.method = f.DeconvFilter.ItemIndex == 1 ? DeconvolutionMethod::Wiener : DeconvolutionMethod::RichardsonLucy;
    d.sigma = f.DeconvSigma.Value * 0.01;
    d.iterations = int(std::lrint(f.DeconvIterations.Value));
    d.wienerK = f.DeconvWienerK.Value;
    return d;
}

std::vector<Single2dArray*> SharpenedPlanes(Session& s) {
    const bool allChannels = s.form.ColourStack.Checked && !s.form.LRGB2.Checked;
    std::vector<Single2dArray*> planes;
    for (int c = allChannels ? 0 : 1; c <= (allChannels ? 2 : 1); ++c) planes.push_back(&s.ws.ResultPlanes[std::size_t(c)]);
    return planes;
}

bool DeconvolveWorkingPlanes(Session& s, bool progress) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    const std::vector<Single2dArray*> planes = SharpenedPlanes(s);
    const LayerArea a = ProcessArea(ws);
    const PixelRect area{a.left, a.top, a.right + 1, a.bottom + 1};
    DeconvolutionHooks hooks;
    if (progress)
        hooks.progress = [&](double fraction) {
            SetProgress(f, s.host, std::lrint(fraction * 100), 100, "Deconvolution");
            s.host.PumpMessages();
        };
    else
        hooks.progress = [&](double) { s.host.PumpMessages(); };
    hooks.cancelled = [&ws] { return ws.CancelRequested; };
    return Deconvolve(planes, ws.ImageWidth, ws.ImageHeight, area, DeconvolutionSettingsFromControls(f), hooks);
}

void ShowSharpeningControls(Controls& f) {
    const bool deconvolving = DeconvolutionChosen(f);
    f.DeconvolutionGroup.Visible = deconvolving;
    const bool wiener = f.DeconvFilter.ItemIndex == 1;
    f.DeconvIterations.Visible = !wiener;
    f.DeconvWienerK.Visible = wiener;
    for (int n = 1; n <= kLayers; ++n) GainSlider(f, n).Enabled = !deconvolving && LayerBox(f, n).Checked;
}

ProjectSharpening SharpeningOfControls(const Controls& f) {
    return {f.SharpenMethod.ItemIndex == 1 ? 1 : 0, f.DeconvFilter.ItemIndex == 1 ? 1 : 0, f.DeconvSigma.Value,
            int(std::lrint(f.DeconvIterations.Value)), float(f.DeconvWienerK.Value)};
}

void ApplyProjectSharpening(Controls& f, const ProjectSharpening& p) {
    f.SharpenMethod.ItemIndex = p.method;
    f.DeconvFilter.ItemIndex = p.filter;
    f.DeconvSigma.SetValue(p.sigmaHundredths);
    f.DeconvIterations.SetValue(p.iterations);
    f.DeconvWienerK.SetValue(WienerKOfSpin(p.wienerK));
    ShowSharpeningControls(f);
}

void RegisterDeconvolutionHandlers(Session& s) {
    Handlers& h = s.handlers;
    h.On("SharpenMethod", Event::Click, [&s] { MethodClick(s); });
    h.On("DeconvFilter", Event::Click, [&s] {
        ShowSharpeningControls(s.form);
        DeconvolutionChanged(s);
    });
    // The sigma restores the picture again only when let go: each change deconvolves the area.
    h.On("DeconvSigma", Event::Tracking, [] {});
    h.On("DeconvSigma", Event::Change, [&s] { DeconvolutionChanged(s); });
    h.On("DeconvIterations", Event::Change, [&s] { DeconvolutionChanged(s); });
    h.On("DeconvWienerK", Event::Change, [&s] { DeconvolutionChanged(s); });
}

}  // namespace talvenor
