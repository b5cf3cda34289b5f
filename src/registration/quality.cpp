#include "registration/quality.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "workspace/canvas.h"

namespace talvenor {
namespace {

constexpr uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF, kGrey = 0xC0C0C0;
constexpr uint32_t kRed = 0xFF0000, kGreen = 0x008000, kBlue = 0x0000FF;

// A graph coordinate from a real value, rounded to nearest (ties to even). Values come from
// user-settable controls and stored qualities, so a NaN or an absurd magnitude is clamped
// instead of being handed to lrint, whose result would then be unspecified; the canvas clips
// whatever lies outside the picture.
int PixelCoord(double v) {
    if (std::isnan(v)) return 0;
    constexpr double kLimit = 1e8;
    return int(std::lrint(std::clamp(v, -kLimit, kLimit)));
}

bool ValidFrame(int index) { return index >= 0 && index <= kMaxFrameIndex; }

// The last rank a graph or a cut may look at: the ranking holds kMaxFrames entries whatever
// a slider or a loaded project claims.
int ClampRank(int rank) { return std::clamp(rank, 0, kMaxFrameIndex); }

std::string Fixed5(double v) {
    // Locale-independent on purpose: the GUI runs with the user's locale, where printf
    // would write a decimal comma.
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 5);
    return res.ec == std::errc{} ? std::string(buf, res.ptr) : std::string("?");
}

void VerticalLine(Canvas& canvas, int x, int height) {
    canvas.MoveTo(x, 0);
    canvas.LineTo(x, height);
}

float DifferenceAtRank(const Workspace& ws, int rank) {
    const int frame = ws.Ranking[std::size_t(rank)].FrameIndex;
    return ValidFrame(frame) ? ws.Frames[std::size_t(frame)].Difference : 0.0f;
}

// One ranked curve: from the pen position through ranks 0..m, the pen dotted from the first
// rank that misses the quality percentage on. A single rank has no width to span, so its
// value is drawn as a level across the whole graph.
template <typename YOfRank>
void DrawRankCurve(Canvas& canvas, const Workspace& ws, int m, int width, double percent, YOfRank yOf) {
    const double sx = m > 0 ? double(width) / m : 0.0;
    bool poor = false;
    for (int r = 0; r <= m; ++r) {
        if (!poor && !IsGoodRank(ws, r, percent)) {
            poor = true;
            canvas.Pen.Style = PenStyle::Dotted;
        }
        canvas.LineTo(PixelCoord(r * sx), yOf(r));
    }
    if (m == 0) canvas.LineTo(width, canvas.PenPos().y);
}

}  // namespace

void ClearGraph(Picture& graph) {
    const int w = std::max(graph.Width, 0), h = std::max(graph.Height, 0);
    if (graph.Image.Width() != w || graph.Image.Height() != h) graph.Image.SetSize(w, h);
    Canvas canvas(graph.Image);
    canvas.Pen = CanvasPen{.Colour = kBlack};
    canvas.Brush = CanvasBrush{.Colour = kWhite};
    canvas.Rectangle(0, 0, w, h);

    canvas.Pen.Colour = kGrey;
    for (int i = 0; i <= 10; ++i) {
        const int y = h - (h / 10) * i - 2;
        canvas.MoveTo(1, y);
        canvas.LineTo(w - 1, y);
    }
    for (int i = 0; i <= 10; ++i) {
        const int x = (w / 10) * i + 1;
        canvas.MoveTo(x, 1);
        canvas.LineTo(x, h - 1);
    }
}

QualityRating QualityRating::Of(const Controls& form) {
    return {{PixelCoord(form.QualityFilter.Value), PixelCoord(form.QualFilterDX.Value)}, form.Contrast.Checked};
}

