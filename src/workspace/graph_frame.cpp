#include "workspace/graph_frame.h"

#include <algorithm>

#include "workspace/bitmap_font.h"
#include "workspace/canvas.h"

namespace talvenor {

namespace {

constexpr int kSide = 8, kRight = kGraphFrameWidth - kSide, kRow = 13, kSample = 14, kGap = 12;
constexpr uint32_t kBlack = 0x000000;

int TextWidth(const std::string& text) { return int(text.size()) * BitmapFont::kCellWidth; }

// The legend's entries placed in rows: the row of each entry and its left edge.
struct Placed {
    int row = 0, x = 0;
};
std::vector<Placed> PlaceLegend(const GraphAxes& axes, int width) {
    std::vector<Placed> placed;
    int row = 0, x = 2;
    for (const GraphAxes::Entry& e : axes.Legend) {
        const int wide = kSample + 4 + TextWidth(e.Text);
        if (x > 2 && x + wide > width) {
            ++row;
            x = 2;
        }
        placed.push_back({row, x});
        x += wide + kGap;
    }
    return placed;
}

}  // namespace

GraphMargins MarginsOf(const GraphAxes& axes, int dataWidth) {
    if (axes.Empty()) return {};
    const std::vector<Placed> legend = PlaceLegend(axes, kSide + dataWidth + kRight);
    const int rows = legend.empty() ? 0 : legend.back().row + 1;
    return {kSide, kRow, kRight, kRow + rows * kRow};
}

Bitmap24 FramedGraph(const Bitmap24& data, const GraphAxes& axes) {
    if (axes.Empty()) return data;
    const GraphMargins m = MarginsOf(axes, data.Width());
    const int w = data.Width(), h = data.Height();
    Bitmap24 out(m.Left + w + m.Right, m.Top + h + m.Bottom);
    out.Fill(Bgr{255, 255, 255});
    for (int y = 0; y < h; ++y) std::copy_n(data.Row(y), std::size_t(w) * 3, out.Row(m.Top + y) + 3 * m.Left);

    Canvas c(out);
    c.Pen = CanvasPen{.Colour = kBlack};
    c.Font.Colour = kBlack;
    // The axes just outside the data, so no data pixel is covered.
    c.MoveTo(m.Left - 2, m.Top);
    c.LineTo(m.Left - 2, m.Top + h + 1);
    c.LineTo(m.Left + w, m.Top + h + 1);
    c.TextOut(2, 1, "^ " + axes.Y);
    const std::string x = axes.X + " ->";
    c.TextOut(std::max(2, m.Left + w - TextWidth(x)), m.Top + h + 3, x);

    const std::vector<Placed> placed = PlaceLegend(axes, out.Width());
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const int top = m.Top + h + kRow + placed[i].row * kRow + 2;
        c.Pen = CanvasPen{.Colour = axes.Legend[i].Colour, .Width = 2};
        c.MoveTo(placed[i].x, top + 4);
        c.LineTo(placed[i].x + kSample, top + 4);
        c.TextOut(placed[i].x + kSample + 4, top, axes.Legend[i].Text);
    }
    return out;
}

}  // namespace talvenor
