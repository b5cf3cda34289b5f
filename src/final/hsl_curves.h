#pragma once
// The hue, saturation and lightness curves of the Final page, without any window: each is a
// spline over the hue circle drawn in a 361 x 100 graph (x = hue 0 .. 360, y = 50 neutral,
// 0 at the top), edited with the mouse, and turned into a table of shifts per tenth of a
// degree that the render adds to every pixel of that hue.
#include <array>

#include "final/final_state.h"
#include "wavelets/tb_spline.h"
#include "workspace/bitmap24.h"

namespace talvenor {

constexpr int kHslGraphWidth = 361, kHslGraphHeight = 100;
constexpr int kHslNeutralY = 50;

using HslTable = std::array<float, kHueSteps>;

// Nine points (0, 50), (45, 50), .. (360, 50): interpolating, points shown, 50 segments.
void ResetHslSpline(TBSpline& spline);

// The graph on white with the green neutral line and the 45-degree grid, and the curve.
void DrawHslGraph(TBSpline& spline, Bitmap24& graph);

// Right click: (x, y) between the first pair of points enclosing x. False outside 0 .. 360
// (there is no pair there), and on a point's own x.
bool InsertHslPoint(TBSpline& spline, int x, int y);

// Ctrl + left click: the last interior point closer than 15 pixels in x and y goes. The ends
// stay, so the curve always covers the whole circle.
bool DeleteHslPoint(TBSpline& spline, int x, int y);

// A left-button drag to (x, y), limited to the graph: the last point closer than 10 pixels
// follows. The two ends are the same hue, so either end moves both to the new height (and
// only vertically); an interior point follows up and down, and sideways only while it stays
// more than 15 pixels from its neighbours. False when nothing moved.
bool DragHslPoint(TBSpline& spline, int x, int y);

// The table from the curve: entry k (hue k / 10) is 50 - y where the curve crosses that hue,
// so 0 on the neutral line, +50 at the top, -50 at the bottom. A curve with every point at one
// height gives exactly that height's entry everywhere.
void TableFromCurve(TBSpline& spline, HslTable& table);

}  // namespace talvenor
