#include "input/input_colour.h"

#include <algorithm>

namespace talvenor {

bool IsGreyPicture(const Bitmap24& picture, int tolerance) {
    if (picture.HoldsGrey()) return true;
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.Row(y);
        for (int x = 0; x < picture.Width(); ++x, p += 3) {
            const auto [lo, hi] = std::minmax({p[0], p[1], p[2]});
            if (hi - lo > tolerance) return false;
        }
    }
    return true;
}

}  // namespace talvenor
