#include "session/histogram_window.h"

#include "session/wavelet_process.h"
#include "wavelets/histogram.h"

namespace talvenor {

namespace {

HistogramLook LookOf(const Controls& f) { return {.showPeak = f.Showpeak.Checked, .smooth = f.HistoSmooth.Checked}; }

void BalanceFromSpins(Session& s) {
    const Controls& f = s.form;
    s.ws.ColourBalance = {float(f.Rbalance.Value), float(f.Gbalance.Value), float(f.Bbalance.Value)};
}

// A left-button drag alone over the graph moves a marker; the image waits for the next rebuild.
void GraphMouseMove(Session& s, const EventArgs& e) {
    if (e.Button != MouseButton::Left || e.Shift || e.Ctrl || e.Alt) return;
    HistogramState& st = s.wavelets.Histogram;
    if (!DragMarker(st, e.X, e.Y, s.ws.HistLo, s.ws.HistHi)) return;
    DrawMarkerDrag(s.form.Histograph.Image, s.ws.Histogram, LookOf(s.form), st);
    s.host.Repaint(&s.form.Histograph);
}

void StretchClick(Session& s) {
    StretchToMarkers(s.wavelets.Histogram, s.ws.HistLo, s.ws.HistHi);
    RebuildImage(s);
}

void ResetClick(Session& s) {
    ResetStretch(s.wavelets.Histogram, s.ws.HistLo, s.ws.HistHi);
    RebuildImage(s);
}

}  // namespace

void DrawHistogramWindow(Session& s) {
    s.form.Histograph.Axes = HistogramAxes();
    DrawHistogram(s.form.Histograph.Image, s.ws.Histogram, LookOf(s.form), s.wavelets.Histogram, s.ws.HistLo, s.ws.HistHi);
    s.host.Repaint(&s.form.Histograph);
}

void ResetHistogramLimits(Session& s) {
    ResetStretch(s.wavelets.Histogram, s.ws.HistLo, s.ws.HistHi);
    BalanceFromSpins(s);
}

void ZeroColour(Session& s) {
    Controls& f = s.form;
    f.RedSlider.Value = f.GreenSlider.Value = f.blueslider.Value = 0;
    f.Rbalance.Value = f.Gbalance.Value = f.Bbalance.Value = 1.0;
    BalanceFromSpins(s);
    RebuildImage(s);
}

void RegisterHistogramWindowHandlers(Session& s) {
    Handlers& h = s.handlers;
    Controls& f = s.form;
    h.On(f.Histograph.Name, Event::MouseMove, Handlers::Fn([&s](const EventArgs& e) { GraphMouseMove(s, e); }));
    h.On("BitBtn3", Event::Click, [&s] { StretchClick(s); });
    h.On("HistoReset", Event::Click, [&s] { ResetClick(s); });
    h.On("Button5", Event::Click, [&s] { ZeroColour(s); });
    for (const char* box : {"Showpeak", "HistoSmooth"}) h.On(box, Event::Click, [&s] { RebuildImage(s); });

    // Red follows its handle while dragged; green and blue at the release.
    h.On("RedSlider", Event::Tracking, [&s] { RebuildImage(s); });
    for (const char* slider : {"GreenSlider", "blueslider"}) h.On(slider, Event::Tracking, [] {});
    for (const char* slider : {"RedSlider", "GreenSlider", "blueslider"}) h.On(slider, Event::Change, [&s] { RebuildImage(s); });
    for (const char* spin : {"Rbalance", "Gbalance", "Bbalance"})
        h.On(spin, Event::Change, [&s] {
            BalanceFromSpins(s);
            RebuildImage(s);
        });

    // The window shows the last rebuild's counts as soon as it opens.
    h.On("Histowin", Event::Click, [&s] {
        if (s.form.HistoWindow.Visible) DrawHistogramWindow(s);
    });
    s.seams.ResetHistogramLimits = [&s] { ResetHistogramLimits(s); };
}

}  // namespace talvenor
