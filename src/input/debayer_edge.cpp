#include "input/debayer_edge.h"

#include <algorithm>
#include <cstdlib>

#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

// Green at a red or blue sample `c` (padded mosaic, row stride s): from the two greens along
// the direction in which the picture changes less, corrected by the curvature of the pixel's
// own colour along it (the greens' mean alone would blur the edge back in); both directions
// alike, from all four. The result stays between the greens it came from: the correction
// would otherwise ring beside a hard edge, a dark or bright seam along a planet's limb.
inline int GreenAt(const uint16_t* c, std::ptrdiff_t s) {
    const int left = c[-1], right = c[1], up = c[-s], down = c[s];
    const int own2 = 2 * c[0];
    const int curveH = own2 - c[-2] - c[2], curveV = own2 - c[-2 * s] - c[2 * s];
    const int gradH = std::abs(left - right) + std::abs(curveH);
    const int gradV = std::abs(up - down) + std::abs(curveV);
    if (gradH < gradV)
        return std::clamp((2 * (left + right) + curveH + 2) >> 2, std::min(left, right), std::max(left, right));
    if (gradV < gradH)
        return std::clamp((2 * (up + down) + curveV + 2) >> 2, std::min(up, down), std::max(up, down));
    return std::clamp((2 * (left + right + up + down) + curveH + curveV + 4) >> 3, std::min({left, right, up, down}),
                      std::max({left, right, up, down}));
}

void GreenRows(const uint16_t* p, int w, BayerPattern pattern, int y0, int y1, uint16_t* green) {
    const std::ptrdiff_t s = w + 4, gs = w + 2;
    for (int y = y0; y <= y1; ++y) {
        const uint16_t* m = p + (y + 2) * s + 2;
        uint16_t* g = green + (y + 1) * gs + 1;
        const int rowChannel[2] = {BayerChannelAt(pattern, 0, y), BayerChannelAt(pattern, 1, y)};
        for (int x = 0; x < w; ++x) g[x] = rowChannel[x & 1] == 1 ? m[x] : uint16_t(GreenAt(m + x, s));
    }
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
void ColourRows(const uint16_t* p, const uint16_t* green, int w, BayerPattern pattern, int limit, int y0, int y1,
                uint16_t* rgb) {
    const std::ptrdiff_t s = w + 4, gs = w + 2;
    for (int y = y0; y <= y1; ++y) {
        const uint16_t* m = p + (y + 2) * s + 2;
        const uint16_t* g = green + (y + 1) * gs + 1;
        uint16_t* out = rgb + std::size_t(y) * std::size_t(w) * 3;
        const int rowChannel[2] = {BayerChannelAt(pattern, 0, y), BayerChannelAt(pattern, 1, y)};
        for (int x = 0; x < w; ++x, out += 3) {
            const uint16_t* c = m + x;
            const uint16_t* cg = g + x;
            const int own = rowChannel[x & 1];
            const int g0 = cg[0];
            out[1] = uint16_t(g0);
            if (own == 1) {
                const int across = rowChannel[(x + 1) & 1];
                const int h2 = 2 * g0 + (c[-1] - cg[-1]) + (c[1] - cg[1]);
                const int v2 = 2 * g0 + (c[-s] - cg[-gs]) + (c[s] - cg[gs]);
                out[across] = uint16_t(std::clamp((h2 + 1) >> 1, 0, limit));
                out[2 - across] = uint16_t(std::clamp((v2 + 1) >> 1, 0, limit));
            } else {
                const int nw = c[-s - 1], ne = c[-s + 1], sw = c[s - 1], se = c[s + 1];
                const int gnw = cg[-gs - 1], gne = cg[-gs + 1], gsw = cg[gs - 1], gse = cg[gs + 1];
                const int grad1 = std::abs(nw - se) + std::abs(2 * g0 - gnw - gse);
                const int grad2 = std::abs(ne - sw) + std::abs(2 * g0 - gne - gsw);
                const int d1 = (nw - gnw) + (se - gse), d2 = (ne - gne) + (sw - gsw);
                int v;
                if (grad1 < grad2) v = (2 * g0 + d1 + 1) >> 1;
                else if (grad2 < grad1) v = (2 * g0 + d2 + 1) >> 1;
                else v = (4 * g0 + d1 + d2 + 2) >> 2;
                out[own] = c[0];
                out[2 - own] = uint16_t(std::clamp(v, 0, limit));
            }
        }
    }
}

}  // namespace

void DebayerEdgeSamples(const uint16_t* mosaic, int width, int height, BayerPattern pattern, uint16_t* rgb) {
    const int w = width, h = height;
    const std::vector<uint16_t> padded = MirrorPaddedMosaic(mosaic, w, h, 2);
    // Nothing made up may be brighter than the brightest sample or darker than black: a colour
    // difference carried across a hard edge would otherwise overshoot (and an 8-bit picture
    // wrap past its byte).
    const int limit = *std::max_element(mosaic, mosaic + std::size_t(w) * std::size_t(h));
    std::vector<uint16_t> green(std::size_t(w + 2) * std::size_t(h + 2));
    ParallelRows(0, h - 1, [&](int y0, int y1) { GreenRows(padded.data(), w, pattern, y0, y1, green.data()); }, 128);
    MirrorGreenBorder(green.data(), w, h);
    ParallelRows(
        0, h - 1, [&](int y0, int y1) { ColourRows(padded.data(), green.data(), w, pattern, limit, y0, y1, rgb); }, 128);
}

}  // namespace talvenor
