#include "session/hsl_window.h"

#include "final/hsl_curves.h"
#include "session/final_page.h"

namespace talvenor {

namespace {

// One graph of the window with what it edits.
struct HslCurve {
    TBSpline& spline;
    HslTable& table;
    Picture& graph;
};

HslCurve HueGraph(Session& s) { return {s.finalImage.HueSpline, s.finalImage.HueCurve, s.form.Huegraph}; }
HslCurve SatGraph(Session& s) { return {s.finalImage.SatSpline, s.finalImage.SatCurve, s.form.Saturationgraph}; }
HslCurve LightGraph(Session& s) { return {s.finalImage.LightSpline, s.finalImage.LightCurve, s.form.Lightnessgraph}; }

void Redraw(Session& s, const HslCurve& c) {
    DrawHslGraph(c.spline, c.graph.Image);
    s.host.Repaint(&c.graph);
}

bool Alone(const EventArgs& e) { return !e.Shift && !e.Ctrl && !e.Alt; }

void MouseDown(Session& s, const HslCurve& c, const EventArgs& e) {
    if (e.Button == MouseButton::Right && Alone(e)) {
        InsertHslPoint(c.spline, e.X, e.Y);
        Redraw(s, c);
    } else if (e.Button == MouseButton::Left && e.Ctrl && !e.Shift && !e.Alt) {
        DeleteHslPoint(c.spline, e.X, e.Y);
        Redraw(s, c);
    }
}

void MouseMove(Session& s, const HslCurve& c, const EventArgs& e) {
    if (e.Button != MouseButton::Left || !Alone(e)) return;
    DragHslPoint(c.spline, e.X, e.Y);
    Redraw(s, c);
}

// The table changes only when the button is let go, so a drag re-renders the picture once.
void MouseUp(Session& s, const HslCurve& c) {
    TableFromCurve(c.spline, c.table);
    UpdateFinalBitmap(s);
    UpdateOverview(s);
}

void RegisterGraph(Session& s, const std::string& control, HslCurve (*curve)(Session&)) {
    Handlers& h = s.handlers;
    h.On(control, Event::MouseDown, Handlers::Fn([&s, curve](const EventArgs& e) { MouseDown(s, curve(s), e); }));
    h.On(control, Event::MouseMove, Handlers::Fn([&s, curve](const EventArgs& e) { MouseMove(s, curve(s), e); }));
    h.On(control, Event::MouseUp, [&s, curve] { MouseUp(s, curve(s)); });
}

}  // namespace

void ResetHslCurves(Session& s) {
    for (const HslCurve& c : {HueGraph(s), SatGraph(s), LightGraph(s)}) {
        ResetHslSpline(c.spline);
        c.table.fill(0);
        Redraw(s, c);
    }
}

void ApplyHslCurves(Session& s) {
    for (const HslCurve& c : {HueGraph(s), SatGraph(s), LightGraph(s)}) {
        Redraw(s, c);
        TableFromCurve(c.spline, c.table);
    }
    UpdateFinalBitmap(s);
    UpdateOverview(s);
}

void InsertHuePoint(Session& s, int hue) {
    const HslCurve c = HueGraph(s);
    InsertHslPoint(c.spline, hue, kHslNeutralY);
    Redraw(s, c);
}

void RegisterHslWindowHandlers(Session& s) {
    RegisterGraph(s, s.form.Huegraph.Name, HueGraph);
    // The hue histogram sits right above the hue graph and edits the hue curve too.
    RegisterGraph(s, s.form.HueHistoImage.Name, HueGraph);
    RegisterGraph(s, s.form.Saturationgraph.Name, SatGraph);
    RegisterGraph(s, s.form.Lightnessgraph.Name, LightGraph);
    // Start-up creates every curve: the gamma window's first, then these.
    s.seams.CreateCurves = [&s, gamma = std::move(s.seams.CreateCurves)] {
        if (gamma) gamma();
        ResetHslCurves(s);
    };
}

}  // namespace talvenor
