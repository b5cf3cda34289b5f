#pragma once
// Alignment points: seeing moves and blurs each area of a few dozen pixels on its own, so the
// stack is also made area by area. A point is a square box on the stack; for every frame it
// gets its own shift (against the global stack, around the frame's global shift) and its own
// quality, each point stacks its own sharpest frames, and the boxes are blended with windows
// that fall to zero at their edges. Pixels no point covers keep the global stack.
//
// This file holds what the points are and where they go; alignment_point_stack.h makes the
// stack from them.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/parallel_rows.h"
#include "workspace/single2d_array.h"
#include "workspace/zeroed_memory.h"

namespace talvenor {

// A point: the centre of its box in stack coordinates. Every point of a stack has the same
// box size (AlignmentPointState::Size).
struct AlignmentPoint {
    int X = 0, Y = 0;
};

struct AlignmentPointSettings {
    int Size = 0;                // box side in pixels (even); 0 = from the object's size
    double MinBrightness = 0.2;  // a box's mean over the object's bright level
    double MinStructure = 0.25;  // a box's detail over the median box's
    int Search = 4;              // local shifts are searched this far around the global one
};

// The smallest and largest box the automatic size picks.
constexpr int kMinPointSize = 24;
constexpr int kMaxPointSize = 128;
// The largest box side at all (points placed by hand, or read from a project).
constexpr int kMaxBoxSide = 512;

// A luminance picture to place points on (the global stack's), any scale.
struct LumaView {
    const float* Data = nullptr;
    std::size_t Stride = 0;
    int Width = 0, Height = 0;
    float At(int x, int y) const { return Data[std::size_t(x) + std::size_t(y) * Stride]; }
};

// The object's bright level: a high percentile of the picture, so a few hot pixels do not set it.
float BrightLevel(const LumaView& luma);

// The diameter of the object: of a disk with as many pixels as reach `minBrightness` of the
// bright level (a planet's, or the whole frame for the Moon or the Sun filling it).
double ObjectDiameter(const LumaView& luma, double minBrightness);

// The box side for an object of the picture's size: about a sixth of its diameter (small enough
// to follow how seeing bends a planet or a lunar field, large enough to align on its detail), a
// multiple of 8 within 24..128.
int AutomaticPointSize(const LumaView& luma, double minBrightness);

// The margin a box keeps from the picture's edge so that its search and the interpolation
// taps stay inside.
int PointMargin(int search);

// Places boxes of `size` on a grid of size / 2 over the picture, keeping those bright enough
// and with enough structure; none on a black picture.
std::vector<AlignmentPoint> PlaceAlignmentPoints(const LumaView& luma, int size, const AlignmentPointSettings& settings);

// Whether a box centred at (x, y) lies inside a picture of width x height with the margin.
bool PointFits(int x, int y, int size, int search, int width, int height);

// A rectangle of the stack, edges included.
struct PointRegion {
    int Left = 0, Top = 0, Right = -1, Bottom = -1;
};

// What one frame showed at one point.
struct PointMeasure {
    float Dx = 0, Dy = 0;   // the local shift against the reference, around the frame's whole global shift
    float Quality = 0;      // the local sharpness (larger is sharper); below 0: not measured
    uint8_t Failed = 0;     // the shift was taken from the neighbours
    uint8_t Used = 0;       // the point stacked this frame
};

// A frame measured on a lane of its own: its picture, its luminance at its whole global shift
// over the points' rectangle (as the frame planes would give it) and what it covers.
struct PointLane {
    Bitmap24 Picture;
    Single2dArray Luma;
    std::array<Single2dArray, 4> Planes;  // adding: the channels, as the frame planes hold them
    LargeFloats Half;
    std::vector<float> Xs, Ys;
    PointRegion Cover;
};

// One frame's chosen boxes read at their shifts on a lane, waiting for the frame's turn to be
// added.
struct SampledBoxes {
    std::vector<std::size_t> Chosen;  // the points
    LargeFloats Patches;              // their boxes, channel after channel, point after point
};

// The points of the work in hand and what the last stack with them measured. Per-point data
// are bounded by points x frames.
struct AlignmentPointState {
    std::vector<AlignmentPoint> Points;
    int Size = 0;
    // Points the user placed or edited stay for the next stack; automatic ones are placed again
    // on every stack (the stack they were placed on may be another capture's).
    bool PlacedByUser = false;

    // The last stack with points: the frames measured (frame indices, in reading order), a
    // measure per frame and point (frame-major), how many frames each point stacked, and how
    // many stacked boxes took their shift from the neighbours.
    std::vector<int> Frames;
    // (Large blocks: at thousands of frames the table runs to megabytes, faulted in a large page
    // at a time rather than hundreds of small ones.)
    std::vector<PointMeasure, LargeBlockAllocator<PointMeasure>> Measures;
    std::vector<int> KeptPerPoint;
    int FailedShifts = 0;
    bool LastStackUsedPoints = false;

    // Scratch kept from stack to stack: one frame at its whole global shift (planes swapped in
    // for the stacker's), the reference luminance, the blended sums and weights, and the
    // sampled boxes of one frame.
    std::array<Single2dArray, 4> FramePlanes;
    Single2dArray FrameCover;
    Single2dArray ReferenceLuma, FrameLuma;
    std::array<Single2dArray, 3> PointSums;
    Single2dArray PointWeights;
    LargeFloats Patches;
    LargeFloats ReferenceHalf, FrameHalf;
    PointRegion Region;  // what the frame planes hold of each frame
    std::unique_ptr<RowWorkers> Workers;  // both cores, kept from frame to frame
    // The lanes' scratch, kept from pass to pass and from stack to stack: memory a pass touches
    // first costs more on a virtual machine than the pass's work in it. Each pass writes all of
    // the points' rectangle it reads.
    std::vector<PointLane> Lanes;
    // The boxes lanes sampled, a few frames' worth more than there are lanes: a lane that is
    // done with a frame before the frame before it is added leaves its boxes here and goes on.
    std::vector<SampledBoxes> Sampled;
    // A plain 8-bit frame is copied without a cover plane: what it covers is a rectangle.
    bool FrameIsPlain = false;
    PointRegion PlainCover;
    int PlainShiftX = 0, PlainShiftY = 0;
    // Plain frames are measured, sampled and added whole, side by side on lanes of their own; set,
    // one at a time with each frame's work split over the workers (the exactness test compares
    // the two).
    bool OneFrameAtATime = false;
    // Set, every measured frame's shift is found at every point (for a table of them all); else
    // only where a point stacks the frame, which gives the same stack for a fraction of the work.
    bool ShiftsOfEveryFrame = false;

    PointMeasure& Measure(std::size_t frameSlot, std::size_t point) { return Measures[frameSlot * Points.size() + point]; }
    const PointMeasure& Measure(std::size_t frameSlot, std::size_t point) const {
        return Measures[frameSlot * Points.size() + point];
    }
    // Forgets the points and the measures (a new input).
    void Reset();
};

}  // namespace talvenor
