#pragma once
// The stack made area by area at the alignment points. It starts from the global stack (the
// stacker's planes, each pixel already divided by its coverage), which is the reference the
// points are placed on and matched against, and what pixels outside every point keep.
//
// Two passes over the capture, in file order (a compressed video decodes forward): every
// candidate frame's quality is measured at every point, then the frames some point chose are
// read again, each chosen box is matched to the reference for its local shift and added there
// with a window that falls to zero at the box edge. The result replaces the stacker's planes.
#include <string>
#include <vector>

#include "stacking/alignment_points.h"
#include "stacking/stacker.h"
#include "workspace/app_context.h"
#include "workspace/safe_file_writer.h"

namespace talvenor {

// The point settings of the Stacking page's controls.
AlignmentPointSettings PointSettingsFrom(const Controls& f);

// Why the points cannot be used with the options in force (drizzle, resampling, ...), or
// empty when they can.
std::string PointsRefusal(const AppContext& c);

// How many frames each point stacks when the candidates are `candidates` and the global stack
// took `globalCount`: the count or percentage of the page, by default the global count.
int FramesPerPoint(const Controls& f, int candidates, int globalCount);

// The luminance of the global stack in the stacker's planes, into ap.ReferenceLuma.
void MakeReferenceLuma(AppContext& c, AlignmentPointState& ap);
LumaView ReferenceView(const AlignmentPointState& ap);

// "Place automatically": points on the reference by the page's settings (their size too).
void PlacePointsAutomatically(AppContext& c, AlignmentPointState& ap);

// The stack from the points. `globalCount` is the number of frames the global stack took.
// Returns false, leaving the global stack, when no point could be placed or the user cancelled.
bool StackAlignmentPoints(AppContext& c, StackerState& st, AlignmentPointState& ap, int globalCount);

// One row per measured frame and point: frame index, point x, y, local dx, dy (against the
// frame's global shift), local quality, used (0/1), failed (0/1). The shifts are every frame's
// only when the stack was made with ShiftsOfEveryFrame.
// Written line by line: a long capture has a row for every frame at every point.
void WriteAlignmentPointCsv(const AppContext& c, const AlignmentPointState& ap, SafeFileWriter& out);

}  // namespace talvenor
