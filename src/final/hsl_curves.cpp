#include "final/hsl_curves.h"

#include <algorithm>
#include <cmath>

#include "wavelets/spline_editing.h"
#include "workspace/canvas.h"

namespace talvenor {

namespace {

constexpr int kStartPoints = 9;  // every 45 degrees
constexpr int kGridStep = 45;
constexpr int kSegments = 50;
constexpr int kDeleteDistance = 15;
constexpr int kDragPickDistance = 10;
constexpr int kSpacing = 15;
constexpr uint32_t kGridColour = 0x008000;
// Curve samples for the table: ten per table entry while the points are evenly spaced, and
// every sample pair is joined by a straight piece, so crowded points leave no entry unset.
constexpr int kTableSamples = 10 * (kHueSteps - 1);

void DrawingStyle(TBSpline& spline) {
    spline.SetInterpolate(true);
    spline.ShowPoints = true;
    spline.SetResolution(kSegments);
}

}  // namespace

void ResetHslSpline(TBSpline& spline) {
    spline.Clear();
    for (int i = 0; i < kStartPoints; ++i) spline.AddPoint(float(i * kGridStep), float(kHslNeutralY));
    DrawingStyle(spline);
}

void DrawHslGraph(TBSpline& spline, Bitmap24& graph) {
    graph.SetSize(kHslGraphWidth, kHslGraphHeight);
    Canvas c(graph);
    c.Brush.Colour = 0xFFFFFF;
    c.FillRect({0, 0, kHslGraphWidth, kHslGraphHeight});
    c.Pen.Colour = kGridColour;
    c.MoveTo(0, kHslNeutralY);
    c.LineTo(kHslGraphWidth, kHslNeutralY);
    for (int x = 0; x < kHslGraphWidth; x += kGridStep) {
        c.MoveTo(x, 0);
        c.LineTo(x, kHslGraphHeight);
    }
    DrawingStyle(spline);
    spline.Draw(c);
    graph.Touch();
}

bool InsertHslPoint(TBSpline& spline, int x, int y) { return InsertBetweenNeighbours(spline, x, y); }

bool DeleteHslPoint(TBSpline& spline, int x, int y) {
    const int found = LastPointNear(spline, x, y, kDeleteDistance, 2, spline.PointCount() - 1);
    if (found) spline.DeletePoint(found);
    return found != 0;
}

bool DragHslPoint(TBSpline& spline, int x, int y) {
    const int count = spline.PointCount();
    if (count < 2) return false;
    x = std::clamp(x, 0, kHslGraphWidth - 1);
    y = std::clamp(y, 0, kHslGraphHeight);
    const int selected = LastPointNear(spline, x, y, kDragPickDistance, 1, count);
    if (selected == 0) return false;
    const float end = float(kHslGraphWidth - 1);
    const bool endMoves = (selected == count && float(x) > spline.GetPoint(count - 1).first + kSpacing) ||
                          (selected == 1 && float(x) < spline.GetPoint(2).first - kSpacing);
    if (endMoves) {
        // Hue 0 and hue 360 are the same colour: the curve must meet itself there.
        spline.SetPoint(1, 0, float(y));
        spline.SetPoint(count, end, float(y));
        return true;
    }
    if (selected == 1 || selected == count) return false;
    // The point keeps its order and its distance from the neighbours horizontally, but always
    // follows the pointer up and down: a point put close to another (a hue picked near a grid
    // point) could otherwise never be raised or lowered at all.
    const auto [px, py] = spline.GetPoint(selected);
    const float left = spline.GetPoint(selected - 1).first, right = spline.GetPoint(selected + 1).first;
    const float nx = left + kSpacing < float(x) && float(x) < right - kSpacing ? float(x) : px;
    if (nx == px && float(y) == py) return false;
    spline.SetPoint(selected, nx, float(y));
    return true;
}

void TableFromCurve(TBSpline& spline, HslTable& table) {
    table.fill(0);
    if (spline.PointCount() < 2) return;
    // A curve whose points are all at one height is that height everywhere, exactly: the
    // spline's arithmetic leaves a few millionths, which would shift every hue a hair (an
    // untouched hue curve turned pure red (128,0,0) into (127,0,0)).
    const float height = spline.GetPoint(1).second;
    bool flat = true;
    for (int i = 2; i <= spline.PointCount(); ++i) flat = flat && spline.GetPoint(i).second == height;
    if (flat) {
        table.fill(float(kHslNeutralY) - height);
        return;
    }
    const int last = kHueSteps - 1;
    // The table is looked up by hue, so each entry takes the curve's height where it crosses
    // that hue (the x the user sees in the graph), whatever the spacing of the points. Where
    // the curve bends back over a hue, the later part wins.
    auto [xa, ya] = spline.Value(0);
    // The ends of the curve are the ends of the circle, even where rounding puts the curve's
    // first or last x a hair inside.
    table[0] = float(kHslNeutralY) - ya;
    table[std::size_t(last)] = float(kHslNeutralY) - spline.Value(1).second;
    for (int j = 1; j <= kTableSamples; ++j) {
        const auto [xb, yb] = spline.Value(float(j) / float(kTableSamples));
        if (std::isfinite(xa) && std::isfinite(xb) && std::isfinite(ya) && std::isfinite(yb)) {
            // The entries whose hue lies on this piece; those outside the table (a curve
            // overshooting an end) are left out.
            const float lo = std::ceil(std::min(xa, xb) * 10), hi = std::floor(std::max(xa, xb) * 10);
            const int from = int(std::clamp(lo, 0.0f, float(last + 1))), to = int(std::clamp(hi, -1.0f, float(last)));
            for (int k = from; k <= to; ++k) {
                const float f = xb == xa ? 1.0f : std::clamp((float(k) / 10 - xa) / (xb - xa), 0.0f, 1.0f);
                table[std::size_t(k)] = float(kHslNeutralY) - (ya + f * (yb - ya));
            }
        }
        xa = xb;
        ya = yb;
    }
}

}  // namespace talvenor
