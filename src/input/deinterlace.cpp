#include "input/deinterlace.h"

#include <algorithm>

namespace talvenor {

void Deinterlace(Bitmap24& frame, int field, bool horizontal, int width, int height) {
    const int w = std::min(width, frame.Width());
    const int h = std::min(height, frame.Height());
    if (w <= 0 || h <= 0) return;
    // Field 0 rebuilds the odd lines from 1, field 1 the even lines from 2; the lines read
    // always belong to the other field, so the order of work does not matter.
    const int first = field == 0 ? 1 : 2;
    if (!horizontal) {
        for (int r = first; r <= h - 2; r += 2) {
            const uint8_t* above = frame.Row(r - 1);
            const uint8_t* below = frame.Row(r + 1);
            uint8_t* out = frame.Row(r);
            for (int i = 0; i < 3 * w; ++i) out[i] = uint8_t((above[i] + below[i]) / 2);
        }
    } else {
        for (int r = 0; r < h; ++r) {
            uint8_t* row = frame.Row(r);
            for (int c = first; c <= w - 2; c += 2)
                for (int k = 0; k < 3; ++k) row[3 * c + k] = uint8_t((row[3 * (c - 1) + k] + row[3 * (c + 1) + k]) / 2);
        }
    }
    frame.Touch();
}

}  // namespace talvenor
