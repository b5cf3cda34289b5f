#include "wavelets/spline_editing.h"

#include <cmath>

namespace talvenor {

int LastPointNear(const TBSpline& spline, int x, int y, int distance, int first, int last) {
    int found = 0;
    for (int i = first; i <= last; ++i) {
        const auto [px, py] = spline.GetPoint(i);
        if (std::fabs(float(x) - px) < float(distance) && std::fabs(float(y) - py) < float(distance)) found = i;
    }
    return found;
}

bool InsertBetweenNeighbours(TBSpline& spline, int x, int y) {
    for (int i = 1; i < spline.PointCount(); ++i) {
        const float left = spline.GetPoint(i).first, right = spline.GetPoint(i + 1).first;
        if (left < float(x) && float(x) < right) {
            spline.InsertPoint(i + 1, float(x), float(y));
            return true;
        }
    }
    return false;
}

bool MoveInteriorPoint(TBSpline& spline, int i, int x, int y, int spacing) {
    const float left = spline.GetPoint(i - 1).first, right = spline.GetPoint(i + 1).first;
    if (!(left + float(spacing) < float(x) && float(x) < right - float(spacing))) return false;
    spline.SetPoint(i, float(x), float(y));
    return true;
}

}  // namespace talvenor
