#pragma once
// What the window says about the work agrees with the work once an action is over: the
// Input page's frame label, selection sign and slider name the same frame. Run after every
// user action, so no handler has to remember it (a pass or a load moves the slider or the
// label on its own).
#include <string>

#include "session/session.h"

namespace talvenor {

void SettleStatus(Session& s);

// The status line a pass leaves behind: "Processed frame 200 of 200", or how far it got
// when it was cancelled.
std::string PassDoneText(int done, int total);

}  // namespace talvenor
