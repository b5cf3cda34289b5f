#include "input/debayer_edge.h"

#include <algorithm>
#include <cstdlib>

#include "workspace/parallel_rows.h"
#include "workspace/vector_clones.h"

namespace talvenor {

namespace {

// Green at a red or blue sample `c` (padded mosaic, row stride s): from the two greens along
// the direction in which the picture changes less, corrected by the curvature of the pixel's
// own colour along it (the greens' mean alone would blur the edge back in); both directions
// alike, from all four. The result stays between the greens it came from: the correction
// would otherwise ring beside a hard edge, a dark or bright seam along a planet's limb.
// All three are worked out and one taken, without a branch: which one depends on the picture,
// and a row of pixels then goes through whole vectors.
inline int GreenAt(const uint16_t* c, std::ptrdiff_t s) {
    const int left = c[-1], right = c[1], up = c[-s], down = c[s];
    const int own2 = 2 * c[0];
    const int curveH = own2 - c[-2] - c[2], curveV = own2 - c[-2 * s] - c[2 * s];
    const int gradH = std::abs(left - right) + std::abs(curveH);
    const int gradV = std::abs(up - down) + std::abs(curveV);
    const int alongH = std::clamp((2 * (left + right) + curveH + 2) >> 2, std::min(left, right), std::max(left, right));
    const int alongV = std::clamp((2 * (up + down) + curveV + 2) >> 2, std::min(up, down), std::max(up, down));
    const int lo = std::min(std::min(left, right), std::min(up, down));
    const int hi = std::max(std::max(left, right), std::max(up, down));
    const int both = std::clamp((2 * (left + right + up + down) + curveH + curveV + 4) >> 3, lo, hi);
    return gradH < gradV ? alongH : gradV < gradH ? alongV : both;
}

// One row of the green plane: the mosaic's own greens at the even or odd columns (`greenParity`),
// the rest made by GreenAt.
TALVENOR_VECTOR_CLONES
void GreenRow(const uint16_t* m, std::ptrdiff_t s, int w, int greenParity, uint16_t* g) {
    for (int x = 0; x < w; ++x) {
        const int made = GreenAt(m + x, s);
        g[x] = (x & 1) == greenParity ? m[x] : uint16_t(made);
    }
}

void GreenRows(const uint16_t* p, int w, BayerPattern pattern, int y0, int y1, uint16_t* green) {
    const std::ptrdiff_t s = w + 4, gs = w + 2;
    for (int y = y0; y <= y1; ++y)
        GreenRow(p + (y + 2) * s + 2, s, w, BayerChannelAt(pattern, 0, y) == 1 ? 0 : 1, green + (y + 1) * gs + 1);
}

// The green plane's one-pixel border, mirrored like the mosaic's.
void MirrorGreenBorder(uint16_t* green, int w, int h) {
    const std::ptrdiff_t gs = w + 2;
    for (int y = 1; y <= h; ++y) {
        uint16_t* row = green + y * gs;
        row[0] = row[2];
        row[w + 1] = row[w - 1];
    }
    std::copy(green + 2 * gs, green + 3 * gs, green);
    std::copy(green + (h - 1) * gs, green + h * gs, green + (h + 1) * gs);
}

// Red and blue from green plus the colour difference (colour minus green) of the nearest
// pixels that saw them: the difference changes far more slowly across an edge than the colour
// itself. A red or blue pixel takes the other of the two from the diagonal pair along which
// the picture changes less.
//
// A row holds greens and one other colour, its own (red or blue). At a green, its own colour
// comes from the neighbours left and right (`along`), the other from those above and below
// (`across`); at its own colour, the other one from the diagonal pairs (`diagonal`). All three
// are worked out at every pixel, so the row goes through whole vectors, and each pixel then takes
// those of its kind.
TALVENOR_VECTOR_CLONES
void ColourCandidates(const uint16_t* m, const uint16_t* g, std::ptrdiff_t s, std::ptrdiff_t gs, int w, int limit,
                      uint16_t* __restrict along, uint16_t* __restrict across, uint16_t* __restrict diagonal) {
    for (int x = 0; x < w; ++x) {
        const uint16_t* c = m + x;
        const uint16_t* cg = g + x;
        const int g0 = cg[0];
        const int h2 = 2 * g0 + (c[-1] - cg[-1]) + (c[1] - cg[1]);
        const int v2 = 2 * g0 + (c[-s] - cg[-gs]) + (c[s] - cg[gs]);
        const int nw = c[-s - 1], ne = c[-s + 1], sw = c[s - 1], se = c[s + 1];
        const int gnw = cg[-gs - 1], gne = cg[-gs + 1], gsw = cg[gs - 1], gse = cg[gs + 1];
        const int grad1 = std::abs(nw - se) + std::abs(2 * g0 - gnw - gse);
        const int grad2 = std::abs(ne - sw) + std::abs(2 * g0 - gne - gsw);
        const int d1 = (nw - gnw) + (se - gse), d2 = (ne - gne) + (sw - gsw);
        const int v = grad1 < grad2 ? (2 * g0 + d1 + 1) >> 1 : grad2 < grad1 ? (2 * g0 + d2 + 1) >> 1 : (4 * g0 + d1 + d2 + 2) >> 2;
        along[x] = uint16_t(std::clamp((h2 + 1) >> 1, 0, limit));
        across[x] = uint16_t(std::clamp((v2 + 1) >> 1, 0, limit));
        diagonal[x] = uint16_t(std::clamp(v, 0, limit));
    }
}

// Every pixel of a row as red, green, blue: a green takes `along` as the row's colour and
// `across` as the other; a pixel of the row's colour keeps its sample and takes `diagonal`.
void ColourPixels(const uint16_t* m, const uint16_t* g, int w, int greenParity, int colour, const uint16_t* along,
                  const uint16_t* across, const uint16_t* diagonal, uint16_t* out) {
    const int other = 2 - colour;
    for (int x = 0; x < w; ++x, out += 3) {
        const bool green = (x & 1) == greenParity;
        out[colour] = green ? along[x] : m[x];
        out[1] = g[x];
        out[other] = green ? across[x] : diagonal[x];
    }
}

void ColourRows(const uint16_t* p, const uint16_t* green, int w, BayerPattern pattern, int limit, int y0, int y1,
                uint16_t* rgb) {
    const std::ptrdiff_t s = w + 4, gs = w + 2;
    std::vector<uint16_t> scratch(3 * static_cast<std::size_t>(w));
    uint16_t *along = scratch.data(), *across = along + w, *diagonal = across + w;
    for (int y = y0; y <= y1; ++y) {
        const int greenParity = BayerChannelAt(pattern, 0, y) == 1 ? 0 : 1;
        const int colour = BayerChannelAt(pattern, 1 - greenParity, y);  // the row's red (0) or blue (2)
        const uint16_t* m = p + (y + 2) * s + 2;
        const uint16_t* g = green + (y + 1) * gs + 1;
        ColourCandidates(m, g, s, gs, w, limit, along, across, diagonal);
        ColourPixels(m, g, w, greenParity, colour, along, across, diagonal, rgb + std::size_t(y) * std::size_t(w) * 3);
    }
}

}  // namespace

void DebayerEdgeSamples(const uint16_t* mosaic, int width, int height, BayerPattern pattern, uint16_t* rgb,
                        DebayerScratch& scratch) {
    const int w = width, h = height;
    MirrorPaddedMosaic(mosaic, w, h, 2, scratch.Padded);
    const std::vector<uint16_t>& padded = scratch.Padded;
    // Nothing made up may be brighter than the brightest sample or darker than black: a colour
    // difference carried across a hard edge would otherwise overshoot (and an 8-bit picture
    // wrap past its byte).
    const int limit = *std::max_element(mosaic, mosaic + std::size_t(w) * std::size_t(h));
    // Every sample of the green plane is written below (the border by MirrorGreenBorder).
    std::vector<uint16_t>& green = scratch.Green;
    green.resize(std::size_t(w + 2) * std::size_t(h + 2));
    ParallelRows(0, h - 1, [&](int y0, int y1) { GreenRows(padded.data(), w, pattern, y0, y1, green.data()); }, 128);
    MirrorGreenBorder(green.data(), w, h);
    ParallelRows(
        0, h - 1, [&](int y0, int y1) { ColourRows(padded.data(), green.data(), w, pattern, limit, y0, y1, rgb); }, 128);
}

}  // namespace talvenor
