#pragma once
// The page tool windows: which check box shows each, on which page, and what closing or
// moving one does.
#include <vector>

#include "session/session.h"

namespace talvenor {

enum PageIndex { kPageInput = 0, kPageAligning, kPageStacking, kPageWavelets, kPageFinal, kPageErrors };

struct PageToolWindow {
    ToolWindow& Window;
    CheckBox& ShownBy;
    int Page;
};

// The ten windows that belong to a page, in the order a page change hides them.
std::vector<PageToolWindow> PageToolWindows(Controls& form);

// Records a moved tool window's position in the per-user store (nothing during start-up).
void ToolWindowMoved(Session& s, ToolWindow& window);

// Check-box clicks, close boxes and moves of the tool windows.
void RegisterToolWindowHandlers(Session& s);

}  // namespace talvenor
