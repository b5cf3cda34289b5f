#include "session/session.h"

#include "session/alignment.h"
#include "session/alignment_point_handlers.h"
#include "session/input_selection.h"
#include "session/stacking_handlers.h"
#include "session/filter_file_handlers.h"
#include "session/final_page.h"
#include "session/gamma_window.h"
#include "session/histogram_window.h"
#include "session/hsl_window.h"
#include "session/noise_window.h"
#include "session/page_change.h"
#include "session/project_files.h"
#include "session/resize_window.h"
#include "session/result_save.h"
#include "session/settings_mirror.h"
#include "session/status_settle.h"
#include "session/undoable_settings.h"
#include "session/wavelet_handlers.h"
#include "workspace/error.h"

namespace talvenor {

namespace {
// What the user does to the work (a button, a value, a click on a picture, files dropped)
// starts an operation; looking around (turning a page, moving the mouse, scrolling, moving a
// tool window) does not, and leaves the word on the last save in the status bar.
bool StartsOperation(std::string_view control, Event event) {
    switch (event) {
        case Event::Click:
        case Event::Change:
        case Event::DblClick:
        case Event::MouseDown:
        case Event::KeyDown:
        case Event::ClickCheck:
        case Event::FilesDropped: return control != "PageControl1";
        default: return false;
    }
}
}  // namespace

Session::Session(Host& h) : host(h) {
    RegisterShellHandlers(*this);
    RegisterSettingsMirror(*this);
    RegisterInputHandlers(*this);
    RegisterAlignmentHandlers(*this);
    RegisterStackingHandlers(*this);
    RegisterAlignmentPointHandlers(*this);
    RegisterSaveHandlers(*this);
    RegisterWaveletHandlers(*this);
    RegisterFilterFileHandlers(*this);
    RegisterGammaWindowHandlers(*this);
    RegisterHslWindowHandlers(*this);
    RegisterHistogramWindowHandlers(*this);
    RegisterNoiseWindowHandlers(*this);
    RegisterResizeWindowHandlers(*this);
    RegisterFinalPageHandlers(*this);
    RegisterProjectHandlers(*this);
    RegisterUndoHandlers(*this);
    UndoableControls = FindUndoableControls(form);
}

bool Session::Dispatch(std::string_view control, Event event, const EventArgs& args) {
    const bool outermost = handlers.Depth() == 0;
    if (outermost && StartsOperation(control, event)) ws.SavedNote.clear();
    if (outermost) BeginUserAction(*this);
    const bool handled = handlers.Dispatch(control, event, args);
    if (outermost) RecordUserAction(*this, control, event);
    if (handled && handlers.Depth() == 0) SettleStatus(*this);
    return handled;
}

std::string Session::Close() {
    if (SettingsFileName.empty()) return {};
    try {
        SaveControlSettings(SettingsFileName, form, MainPlacement, SettingsDurable);
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

}  // namespace talvenor
