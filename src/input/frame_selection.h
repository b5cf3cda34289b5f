#pragma once
// Switching single frames on and off: the space bar on the preview slider, the check marks
// and double clicks of the frame list, "Set all", "Set none" and "Show frame list". Every
// change ends with a fresh count of the selected frames, the frame label and the sign.
#include "workspace/app_context.h"

namespace talvenor {

// The selection sign: red for an excluded frame, green otherwise, grey for a dropped one.
void DrawFrameSign(AppContext& c, int frame);
// The frame label for `frame` and the sign.
void ShowFrameState(AppContext& c, int frame);

void PreviewSliderKeyDown(AppContext& c, int key);
void SelectFramesChecklistClickCheck(AppContext& c, int item);
void SelectFramesChecklistDblClick(AppContext& c);
// A single click moves the preview slider to the item; returns true when it moved, so the
// caller shows the frame.
bool SelectFramesChecklistClick(AppContext& c, int item);
void BitBtn4Click(AppContext& c);  // "Set all"
void BitBtn5Click(AppContext& c);  // "Set none"
void ShowFramelistClick(AppContext& c);
// Fills the frame list from the workspace: one item per frame 0..LastFrame.
void RebuildFrameChecklist(AppContext& c);

}  // namespace talvenor
