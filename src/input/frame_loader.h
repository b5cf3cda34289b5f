#pragma once
// Brings one frame of an image series into the current frame (and, for FITS, FitsPlane),
// and runs a pass's per-frame step over the selected frames of a series. Frames are never
// cached: every pass reads every frame it uses again.
#include <functional>
#include <string>
#include <vector>

#include "workspace/app_context.h"

namespace talvenor {

// Reads one series file by the input type into CurrentFrameImage (24 bits). BMP and JPEG
// leave the workspace sizes alone; FITS and TIFF set ImageWidth/SourceWidth (and heights)
// to the frame's size clamped to 4096. Decoder errors are thrown as talvenor::Error.
void LoadFrame(AppContext& c, const std::string& path);

// The series caption prefix for a pass over frame `index` (TIF series named TIF).
void SetProcessingCaption(AppContext& c, int index);

struct SeriesPass {
    // Frames to handle, in order (the alignment pass: every frame; the stacker: its ranks).
    std::vector<int> Frames;
    // Total for the progress gauge; 0 skips the gauge update.
    int Total = 0;
    // The alignment pass shrinks the working size to the smallest frame and skips its step
    // once cancel was requested.
    bool AlignmentPass = false;
    // The per-frame step; it reads CurrentFrameImage, CurrentFrame and FieldIndex.
    std::function<void()> Step;
};

// Runs the step over every frame that is not Excluded, de-interlaced into two fields when
// `Interlaced` is checked. Stops early when the step or the user cancels (CancelRequested).
void RunSeriesPass(AppContext& c, const SeriesPass& pass);

}  // namespace talvenor
