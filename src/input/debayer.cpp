#include "input/debayer.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "input/debayer_edge.h"
#include "workspace/parallel_rows.h"

namespace talvenor {

namespace {

constexpr BayerPattern kPatterns[] = {BayerPattern::Rggb, BayerPattern::Grbg, BayerPattern::Gbrg, BayerPattern::Bggr};
constexpr const char* kPatternNames[] = {"RGGB", "GRBG", "GBRG", "BGGR"};

std::string Upper(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Reflects i about the first and last index until it lies inside 0..n-1 (n >= 2); each
// reflection moves it an even distance, so the filter colour stays the same.
int Mirror(int i, int n) {
    for (;;) {
        if (i < 0) i = -i;
        else if (i >= n) i = 2 * n - 2 - i;
        else return i;
    }
}

// Bilinear demosaic of rows y0..y1 from the mosaic padded by one sample (`p`, stride w + 2):
// the orthogonal and diagonal neighbours that saw a colour are always four, the pair beside a
// green pixel two, which is what the rounded means divide by.
void BilinearRows(const uint16_t* p, int w, BayerPattern pattern, int y0, int y1, uint16_t* rgb) {
    const std::ptrdiff_t s = w + 2;
    for (int y = y0; y <= y1; ++y) {
        const uint16_t* m = p + (y + 1) * s + 1;
        uint16_t* out = rgb + std::size_t(y) * std::size_t(w) * 3;
        const int rowChannel[2] = {BayerChannelAt(pattern, 0, y), BayerChannelAt(pattern, 1, y)};
        for (int x = 0; x < w; ++x, out += 3) {
            const uint16_t* c = m + x;
            const int own = rowChannel[x & 1];
            if (own == 1) {
                const int across = rowChannel[(x + 1) & 1];  // the colour beside it in this row
                out[1] = c[0];
                out[across] = uint16_t((c[-1] + c[1] + 1) >> 1);
                out[2 - across] = uint16_t((c[-s] + c[s] + 1) >> 1);
            } else {
                out[own] = c[0];
                out[1] = uint16_t((c[-1] + c[1] + c[-s] + c[s] + 2) >> 2);
                out[2 - own] = uint16_t((c[-s - 1] + c[-s + 1] + c[s - 1] + c[s + 1] + 2) >> 2);
            }
        }
    }
}

}  // namespace

std::optional<DebayerMethod> ParseDebayerMethod(std::string_view text) {
    const std::string s = Upper(text);
    if (s == "BILINEAR") return DebayerMethod::Bilinear;
    if (s == "EDGE") return DebayerMethod::Edge;
    return std::nullopt;
}

const char* DebayerMethodName(DebayerMethod method) {
    return method == DebayerMethod::Edge ? "edge" : "bilinear";
}

std::optional<BayerPattern> ParseBayerPattern(std::string_view text) {
    const std::string s = Upper(text);
    for (int i = 0; i < 4; ++i)
        if (s == kPatternNames[i]) return kPatterns[i];
    return std::nullopt;
}

const char* BayerPatternName(BayerPattern pattern) { return kPatternNames[int(pattern)]; }

int BayerChannelAt(BayerPattern pattern, int x, int y) {
    // Top-left cell of each pattern: [row 0 col 0, row 0 col 1, row 1 col 0, row 1 col 1].
    static constexpr int kCells[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
    return kCells[int(pattern)][(y & 1) * 2 + (x & 1)];
}

void MirrorPaddedMosaic(const uint16_t* mosaic, int width, int height, int border, std::vector<uint16_t>& padded) {
    const int pw = width + 2 * border, ph = height + 2 * border;
    padded.resize(std::size_t(pw) * std::size_t(ph));
    std::vector<int> columns(std::size_t(pw), 0);
    for (int x = 0; x < pw; ++x) columns[std::size_t(x)] = Mirror(x - border, width);
    for (int y = 0; y < ph; ++y) {
        const uint16_t* src = mosaic + std::size_t(Mirror(y - border, height)) * std::size_t(width);
        uint16_t* dst = padded.data() + std::size_t(y) * std::size_t(pw);
        std::copy(src, src + width, dst + border);
        for (int x = 0; x < border; ++x) {
            dst[x] = src[columns[std::size_t(x)]];
            dst[pw - 1 - x] = src[columns[std::size_t(pw - 1 - x)]];
        }
    }
}

void DebayerSamples(const uint16_t* mosaic, int width, int height, BayerPattern pattern,
                    DebayerMethod method, uint16_t* rgb, DebayerScratch* scratch) {
    if (width <= 0 || height <= 0) return;
    DebayerScratch own;
    DebayerScratch& work = scratch ? *scratch : own;
    if (width < 2 || height < 2) {
        for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i)
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = mosaic[i];
        return;
    }
    if (method == DebayerMethod::Edge) {
        DebayerEdgeSamples(mosaic, width, height, pattern, rgb, work);
        return;
    }
    MirrorPaddedMosaic(mosaic, width, height, 1, work.Padded);
    const uint16_t* padded = work.Padded.data();
    ParallelRows(0, height - 1, [&](int y0, int y1) { BilinearRows(padded, width, pattern, y0, y1, rgb); }, 128);
}

void Debayer(Bitmap24& picture, BayerPattern pattern, DebayerMethod method, DebayerScratch* scratch) {
    const int w = picture.Width(), h = picture.Height();
    if (w < 2 || h < 2) return;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    DebayerScratch own;
    DebayerScratch& work = scratch ? *scratch : own;
    // Kept from frame to frame by a caller with scratch: fresh buffers of a frame's size each
    // time were most of a raw colour capture's alignment pass in zeroing and page faults.
    work.Mosaic.resize(n);
    work.Rgb.resize(3 * n);
    uint16_t* mosaic = work.Mosaic.data();
    const uint16_t* rgb = work.Rgb.data();
    if (picture.HoldsGrey()) {
        for (int y = 0; y < h; ++y) {
            const uint8_t* grey = picture.GreyRow(y);
            for (int x = 0; x < w; ++x) mosaic[std::size_t(y) * std::size_t(w) + std::size_t(x)] = grey[x];
        }
    } else {
        const uint8_t* bytes = std::as_const(picture).Data();
        for (std::size_t i = 0; i < n; ++i) mosaic[i] = bytes[3 * i + 1];
    }
    DebayerSamples(mosaic, w, h, pattern, method, work.Rgb.data(), &work);
    // Every value lies within the samples' range, so each fits its byte unchanged.
    uint8_t* out = picture.Data();
    for (std::size_t i = 0; i < n; ++i) {
        out[3 * i] = uint8_t(rgb[3 * i + 2]);
        out[3 * i + 1] = uint8_t(rgb[3 * i + 1]);
        out[3 * i + 2] = uint8_t(rgb[3 * i]);
    }
    picture.Touch();
}

void DebayerBilinear(Bitmap24& picture, BayerPattern pattern) { Debayer(picture, pattern, DebayerMethod::Bilinear); }

}  // namespace talvenor
