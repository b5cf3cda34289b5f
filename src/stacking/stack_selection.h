#pragma once
// The cut-offs that choose the frames to stack, their labels and graph, the frame at the
// quality cut-off, and the stack list through which single ranked frames are dropped.
#include "stacking/stacker.h"
#include "workspace/app_context.h"

namespace talvenor {

// The largest Difference over ranking positions 0 .. StackSlider.MaxValue.
float LargestDifference(const AppContext& c);

// The labels, the cut-off frame, the stack picture and the graph.
void StackSliderChange(AppContext& c, const StackerState& st);

// Toggles the check of every highlighted item of the stack list (the clicked one included)
// and the frames behind them.
void ToggleStackListItems(AppContext& c, int clicked);

}  // namespace talvenor
