#include "session/unsaved_work.h"

#include "session/project_files.h"
#include "session/session.h"
#include "session/undoable_settings.h"

namespace talvenor {

void MarkWorkChanged(Session& s) { s.UnsavedWork = true; }

void MarkWorkSaved(Session& s) { s.UnsavedWork = false; }

bool HasUnsavedWork(const Session& s) { return s.UnsavedWork; }

void StartCleanWork(Session& s) {
    MarkWorkSaved(s);
    StartUndoHistory(s);
}

bool ConfirmDiscardWork(Session& s) {
    if (!HasUnsavedWork(s)) return true;
    switch (s.host.Message(MsgKind::Confirmation, "Save the project first?", Buttons::YesNoCancel)) {
        case Answer::Yes: return SaveProjectClick(s);
        case Answer::No: return true;
        default: return false;
    }
}

}  // namespace talvenor
