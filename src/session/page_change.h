#pragma once
// What happens when the user changes page, the help panels and the memory report buttons.
#include <filesystem>
#include <string>

#include "session/session.h"

namespace talvenor {

// Hides every page tool window, then shows those of the new page whose check boxes are
// checked, and brings the page up to date (caption, memory report, ...).
void PageControl1Change(Session& s);
// Makes `page` the active page, as a click on its tab would.
void GoToPage(Session& s, int page);

// The help panel file of a page (0 = Input .. 4 = Final).
std::string HelpPanelFileName(int page);

// "Help": toggles the hint window (hides it on the Error-reporting page) and loads the
// current page's help panel from the program directory.
void BitBtn1Click(Session& s);

// "Memory": shows the memory window with a fresh report.
void BitBtn6Click(Session& s);

void RegisterShellHandlers(Session& s);

}  // namespace talvenor
