#pragma once
// The mouse editing the curve graphs share (the gamma curve, the hue, saturation and lightness
// curves): picking the point under the pointer, inserting between neighbours, and moving an
// interior point without letting it come near its neighbours. Coordinates are graph pixels.
#include "wavelets/tb_spline.h"

namespace talvenor {

// The last point among first .. last (1-based, inclusive) closer than `distance` to (x, y) in
// both x and y; 0 when there is none.
int LastPointNear(const TBSpline& spline, int x, int y, int distance, int first, int last);

// (x, y) inserted between the first pair of consecutive points whose x values strictly enclose
// x. False when no pair does (left of the first point, right of the last, or on a point's x).
bool InsertBetweenNeighbours(TBSpline& spline, int x, int y);

// Interior point i becomes (x, y) only when x stays more than `spacing` from both neighbours'
// x values, so the points keep their order. False when the move is refused.
bool MoveInteriorPoint(TBSpline& spline, int i, int x, int y, int spacing);

}  // namespace talvenor
