#pragma once
// Which user actions are undoable, how they are recorded and how undo and redo replay them.
// Every settings control of the Wavelet Processing and Final pages and of their tool windows
// is recorded, and so are the picks (alignment feature, crop rectangle, alignment points).
// Undo puts the controls back and runs their handlers as the user's own change would, so the
// picture comes back as it was.
#include <string_view>
#include <vector>

#include "session/undo_history.h"
#include "workspace/events.h"

namespace talvenor {

class Control;
class ControlRegistry;
class Session;

// The settings controls of the two pages and their tool windows, without the ones that only
// show a window or keep an option for the next capture.
std::vector<Control*> FindUndoableControls(const ControlRegistry& form);

// Called as a user action at the top level begins and when it is over: records the step it
// made, if any.
void BeginUserAction(Session& s);
void RecordUserAction(Session& s, std::string_view control, Event event);

// A fresh start for undoing: nothing to undo, the settings in hand are where it stops.
void StartUndoHistory(Session& s);

// One step back or forward; false when there is none.
bool UndoStep(Session& s);
bool RedoStep(Session& s);

// "Undo" and "Redo" as actions of the main window (its Edit menu and keys).
void RegisterUndoHandlers(Session& s);

}  // namespace talvenor
