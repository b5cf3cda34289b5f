#include "input/wide_frame.h"

#include <algorithm>


namespace talvenor {

namespace {
int ShiftUp(int depth) { return std::clamp(16 - depth, 0, 15); }
int ShiftDown(int depth) { return std::clamp(depth - 8, 0, 8); }
}  // namespace

void SetWideFrame(Workspace& ws, const uint16_t* samples, int channels, int width, int height, int depth) {
    TTIFFBitMap& wide = ws.FrameWide;
    if (!wide.HasWide || wide.Width() != width || wide.Height() != height) wide.CreateWide(width, height);
    const int up = ShiftUp(depth);
    const uint32_t top = (1u << std::clamp(depth, 1, 16)) - 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* out = wide.WideRows[std::size_t(y)];
        const uint16_t* in = samples + std::size_t(y) * std::size_t(width) * std::size_t(channels);
        for (int x = 0; x < width; ++x, out += 6, in += channels)
            for (int c = 0; c < 3; ++c) {
                // Samples beyond the declared depth (a camera that overshoots) are held at its top.
                const uint32_t v = std::min<uint32_t>(in[channels == 3 ? c : 0], top) << up;
                out[2 * c] = uint8_t(v & 0xFF);
                out[2 * c + 1] = uint8_t(v >> 8);
            }
    }
    ws.FrameIsWide = true;
}

void PictureFromSamples(const uint16_t* samples, int channels, int width, int height, int depth, Bitmap24& picture) {
    if (picture.Width() != width || picture.Height() != height) picture.SetSize(width, height);
    const int down = ShiftDown(depth);
    auto level = [down](uint16_t v) { return uint8_t(std::min(v >> down, 255)); };
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.Row(y);
        const uint16_t* in = samples + std::size_t(y) * std::size_t(width) * std::size_t(channels);
        for (int x = 0; x < width; ++x, in += channels) {
            row[3 * x + 2] = level(in[0]);
            row[3 * x + 1] = level(in[channels == 3 ? 1 : 0]);
            row[3 * x] = level(in[channels == 3 ? 2 : 0]);
        }
    }
    picture.Touch();
}

}  // namespace talvenor
