#pragma once
// The passes behind the alignment-point stack, shared by its files: frames read at their whole
// global shift into the points' planes (alignment_point_frames.cpp), every frame measured at
// every point and each point's frames chosen (alignment_point_measure.cpp), and the chosen
// boxes matched, added and blended into the stack (alignment_point_blend.cpp).
#include <functional>
#include <string>
#include <vector>

#include "stacking/alignment_points.h"
#include "stacking/frame_shift.h"
#include "stacking/local_shift.h"
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
// frame's line beginning with `what`. False when the user cancelled. With `band`, a capture
// stored as rows may read only the rows it gives of each frame (a visit that needs more calls
// Workspace::ReadWholeFrame); `done` runs once the frames are visited (or the user cancelled),
// before the frame in hand is read whole again.
bool VisitFramesInOrder(AppContext& c, const std::vector<int>& frames, const std::string& title, const std::string& what,
                        const std::function<void(std::size_t)>& visit,
                        const std::function<FrameRows(int64_t)>& band = {}, const std::function<void()>& done = {});
// The rows of `frame` the lanes read: the points' rectangle at the frame's whole shift.
FrameRows LaneRows(const AppContext& c, const AlignmentPointState& ap, int64_t frame);

// Whether every frame of the run is a plain 8-bit picture (no 16-bit samples, FITS planes or
// calibration), whose luminance a lane can place straight from its bytes.
bool PlainRun(const AppContext& c);
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

// What matching frames at the points needs, made once a stack: the reference with its half-size
// copy, and each point's neighbours (the points within one and a half boxes, whose shifts one
// that failed takes).
struct PointMatching {
    MatchPlanes Reference;
    std::vector<std::vector<std::size_t>> Neighbours;
};
PointMatching MakePointMatching(AlignmentPointState& ap);

// Runs `points(first, last)` over the points 0..count - 1, on the calling thread or the workers.
using PointRunner = std::function<void(int count, const std::function<void(int, int)>& points)>;
// One frame read for the points: its luminance at its whole global shift (with the half-size copy
// when it is to be matched), its slot among the measured frames, whether it covers a box with a
// search margin, how its points are run, and room for its consensus.
struct FrameAtPoints {
    MatchPlanes Planes;
    std::size_t Slot = 0;
    std::function<bool(const AlignmentPoint&, int size, int search)> Covers;
    PointRunner Run;
    std::vector<float>& Xs;
    std::vector<float>& Ys;
};
// A lane's frame (its luminance `luma` placed), or the frame in the points' planes, its points on
// the workers; `half` makes the half-size copy.
FrameAtPoints LaneFrame(const AlignmentPointState& ap, PointLane& lane, const Single2dArray& luma, std::size_t slot,
                        bool half);
FrameAtPoints PlanesFrame(const AppContext& c, AlignmentPointState& ap, std::size_t slot, bool half,
                          std::vector<float>& xs, std::vector<float>& ys);

// Pass 1: every measured frame's quality at every point it covers (and the local shifts, when
// every frame's are wanted); then each point's `keep` sharpest frames.
bool MeasurePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const PointMatching& matching,
                   const std::vector<int>& frames);
void SelectFramesPerPoint(AlignmentPointState& ap, int keep);
// The local shifts of the frame at the points in `chosen` (those that stack it). Where one finds
// nothing, the frame is looked at everywhere, as when every frame's shifts are measured, and the
// shifts that still failed are taken from the neighbours.
void MatchChosenPoints(const AppContext& c, AlignmentPointState& ap, const PointMatching& matching,
                       const FrameAtPoints& frame, const std::vector<std::size_t>& chosen);
// The frame's failed shifts (slot `slot`) from the neighbours' mean, else the global shift.
void FillFailedShifts(AlignmentPointState& ap, std::size_t slot, const std::vector<std::vector<std::size_t>>& near);
// The stacked boxes whose shift came from the neighbours.
int StackedShiftsFromNeighbours(const AlignmentPointState& ap);

// Pass 2: the chosen boxes added at their shifts with the window; then the blend into the
// stacker's planes.
bool AccumulatePoints(AppContext& c, StackerState& st, AlignmentPointState& ap, const PointMatching& matching);
void BlendPointsIntoStack(AppContext& c, AlignmentPointState& ap);

}  // namespace talvenor
