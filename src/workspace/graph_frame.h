#pragma once
// The frame around a graph: what its axes stand for and the legend of its lines, drawn outside
// the data area so they never hide a curve or a cut-off line. The data picture itself keeps its
// size and coordinates (the handlers and the mouse work in them); the frame is composed around
// it when the graph is shown.
#include <cstdint>
#include <string>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor {

struct GraphAxes {
    struct Entry {
        uint32_t Colour = 0;  // 0xRRGGBB of the line it names
        std::string Text;
        bool operator==(const Entry&) const = default;
    };
    std::string X, Y;  // what each axis counts, with its unit where it has one
    std::vector<Entry> Legend;
    bool Empty() const { return X.empty() && Y.empty() && Legend.empty(); }
    bool operator==(const GraphAxes&) const = default;
};

// Where the data area sits in the framed picture and how much the frame adds around it.
struct GraphMargins {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
GraphMargins MarginsOf(const GraphAxes& axes, int dataWidth);
// How much wider than its data a framed graph is.
constexpr int kGraphFrameWidth = 14;

// The data picture at (Left, Top) of a white picture with the axes drawn along its left and
// bottom edges, the y axis named above it, the x axis named below its right end, and the legend
// under that (entries side by side as far as the width allows).
Bitmap24 FramedGraph(const Bitmap24& data, const GraphAxes& axes);

}  // namespace talvenor