float QualityRating::Of(const FftEngine& fft, const FrameRecord* record) const {
    // Bin i holds radius i + 1; only bins 0..50 enter the graph and the quality, which also
    // keeps the measure comparable whatever the box size.
    double total = 0, band = 0;
    for (int i = 0; i <= 50; ++i) {
        const double v = fft.RadialSpectrum[std::size_t(i)];
        total += v;
        if (Band.Start < i && i < Band.Start + Band.Width) band += v;
    }
    double quality = band / (total + 1e-10);
    // A uniform box (no contrast) then rates 0: it carries no detail whatever its spectrum says.
    if (Contrast && record) quality *= record->AlignDifference;
    return float(quality);
}

float MeasureQuality(AppContext& c, const FftEngine& fft, bool draw) {
    Workspace& ws = c.ws;
    Controls& form = c.form;
    const QualityRating rating = QualityRating::Of(form);
    const int qf = rating.Band.Start, dx = rating.Band.Width;
    const int frame = ws.CurrentFrame;
    FrameRecord* record = ValidFrame(frame) ? &ws.Frames[std::size_t(frame)] : nullptr;
    const float stored = rating.Of(fft, record);
    if (record) {
        // Each de-interlaced field is rated on its own; the first one keeps its value apart.
        if (form.Interlaced.Checked && ws.FieldIndex == 0)
            record->QualityA = stored;
        else
            record->Quality = stored;
    }
    if (!draw) return stored;

    Picture& graph = form.imgGraph;
    ClearGraph(graph);
    const int w = graph.Image.Width(), h = graph.Image.Height();
    Canvas canvas(graph.Image);
    canvas.Pen = CanvasPen{.Colour = kRed};
    graph.Axes = {.X = "frequency (cycles per box)",
                  .Y = "power (relative)",
                  .Legend = {{kRed, "power spectrum"}, {kGreen, "quality band"}}};
    if (form.FFTFilter.Checked) graph.Axes.Legend.push_back({kBlue, "FFT filter"});

    // The engine is shared and read-only here, so the guard against an all-zero spectrum
    // stays local instead of being added to the engine's maximum.
    const double spectrumMax = double(fft.RadialSpectrumMax) + 1e-10;
    const auto binHeight = [&](int bin) {
        const double index = 1000.0 * fft.RadialSpectrum[std::size_t(bin)] / spectrumMax;
        // A spectrum above its own maximum (or not computed yet) must not index past the curve.
        const int i = std::isnan(index) ? 0 : int(std::lrint(std::clamp(index, 0.0, 1000.0)));
        return PixelCoord(h * ws.GammaCurve[std::size_t(i)]);
    };
    const int step = w / 50;
    canvas.MoveTo(0, h - binHeight(0));
    for (int i = 0; i <= 50; ++i) canvas.LineTo(i * step + 1, h - binHeight(i));

    canvas.Pen = CanvasPen{.Colour = kGreen, .Width = 2};
    const int bandStart = PixelCoord(double(qf) * step);
    VerticalLine(canvas, bandStart + 1, h);
    VerticalLine(canvas, PixelCoord((double(qf) + dx) * step) + 1, h);

    if (form.FFTFilter.Checked) {
        canvas.Pen = CanvasPen{.Colour = kBlue, .Width = 2};
        const int x = PixelCoord(form.FFTFilterspin.Value * step) + 1;
        VerticalLine(canvas, x, h);
    }
    canvas.Pen.Width = 1;
    canvas.Font.Colour = kBlack;
    canvas.TextOut(150, 17, "quality :" + Fixed5(stored));
    c.host.Repaint(&graph);
    return stored;
}

