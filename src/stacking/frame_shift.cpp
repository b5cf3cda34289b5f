#include "stacking/frame_shift.h"

#include <algorithm>
#include <cmath>

namespace talvenor {

FrameShift ShiftOf(int wholeX, int wholeY, float subX, float subY, bool subPixel) {
    const bool measured = !(subX == 0 && subY == 0 && (wholeX != 0 || wholeY != 0));
    if (subPixel && measured) return {double(subX), double(subY)};
    return {double(wholeX), double(wholeY)};
}

namespace {
// The whole part rounds up, so the fraction left over, whole - shift, lies in [0, 1): the
// drop then always starts inside the first output cell and nothing falls below it.
void Split(double shift, int& whole, float& fraction) {
    const double up = std::ceil(shift);
    whole = int(up);
    fraction = float(up - shift);
    if (fraction >= 1.0f) fraction = 0, whole -= 1;  // a float rounding of 1 - tiny
}
}  // namespace

DrizzleDrop DropOf(FrameShift shift, double factor) {
    if (!(factor > 0)) factor = 1;
    DrizzleDrop d;
    Split(shift.X / factor, d.Dx, d.Fx);
    Split(shift.Y / factor, d.Dy, d.Fy);
    return d;
}

std::vector<DrizzleCell> DrizzleWeights(float fx, float fy, float p) {
    // Every cell the drop overlaps takes its share. (Choosing the cells by the drop's corners
    // would miss a cell the drop spans completely: a drop of 0.8 from 0.45 to 1.25 would lose
    // the cell from 0.5 to 1.0 and with it most of its weight.)
    float w[4][4] = {};
    float sum = 0;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) {
            const float left = i / 2.0f, right = (i + 1) / 2.0f, top = k / 2.0f, bottom = (k + 1) / 2.0f;
            w[i][k] = std::max(0.0f, std::min(fx + p, right) - std::max(fx, left)) *
                      std::max(0.0f, std::min(fy + p, bottom) - std::max(fy, top));
            sum += w[i][k];
        }
    if (sum == 0) sum = 1;
    std::vector<DrizzleCell> cells;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
            if (w[i][k] > 0) cells.push_back({i, k, w[i][k] / sum});
    return cells;
}

}  // namespace talvenor
