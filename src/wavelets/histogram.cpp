#include "wavelets/histogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "workspace/canvas.h"

namespace talvenor {

namespace {

constexpr int kPlotLeft = 9;     // x of bin 0
constexpr int kPlotBottom = 250; // y of a zero count
constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kSilver = 0xC0C0C0, kShadow = 0x808080;
constexpr uint32_t kTeal = 0x008080, kRed = 0xFF0000;
constexpr uint32_t kCurveColours[3] = {0xFF0000, 0x008000, 0x0000FF};

// The marker that follows the pointer keeps this far from the other.
constexpr int kMarkerGap = 16;
// The lowest position the low marker can be dragged to (the pointer at the graph's left
// limit); the high marker stops where the low one would have to leave the graph.
constexpr int kLowestLowPos = 7 + 7;
constexpr int kLowestHighPos = kLowestLowPos + kMarkerGap;

// The strip under the curves where the marker triangles sit.
constexpr int kMarkerTop = 251, kMarkerRows = 8, kMarkerHalfWidth = 6;

// Rounded to one decimal, as the window writes its levels ("125.3"; never "-0").
std::string OneDecimal(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", std::nearbyint(v * 10) * 0.1 + 0.0);
    return text;
}

// The y of a count: huge counts lie far above the picture, kept within what the canvas takes.
int CountY(double count, int scale) {
    const double y = std::nearbyint(kPlotBottom - count / scale * kPlotBottom);
    return int(std::clamp(y, -1.0e6, 1.0e6));
}

void Curve(Canvas& c, const std::array<int32_t, 256>& bins, bool smooth, int scale) {
    std::vector<PixelPoint> points{{kPlotLeft, 255}};
    if (smooth) {
        for (int i = 5; i <= 250; ++i) {
            double sum = 0;
            for (int k = i - 2; k <= i + 2; ++k) sum += bins[std::size_t(k)];
            points.push_back({i + kPlotLeft, CountY(sum * 0.2, scale)});
        }
    } else {
        for (int i = 0; i <= 255; ++i) points.push_back({i + kPlotLeft, CountY(bins[std::size_t(i)], scale)});
    }
    c.Polyline(points);
}

void VerticalLine(Canvas& c, uint32_t colour, int x, int y0, int y1) {
    c.Pen.Colour = colour;
    c.MoveTo(x, y0);
    c.LineTo(x, y1);
}

// A triangle pointing up at the marker's line, over a grey shadow one pixel down and right.
void MarkerTriangle(Canvas& c, int pos, uint32_t colour) {
    const int cx = pos - 4;
    for (const auto& [shift, fill] : {std::pair{1, kShadow}, std::pair{0, colour}}) {
        c.Brush.Colour = fill;
        for (int row = 0; row < kMarkerRows; ++row) {
            const int half = (row * kMarkerHalfWidth + kMarkerRows / 2) / (kMarkerRows - 1);
            const int y = kMarkerTop + row + shift;
            c.FillRect({cx - half + shift, y, cx + half + shift + 1, y + 1});
        }
    }
}

// What the two drawings share: white, texts, grid, curves (each followed by the marker lines
// while dragging) and the markers.
void Draw(Bitmap24& graph, const ChannelHistograms& h, const HistogramLook& look, const HistogramState& st,
          const std::string& hi, const std::string& lo, bool dragging) {
    graph.SetSize(kHistographWidth, kHistographHeight);
    Canvas c(graph);
    c.Brush.Colour = kWhite;
    c.FillRect({0, 0, kHistographWidth, kHistographHeight});
    c.Font.Colour = kBlack;
    c.TextOut(10, 10, "  hi: " + hi);
    c.TextOut(10, 25, "  lo: " + lo);

    const int columnStep = dragging ? 50 : 51;
    for (int i = 0; i <= 5; ++i) {
        VerticalLine(c, kSilver, columnStep * i + kPlotLeft, 0, kPlotBottom);
        c.MoveTo(kPlotLeft, 50 * i);
        c.LineTo(264, 50 * i);
    }

    const int scale = HistogramScale(h, look.showPeak);
    for (int ch = 0; ch < 3; ++ch) {
        c.Pen.Colour = kCurveColours[ch];
        Curve(c, h[std::size_t(ch)], look.smooth, scale);
        if (dragging) {
            VerticalLine(c, kTeal, st.LowPos - 4, 0, 255);
            VerticalLine(c, kRed, st.HighPos - 4, 0, 255);
        }
    }
    MarkerTriangle(c, st.LowPos, kTeal);
    MarkerTriangle(c, st.HighPos, kRed);
    graph.Touch();
}

}  // namespace

GraphAxes HistogramAxes() {
    return {.X = "level",
            .Y = "count",
            .Legend = {{kCurveColours[0], "red"}, {kCurveColours[1], "green"}, {kCurveColours[2], "blue"},
                       {kTeal, "low marker"}, {kRed, "high marker"}}};
}

int HistogramScale(const ChannelHistograms& h, bool showPeak) {
    int64_t peak = 0;
    for (const auto& bins : h)
        for (std::size_t i = 11; i <= 245; ++i) peak = std::max(peak, int64_t(bins[i - 1]) + bins[i] + bins[i + 1]);
    const int64_t p3 = peak / 3;
    const int64_t scale = showPeak ? p3 : int64_t(std::nearbyint(double(p3) * 0.5));
    return int(std::max<int64_t>(scale, 1));
}

float MarkerValue(const HistogramState& st, int pos) {
    const double span = double(st.HistRangeHi) - st.HistRangeLo;
    return float(st.HistRangeLo + double(pos - kMarkerBinOffset) / 255.0 * span);
}

void DrawHistogram(Bitmap24& graph, const ChannelHistograms& h, const HistogramLook& look, const HistogramState& st,
                   float histLo, float histHi) {
    Draw(graph, h, look, st, OneDecimal(histHi), OneDecimal(histLo), false);
}

void DrawMarkerDrag(Bitmap24& graph, const ChannelHistograms& h, const HistogramLook& look, const HistogramState& st) {
    Draw(graph, h, look, st, OneDecimal(MarkerValue(st, st.HighPos)), OneDecimal(MarkerValue(st, st.LowPos)), true);
}

bool DragMarker(HistogramState& st, int x, int y, float& histLo, float& histHi) {
    if (x <= 6 || x > 262) return false;
    if (std::abs(st.HighPos - x) < 30 && y > 200) {
        if (st.LowPos + kMarkerGap < st.HighPos) st.HighPos = std::max(x + 7, kLowestHighPos);
    } else if (std::abs(st.LowPos - x) < 30 && y > 200 && st.LowPos + kMarkerGap - 1 < st.HighPos) {
        st.LowPos = x + 7;
    }
    if (st.HighPos - st.LowPos < kMarkerGap - 1) st.LowPos = st.HighPos - kMarkerGap;
    // The limits are the levels the texts show, so what the next rebuild applies is what
    // "Stretch" would make of the markers, also inside an earlier stretch.
    histHi = MarkerValue(st, st.HighPos);
    histLo = MarkerValue(st, st.LowPos);
    return true;
}

void StretchToMarkers(HistogramState& st, float& histLo, float& histHi) {
    const float hi = MarkerValue(st, st.HighPos), lo = MarkerValue(st, st.LowPos);
    if (hi - lo < kNarrowestStretch) return;
    histHi = hi;
    histLo = lo;
    st.LowPos = kLowMarkerHome;
    st.HighPos = kHighMarkerHome;
    st.HistRangeHi = histHi;
    st.HistRangeLo = histLo;
}

void ResetStretch(HistogramState& st, float& histLo, float& histHi) {
    histLo = 0;
    histHi = 255;
    st = HistogramState{};
}

}  // namespace talvenor
