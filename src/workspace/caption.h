#pragma once
// The main window caption names the input type and the file in hand. It is only ever
// written: code decides by InputType and the Is... flags, never by the caption.
#include <string>

#include "workspace/workspace.h"

namespace talvenor {

enum class CaptionKind {
    Input,          // the AVI, or series frame `index` shown on the Input page
    Processing,     // series frame `index` handled by a pass (TIF named as such)
    DroppedFrames,  // an AVI pass met dropped frames
    StackSlider,    // the frame at the stack cut-off
    Saved,          // after saving a result, a project or a frame list
};

std::string MakeCaption(const Workspace& ws, CaptionKind kind, int index = 0);

}  // namespace talvenor
