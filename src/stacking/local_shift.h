#pragma once
// One frame at one alignment point: where the point's patch of the reference lies in the frame
// (the local shift, to a fraction of a pixel) and how sharp the frame is there.
#include <vector>

#include "stacking/alignment_points.h"

namespace talvenor {

struct LocalMatch {
    float Dx = 0, Dy = 0;  // frame position x + Dx shows reference position x
    float Quality = 0;
    bool Ok = false;       // false: no clear best position within the search radius
};

// A luminance picture and its half-size copy (2 x 2 means), on which the search starts.
struct MatchPlanes {
    LumaView Full, Half;
};

// The half-size copy of `full` into `storage`: all of it, or the part over columns left..right
// and rows top..bottom (the rest is left as it was, zeros in storage of a new size).
void HalveLuma(const LumaView& full, LargeFloats& storage, LumaView& half, int left = 0, int top = 0,
               int right = -1, int bottom = -1);

// Matches the box of `size` with top-left (x0, y0) of `reference` in `frame` (both the same
// grid: the frame already at its whole global shift), over offsets up to `search` pixels
// around (cx, cy). The
// frame's brightness is matched to the reference's over the box first (thin cloud), the best
// whole offset is found by the sum of squared differences (on the half-size pictures near the
// centre, then at full size walking from there to the lowest sum within the radius), and the
// fraction by a parabola through its neighbours. The box and
// its search must lie inside both planes (see PointFits).
LocalMatch MatchPatch(const MatchPlanes& reference, const MatchPlanes& frame, int x0, int y0, int size, int search,
                      int cx = 0, int cy = 0);

// The sharpness of the frame over the box: the energy of its differences across two pixels
// relative to its mean level squared. Blur lowers it; noise adds about the same to every frame
// of a capture, so it ranks the frames of one point by their blur.
float LocalQuality(const LumaView& frame, int x0, int y0, int size);

}  // namespace talvenor
