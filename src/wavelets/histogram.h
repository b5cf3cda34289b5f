#pragma once
// The histogram window's graph and its stretch: the counts of the processed image's display
// levels drawn as three curves, the two markers the user drags under the graph, and the
// stretch that maps the levels between the markers onto the full range.
//
// Graph coordinates: bin i of a curve is drawn at x = i + 9, the y axis runs from 250 (no
// count) up to 0 (a count of the scale). Marker positions count from the window's edge, so a
// marker at position p stands for bin p - 14 and its line is drawn at x = p - 4.
#include <array>
#include <cstdint>

#include "workspace/bitmap24.h"
#include "workspace/graph_frame.h"

namespace talvenor {

// Counts of display levels 0..255 per channel R, G, B.
using ChannelHistograms = std::array<std::array<int32_t, 256>, 3>;

constexpr int kHistographWidth = 281, kHistographHeight = 260;
constexpr int kLowMarkerHome = 15, kHighMarkerHome = 270;
// A marker at position p stands for bin p - kMarkerBinOffset.
constexpr int kMarkerBinOffset = 14;

// The stretch as the window shows it. HistLo and HistHi, which the rebuild applies, live in
// the workspace; this is the range the graph's first and last bin stand for, in the same
// display units, and where the markers are.
struct HistogramState {
    float HistRangeLo = 0, HistRangeHi = 255;
    int LowPos = kLowMarkerHome, HighPos = kHighMarkerHome;
};

// The window's two check boxes.
struct HistogramLook {
    bool showPeak = false;  // the full peak reaches the top instead of half of it
    bool smooth = false;    // curves of five-bin sums
};

// The count drawn at the top of the graph: a third of the largest three-bin sum over bins
// 10..246 of any channel (the ends, where clipped levels pile up, are left out), or half of
// that unless the full peak is asked for; at least 1.
int HistogramScale(const ChannelHistograms& h, bool showPeak);

// The level a marker position stands for in the graph's current range.
float MarkerValue(const HistogramState& st, int pos);

// What the graph's axes count and what its lines are, shown around it.
GraphAxes HistogramAxes();

// The picture after a rebuild: white, the stretch limits as texts, a silver grid every 51
// levels, the three curves and the two markers. The picture is sized to the graph.
void DrawHistogram(Bitmap24& graph, const ChannelHistograms& h, const HistogramLook& look, const HistogramState& st,
                   float histLo, float histHi);

// The picture while a marker is dragged: the grid every 50 pixels, the markers' levels as
// texts, and each marker's line across the graph.
void DrawMarkerDrag(Bitmap24& graph, const ChannelHistograms& h, const HistogramLook& look, const HistogramState& st);

// The pointer moved to (x, y) over the graph with the left button held: the marker near it
// (only in the strip above the markers, y > 200) follows, the two kept at least 15 pixels
// apart, and the limits become the markers' levels. The picture is not redrawn and nothing
// is rebuilt. Returns false, changing nothing, when x is beside the graph.
bool DragMarker(HistogramState& st, int x, int y, float& histLo, float& histHi);

// "Stretch": the levels between the markers become the limits and the graph's new range;
// the markers go back to the ends. Repeated stretches narrow the range further, down to
// kNarrowestStretch: a narrower one would show only black and white, and a few more would
// leave both limits on one float, so such a press changes nothing.
constexpr float kNarrowestStretch = 1.0f;
void StretchToMarkers(HistogramState& st, float& histLo, float& histHi);

// "Reset": no stretch, the full range 0..255, the markers at the ends.
void ResetStretch(HistogramState& st, float& histLo, float& histHi);

}  // namespace talvenor
