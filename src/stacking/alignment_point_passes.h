#pragma once
// The passes behind the alignment-point stack, shared by its files: frames read at their whole
// global shift into the points' planes (alignment_point_frames.cpp), every frame measured at
// every point and each point's frames chosen (alignment_point_measure.cpp), and the chosen
// boxes added and blended into the stack (alignment_point_blend.cpp).
#include <functional>
#include <string>
#include <vector>

#include "stacking/alignment_points.h"
#include "stacking/frame_shift.h"
#include "stacking/stacker.h"
#include "workspace/app_context.h"

namespace talvenor {

// How many planes the points work on (3 in colour, 1 grey), and the stacker's plane of channel k.
int Channels(const Controls& f);
std::size_t PlaneOf(const Controls& f, int k);
LumaView ViewOf(const Single2dArray& p);
PointRegion WholePlane(const Single2dArray& p);
// Creates the plane (reading as zeros) unless it has that size already; true when it was made.
bool Ensure(Single2dArray& p, int w, int h);
// The luminance of three planes (or the grey plane) into `out`, over the rectangle.
void LumaOf(const AppContext& c, const std::array<Single2dArray, 4>& planes, Single2dArray& out, const PointRegion& r);
// The frame's global shift, to the fraction when the alignment measured one.
FrameShift GlobalShift(const FrameRecord& r);

// The points' worker threads, started on first use.
RowWorkers& WorkersOf(AlignmentPointState& ap);

// The rectangle each frame is read over, the planes, and the sums cleared.
void PrepareScratch(AppContext& c, AlignmentPointState& ap);
// Reads `frames` in order and hands each to `handle` (with its place in the list) once it sits
// at its whole shift in the frame planes (with its luminance when `luma`), the progress under
// `title` and each frame's line beginning with `what`. False when the user cancelled.
bool ReadFramesInOrder(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames,
                       const std::string& title, const std::string& what, bool luma,
                       const std::function<void(std::size_t)>& handle);
// The frame in hand at its whole global shift in the points' frame planes (with its luminance
// when `luma`).
void PlaceFrameAtWholeShift(AppContext& c, StackerState& st, AlignmentPointState& ap, bool luma);

// Visits `frames` in order, each in the frame in hand, the progress under `title` and each
// frame's line beginning with `what`. False when the user cancelled.
bool VisitFramesInOrder(AppContext& c, const std::vector<int>& frames, const std::string& title, const std::string& what,
                        const std::function<void(std::size_t)>& visit);

// Whether every frame of the run is a plain 8-bit picture (no 16-bit samples, FITS planes or
// calibration), whose luminance a lane can place straight from its bytes.
bool PlainRun(const AppContext& c);
// A frame measured on a lane of its own: its picture, its luminance at its whole global shift
// over the points' rectangle (as the frame planes would give it) and what it covers.
struct PointLane {
    Bitmap24 Picture;
    Single2dArray Luma;
    std::array<Single2dArray, 4> Planes;  // adding: the channels, as the frame planes hold them
    std::vector<float> Patches;           // adding: the frame's chosen boxes read at their shifts
    std::vector<float> Half;
    std::vector<float> Xs, Ys;
    PointRegion Cover;
};
// The lane's luminance of frame `frame` (whose picture the lane holds).
void PlaceLaneLuma(const AppContext& c, const AlignmentPointState& ap, PointLane& lane, int frame);
// The lane's channels of frame `frame` at its whole global shift over the points' rectangle.
void PlaceLanePlanes(const AppContext& c, const AlignmentPointState& ap, PointLane& lane, int frame);
bool FrameCoversPlain(const PointRegion& region, const PointRegion& cover, const AlignmentPoint& p, int size, int search);

// The luminance the points match in the frame read.
LumaView FrameLumaView(const AppContext& c, const AlignmentPointState& ap);
// Whether the frame read covers the box with its search margin.
bool FrameCovers(const AlignmentPointState& ap, const AlignmentPoint& p, int size, int search);

// The frames a point may choose from, best first, and those measured, in file order.
std::vector<int> RankedCandidates(const AppContext& c);
std::vector<int> MeasuredFrames(std::vector<int> ranked, int keep);
// Pass 1: every measured frame at every point it covers: the local shift and quality.
bool MeasurePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const std::vector<int>& frames);
// Shifts that failed from their neighbours; each point's `keep` sharpest frames.
void FillFailedShifts(AlignmentPointState& ap);
void SelectFramesPerPoint(AlignmentPointState& ap, int keep);

// Pass 2: the chosen boxes added at their shifts with the window; then the blend into the
// stacker's planes.
bool AccumulatePoints(AppContext& c, StackerState& st, AlignmentPointState& ap);
void BlendPointsIntoStack(AppContext& c, AlignmentPointState& ap);

}  // namespace talvenor
