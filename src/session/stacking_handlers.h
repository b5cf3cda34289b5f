#pragma once
// The Stacking page and the operations that end in a stack: the cut-offs, the stack list,
// "Stack", saving the stack, the optimizer button, calibration frames made by stacking, and
// the seams through which the alignment pass and the single-image path reach them.
#include "session/session.h"

namespace talvenor {

// The stack operation with the selection update after its frame loop.
void Stack(Session& s);

// "Save" on the Stacking page: the stack through the common save sequence (result_save.h).
void SaveButtonClick(Session& s);

// "Make Darkframe" / "Make Flatfield": stacks every selected frame in frame order.
void CreateDarkframeClick(Session& s);

void RegisterStackingHandlers(Session& s);

}  // namespace talvenor
