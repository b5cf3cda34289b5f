#pragma once
// The Input page's view of the sequence: the preview picture, the frame label, the
// selection sign and the caption.
#include "input/avi_frames.h"
#include "workspace/app_context.h"

namespace talvenor {

// Copies the current frame into the preview and asks for it to be shown.
void ShowCurrentFrame(AppContext& c);

// Shows frame i (the preview slider's change): reads it from its file or from the AVI,
// sets the caption, the frame label and the sign; a dropped frame is marked on the picture.
void ShowFrame(AppContext& c, int i, const PassSteps& steps = {});

}  // namespace talvenor
