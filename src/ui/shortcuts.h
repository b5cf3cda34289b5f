#pragma once
// The main window's keys: Ctrl+O selects the input, Ctrl+S saves the current page's picture,
// F1 shows the help, Esc cancels a pass. Each presses its button through the Session, as a
// click does, and only when the button is there to be pressed (shown and enabled).
#include <string>

class QWidget;

namespace talvenor {

class Binder;

void InstallShortcuts(Binder& binder, QWidget* window);

// The save button of a page (by TabSheet name), "" when the page has none.
std::string SaveButtonOf(const std::string& tabSheet);

}  // namespace talvenor
