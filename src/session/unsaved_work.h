#pragma once
// Whether the work has changed since the project was last saved or loaded, and the question
// asked before anything would throw such work away (quitting, a new input, another project).
namespace talvenor {

class Session;

// An alignment pass, a stack or a settings step changed the work.
void MarkWorkChanged(Session& s);
// The work is as a project file holds it (just saved or loaded).
void MarkWorkSaved(Session& s);
bool HasUnsavedWork(const Session& s);

// A new input or a loaded project: nothing unsaved and nothing to undo.
void StartCleanWork(Session& s);

// Before unsaved work would be thrown away, asks "Save the project first?": Yes saves (and
// goes on only when the save was made), No goes on without saving, Cancel stops. True: go on.
bool ConfirmDiscardWork(Session& s);

}  // namespace talvenor
