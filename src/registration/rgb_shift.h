#pragma once
// Whole-pixel shifts of the red and blue channels of a colour stack against green.
//
// Atmospheric dispersion and the optics leave the red and blue images of a colour capture
// slightly displaced against the green one. The shift is applied when the working planes of
// the wavelet page are built from the stacked planes, so everything downstream sees the
// corrected channels; "Estimate" searches the offsets that best match red and blue to green
// in a square around the alignment feature.
#include <functional>
#include <utility>
#include <vector>

#include "workspace/app_context.h"
#include "workspace/bitmap24.h"
#include "workspace/controls.h"
#include "workspace/single2d_array.h"
#include "workspace/workspace.h"

namespace talvenor {

// Offsets tried in each direction by the search, and the margin kept around the area for it.
constexpr int kChannelSearchRadius = 30;
constexpr int kChannelSearchSide = 2 * kChannelSearchRadius + 1;  // 61
// The search square's half side never exceeds this, which bounds the cost of an estimate.
constexpr int kMaxChannelAreaHalf = 128;

// Fills ResultPlanes from StackSum over the stacked image (ImageWidth x ImageHeight):
// - monochrome: plane 1 is copied, one column and one row past the image included;
// - colour with LRGB: plane 1 becomes the luminance stack (useLuminancePlane) or the
//   LrgbWeight mix of the three channels, red and blue taken at their shifted positions and
//   left out where those fall outside the image;
// - colour: green is copied, red and blue are taken at their shifted positions; where a
//   shifted position falls outside the image the output is 0, so no value left from an
//   earlier stack or shift shows at the edge.
// Planes that are missing or smaller than the image (nothing stacked yet) are left alone.
void BuildWorkingPlanes(Workspace& ws, bool colour, bool lrgb, bool useLuminancePlane);

// The shifts as the spins show them to the user: a positive horizontal value moves the
// channel's content right, a positive vertical one moves it up. Values are rounded to the
// nearest whole pixel, ties to even.
void ShiftsFromSpins(Workspace& ws, const Controls& f);

// The square the channel offsets are estimated on: centre (cx, cy), half side h, in
// stacked-image pixels. h may be negative when the feature sits too close to an edge for the
// search margin; the area is then empty.
struct ShiftArea {
    int cx = 0, cy = 0, h = 0;
    friend bool operator==(const ShiftArea&, const ShiftArea&) = default;
};

// The square around the alignment feature (scaled as the stack was: resampled or drizzled),
// shrunk so that it and the 30-pixel search margin stay inside the image.
ShiftArea EstimationArea(const Workspace& ws, const Controls& f);

// The area (green) and its search margin (yellow, 30 pixels larger on every side), drawn in
// exclusive-or without fill, so drawing it again erases it.
void DrawEstimationArea(Bitmap24& picture, const ShiftArea& a);

// The mismatch E(dx, dy) = sum over i, j = -h..h of
// (green(cx + i, cy + j) - other(cx + i + dx, cy + j + dy))^2 in single precision, summed with
// i outer and j inner, for dx, dy = -30..30, at index (dx + 30) * 61 + (dy + 30). An empty
// area, or one that does not fit in both planes, gives 0 everywhere.
// `progress` (may be empty) is called on the calling thread as the offsets are done, at most
// once per dx, with the number of dx columns done so far (of 61).
std::vector<float> ChannelMismatch(const Single2dArray& green, const Single2dArray& other, const ShiftArea& a,
                                   const std::function<void(int columns)>& progress);

// The offset of smallest mismatch: (0, 0) unless some offset is strictly better; among equal
// better ones the first with dx outer, dy inner.
std::pair<int, int> SmallestMismatch(const std::vector<float>& mismatch);

// The offset (dx, dy) at which `other` best matches `green` over the area.
std::pair<int, int> BestChannelOffset(const Single2dArray& green, const Single2dArray& other, const ShiftArea& a,
                                      const std::function<void(int columns)>& progress);

// "Estimate": searches the red and the blue offsets against green around the feature (the
// area drawn on the processed image, progress shown beside the RGB-Shift window), sets the
// four spins so that the offsets are applied, takes the shifts from them and marks the
// wavelet layers stale. Rebuilding the working planes and the display is the caller's.
void EstimateChannelShifts(AppContext& c);

}  // namespace talvenor
