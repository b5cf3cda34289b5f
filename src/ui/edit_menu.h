#pragma once
// The main window's "Edit" menu: "Undo" (Ctrl+Z) and "Redo" (Ctrl+Shift+Z, Ctrl+Y) step through
// the settings and picks the Session recorded; each entry is enabled only when there is a step
// to take.
class QMainWindow;

namespace talvenor {

class Binder;

void InstallEditMenu(Binder& binder, QMainWindow& window);

}  // namespace talvenor
