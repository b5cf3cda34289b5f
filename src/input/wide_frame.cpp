#include "input/wide_frame.h"

#include <algorithm>

namespace talvenor {

namespace {
int ShiftUp(int depth) { return std::clamp(16 - depth, 0, 15); }
int ShiftDown(int depth) { return std::clamp(depth - 8, 0, 8); }
}  // namespace

namespace {

// One row of `width` pixels of C channels (1 grey, 3 R, G, B) into the wide row (R, G, B as
// little-endian 16-bit), held at `top` and shifted up by `up`; a template so each layout
// gets a loop without branches.
template <int C>
void WideRow(const uint16_t* in, int width, uint32_t top, int up, uint8_t* out) {
    for (int x = 0; x < width; ++x, out += 6, in += C)
        for (int c = 0; c < 3; ++c) {
            // Samples beyond the declared depth (a camera that overshoots) are held at its top.
            const uint32_t v = std::min<uint32_t>(in[C == 3 ? c : 0], top) << up;
            out[2 * c] = uint8_t(v & 0xFF);
            out[2 * c + 1] = uint8_t(v >> 8);
        }
}

template <int C>
void PictureRow(const uint16_t* in, int width, int down, uint8_t* row) {
    for (int x = 0; x < width; ++x, in += C, row += 3) {
        row[2] = uint8_t(std::min(in[0] >> down, 255));
        row[1] = uint8_t(std::min(in[C == 3 ? 1 : 0] >> down, 255));
        row[0] = uint8_t(std::min(in[C == 3 ? 2 : 0] >> down, 255));
    }
}

}  // namespace

void SetWideFrame(Workspace& ws, const uint16_t* samples, int channels, int width, int height, int depth) {
    TTIFFBitMap& wide = ws.FrameWide;
    if (!wide.HasWide || wide.Width() != width || wide.Height() != height) wide.CreateWide(width, height);
    const int up = ShiftUp(depth);
    const uint32_t top = (1u << std::clamp(depth, 1, 16)) - 1;
    for (int y = 0; y < height; ++y) {
        const uint16_t* in = samples + std::size_t(y) * std::size_t(width) * std::size_t(channels);
        uint8_t* out = wide.WideRows[std::size_t(y)];
        if (channels == 3) WideRow<3>(in, width, top, up, out);
        else WideRow<1>(in, width, top, up, out);
    }
    ws.FrameIsWide = true;
}

void PictureFromSamples(const uint16_t* samples, int channels, int width, int height, int depth, Bitmap24& picture) {
    if (picture.Width() != width || picture.Height() != height) picture.SetSize(width, height);
    const int down = ShiftDown(depth);
    for (int y = 0; y < height; ++y) {
        const uint16_t* in = samples + std::size_t(y) * std::size_t(width) * std::size_t(channels);
        if (channels == 3) PictureRow<3>(in, width, down, picture.Row(y));
        else PictureRow<1>(in, width, down, picture.Row(y));
    }
    picture.Touch();
}

}  // namespace talvenor
