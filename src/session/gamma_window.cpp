#include "session/gamma_window.h"

#include <algorithm>
#include <cmath>

#include "session/wavelet_process.h"
#include "wavelets/gamma_curve.h"
#include "wavelets/spline_editing.h"
#include "workspace/canvas.h"

namespace talvenor {

namespace {

// Points closer than this (in graph pixels) are picked, and neighbours stay this far apart.
constexpr int kPickDistance = 15;

// White, the silver diagonal and the grid every 51 levels.
void DrawBackground(Bitmap24& graph) {
    graph.SetSize(256, 256);
    Canvas c(graph);
    c.Brush.Colour = 0xFFFFFF;
    c.FillRect({0, 0, 256, 256});
    c.Pen.Colour = 0xC0C0C0;
    c.MoveTo(0, 255);
    c.LineTo(255, 0);
    for (int v = 0; v <= 255; v += 51) {
        c.MoveTo(v, 0);
        c.LineTo(v, 256);
        c.MoveTo(0, v);
        c.LineTo(256, v);
    }
}

// The graph redrawn with the spline as it stands.
void RedrawGraph(Session& s) {
    Picture& graph = s.form.GammaSplineGraph;
    TBSpline& spline = s.wavelets.GammaSpline;
    DrawBackground(graph.Image);
    spline.SetInterpolate(true);
    spline.ShowPoints = true;
    spline.SetResolution(GammaSplineResolution(spline, s.form.LinearSpline.Checked));
    Canvas c(graph.Image);
    spline.Draw(c);
    graph.Image.Touch();
    s.host.Repaint(&graph);
}

void DefaultSplineDrawn(Session& s) {
    ResetGammaSpline(s.wavelets.GammaSpline, s.form.LinearSpline.Checked);
    RedrawGraph(s);
}

void TableFromSpline(Session& s) {
    CurveFromSpline(s.wavelets.GammaSpline, s.ws.GammaCurve);
    RebuildImage(s);
}

// Right click: a new point between the first pair of points it falls between.
void InsertCurvePoint(Session& s, int x, int y) {
    InsertBetweenNeighbours(s.wavelets.GammaSpline, x, y);
    RedrawGraph(s);
}

// Ctrl + left click: the last interior point near the pointer goes.
void DeleteCurvePoint(Session& s, int x, int y) {
    TBSpline& spline = s.wavelets.GammaSpline;
    if (const int found = LastPointNear(spline, x, y, kPickDistance, 2, spline.PointCount() - 1)) spline.DeletePoint(found);
    RedrawGraph(s);
}

// Dragging with the left button: the end points move only up and down, interior points keep
// their order and their spacing; the table follows at the release.
void DragCurvePoint(Session& s, int x, int y) {
    TBSpline& spline = s.wavelets.GammaSpline;
    x = std::clamp(x, 0, 255);
    y = std::clamp(y, 0, 255);
    const int count = spline.PointCount();
    const int selected = LastPointNear(spline, x, y, kPickDistance, 1, count);
    if (selected == 0 || count < 2) return;
    if (selected == count) {
        if (x > spline.GetPoint(count - 1).first + kPickDistance) spline.SetPoint(count, 255, float(y));
    } else if (selected == 1) {
        if (x < spline.GetPoint(2).first - kPickDistance) spline.SetPoint(1, 0, float(y));
    } else {
        MoveInteriorPoint(spline, selected, x, y, kPickDistance);
    }
    RedrawGraph(s);
}

void GraphMouseDown(Session& s, const EventArgs& e) {
    const bool modifiers = e.Shift || e.Alt;
    if (e.Button == MouseButton::Right && !modifiers && !e.Ctrl) InsertCurvePoint(s, e.X, e.Y);
    else if (e.Button == MouseButton::Left && e.Ctrl && !modifiers) DeleteCurvePoint(s, e.X, e.Y);
}

}  // namespace

void RedrawGammaGraph(Session& s) { RedrawGraph(s); }

void CreateGammaCurve(Session& s) {
    ResetGammaSpline(s.wavelets.GammaSpline, s.form.LinearSpline.Checked);
    DrawBackground(s.form.GammaSplineGraph.Image);
    Canvas c(s.form.GammaSplineGraph.Image);
    s.wavelets.GammaSpline.Draw(c);
    CurveFromGamma(1.0, s.ws.GammaCurve);
}

void SetGammaValue(Session& s, double gamma) {
    s.form.Gamma1spin.Value = gamma;
    GammaSpinChanged(s);
}

void GammaSpinChanged(Session& s) {
    DefaultSplineDrawn(s);
    if (!CurveFromGamma(s.form.Gamma1spin.Value, s.ws.GammaCurve)) {
        SetGammaValue(s, 1.0);
        return;
    }
    RebuildImage(s);
}

void ResetCurve(Session& s) {
    DefaultSplineDrawn(s);
    TableFromSpline(s);
}

void RegisterGammaWindowHandlers(Session& s) {
    Handlers& h = s.handlers;
    const std::string graph = s.form.GammaSplineGraph.Name;
    h.On(graph, Event::MouseDown, Handlers::Fn([&s](const EventArgs& e) { GraphMouseDown(s, e); }));
    h.On(graph, Event::MouseMove, Handlers::Fn([&s](const EventArgs& e) {
             if (e.Button == MouseButton::Left && !e.Ctrl && !e.Shift && !e.Alt) DragCurvePoint(s, e.X, e.Y);
         }));
    h.On(graph, Event::MouseUp, [&s] { TableFromSpline(s); });
    h.On(graph, Event::DblClick, [&s] { ResetCurve(s); });
    h.On("Button2", Event::Click, [&s] { ResetCurve(s); });
    h.On("Gamma1spin", Event::Change, [&s] { GammaSpinChanged(s); });
    h.On("LinearSpline", Event::Click, [&s] { RedrawGraph(s); });
    s.seams.CreateCurves = [&s] { CreateGammaCurve(s); };
    s.seams.BuildGammaTable = [&s] {
        if (!CurveFromGamma(s.form.Gamma1spin.Value, s.ws.GammaCurve)) CurveFromGamma(1.0, s.ws.GammaCurve);
    };
}

}  // namespace talvenor