void SortRanking(Workspace& ws) {
    const int last = std::min(ws.LastFrame, int(ws.Ranking.size()) - 1);
    if (last < 1) return;
    struct Entry {
        int32_t frame;
        float quality;
    };
    std::vector<Entry> entries(std::size_t(last) + 1);
    for (int r = 0; r <= last; ++r)
        entries[std::size_t(r)] = {ws.Ranking[std::size_t(r)].FrameIndex, ws.Ranking[std::size_t(r)].RankQuality};
    // Descending and stable: equal qualities keep ascending frame order. A NaN quality (only
    // from a damaged project) sorts last rather than breaking the ordering the sort relies on.
    const auto key = [](float q) { return std::isnan(q) ? -std::numeric_limits<float>::infinity() : q; };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return key(a.quality) > key(b.quality); });
    for (int r = 0; r <= last; ++r) {
        ws.Ranking[std::size_t(r)].FrameIndex = entries[std::size_t(r)].frame;
        ws.Ranking[std::size_t(r)].RankQuality = entries[std::size_t(r)].quality;
    }
}

bool IsGoodRank(const Workspace& ws, int rank, double percent) {
    if (rank < 0 || rank >= int(ws.Ranking.size())) return false;
    const double best = double(ws.Ranking[0].RankQuality) + 0.000001;
    return double(ws.Ranking[std::size_t(rank)].RankQuality) / best >= percent * 0.01;
}

int AlignAndStackCut(const Workspace& ws, int selectedCount, double p) {
    const int m = std::min(selectedCount - 1, kMaxFrameIndex);
    if (m <= 0) return 0;
    const double best = ws.Ranking[0].RankQuality;
    for (int q = 1; q <= m; ++q) {
        if (q == m) return m;
        if (q >= 2 && double(ws.Ranking[std::size_t(q)].RankQuality) < p * best) return q - 1;
    }
    return m;
}

GraphAxes RankGraphAxes() {
    return {.X = "rank", .Y = "quality, difference (relative)",
            .Legend = {{kRed, "image quality"}, {kBlue, "registration difference"}}};
}

void DrawRankGraph(AppContext& c) {
    Workspace& ws = c.ws;
    Controls& form = c.form;
    Picture& graph = form.imgGraph;
    ClearGraph(graph);
    const int w = graph.Image.Width(), h = graph.Image.Height();
    Canvas canvas(graph.Image);
    canvas.Pen = CanvasPen{.Colour = kRed};
    graph.Axes = RankGraphAxes();

    const int m = ClampRank(form.AlignSlider.MaxValue);
    const double percent = form.OptimizeQualitySpin.Value;

    const double best = double(ws.Ranking[0].RankQuality) + 0.000001;
    canvas.MoveTo(0, 0);
    DrawRankCurve(canvas, ws, m, w, percent, [&](int r) {
        return h - PixelCoord(h * double(ws.Ranking[std::size_t(r)].RankQuality) / best);
    });

    canvas.Pen = CanvasPen{.Colour = kBlue};
    const int cutY = h - PixelCoord(form.differencecutslider.Value * 0.01 * h);
    canvas.MoveTo(0, cutY);
    canvas.LineTo(w, cutY);

    double largest = 0;
    for (int r = 0; r <= m; ++r) largest = std::max(largest, double(DifferenceAtRank(ws, r)));
    const double d = largest + 0.000001;
    canvas.MoveTo(0, h);
    DrawRankCurve(canvas, ws, m, w, percent,
                  [&](int r) { return h - PixelCoord(h * double(DifferenceAtRank(ws, r)) / d); });
    canvas.Pen.Style = PenStyle::Solid;

    form.StackGraph.Image = graph.Image;
    form.StackGraph.Axes = graph.Axes;
    c.host.Repaint(&graph);
    c.host.Repaint(&form.StackGraph);
}

void DrawGraphMarker(AppContext& c) {
    Picture& graph = c.form.imgGraph;
    const Slider& slider = c.form.AlignSlider;
    const int w = graph.Image.Width(), h = graph.Image.Height();
    const int x = slider.MaxValue > 0 ? PixelCoord(double(w) * slider.Value / slider.MaxValue) : 0;
    Canvas canvas(graph.Image);
    canvas.Pen = CanvasPen{.Colour = kGreen};
    VerticalLine(canvas, x, h);
    c.host.Repaint(&graph);
}

}  // namespace talvenor
