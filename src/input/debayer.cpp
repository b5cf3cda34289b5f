#include "input/debayer.h"

#include <vector>

namespace talvenor {

int BayerChannelAt(BayerPattern pattern, int x, int y) {
    // Top-left cell of each pattern: [row 0 col 0, row 0 col 1, row 1 col 0, row 1 col 1].
    static constexpr int kCells[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
    return kCells[int(pattern)][(y & 1) * 2 + (x & 1)];
}

void DebayerBilinear(Bitmap24& picture, BayerPattern pattern) {
    const int w = picture.Width(), h = picture.Height();
    if (w < 2 || h < 2) return;
    std::vector<uint8_t> mosaic(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mosaic[std::size_t(y) * w + x] = picture.Row(y)[3 * x + 1];
    // A neighbour past the edge is its mirror image inside (which has the same filter colour).
    const auto mirror = [](int i, int n) { return i < 0 ? -i : (i >= n ? 2 * n - 2 - i : i); };
    for (int y = 0; y < h; ++y) {
        uint8_t* row = picture.Row(y);
        for (int x = 0; x < w; ++x) {
            int sum[3] = {0, 0, 0}, count[3] = {0, 0, 0};
            const int own = BayerChannelAt(pattern, x, y);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    const int c = BayerChannelAt(pattern, sx & 1 ? 1 : 0, sy & 1 ? 1 : 0);
                    if (c == own) continue;
                    sum[c] += mosaic[std::size_t(mirror(sy, h)) * w + mirror(sx, w)];
                    ++count[c];
                }
            int value[3];
            for (int c = 0; c < 3; ++c)
                value[c] = c == own ? mosaic[std::size_t(y) * w + x] : (sum[c] + count[c] / 2) / std::max(1, count[c]);
            row[3 * x] = uint8_t(value[2]);
            row[3 * x + 1] = uint8_t(value[1]);
            row[3 * x + 2] = uint8_t(value[0]);
        }
    }
    picture.Touch();
}

}  // namespace talvenor
