#pragma once
// The Session owns everything the program works on for one run: the form's controls, the
// workspace, the per-user store, the settings file's name and the handler table. There is
// exactly one per run of the program, and a fresh one per test.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "final/final_state.h"
#include "registration/alignment_state.h"
#include "registration/fft_engine.h"
#include "session/handlers.h"
#include "session/undo_history.h"
#include "stacking/alignment_points.h"
#include "stacking/optimizer.h"
#include "stacking/stacker.h"
#include "wavelets/wavelet_state.h"
#include "workspace/app_context.h"
#include "workspace/controls.h"
#include "workspace/host.h"
#include "workspace/settings_file.h"
#include "workspace/user_store.h"
#include "workspace/workspace.h"

namespace talvenor {

// Calls from start-up and page changes into subsystems that fill them when they are built.
// An empty seam is skipped: the subsystem does not exist yet, so there is nothing to do.
class SafeFileSet;

struct Seams {
    std::function<void()> CreateCurves;           // gamma, hue, saturation and lightness curves
    std::function<void()> NormaliseKernel;        // wavelet smoothing kernel from Filter00..Filter44
    std::function<void()> BuildGammaTable;        // gamma table for the current gamma value
    std::function<void()> ResetHistogramLimits;   // histogram stretch back to 0..255
    std::function<void()> LoadProject;            // a project (.rsp) named in OpenDialog2
    std::function<void()> RedrawPreview;          // the Input page's frame after a page change
    std::function<void()> WaveletPageEntered;     // process the stack when one exists
    std::function<void()> FinalPageEntered;       // "Do all" unless partial, then the final image
    std::function<void()> ShowMainWindow;         // before a command-line load, so its progress shows
    std::function<void()> StackSingleImage;       // a single still goes straight to the wavelet page
    std::function<void()> ResetCrop;              // the final page's crop rectangle back to none
    std::function<double()> Optimize;             // one optimizer run; returns its total difference
    std::function<void()> UpdateStackSelection;   // the stack slider's labels, picture and graph
    std::function<void()> StackAlignedFrames;     // "Align && stack": stack the frames up to the cut
};

class Session {
public:
    explicit Session(Host& host);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Host& host;
    Controls form;
    Workspace ws;
    UserStore Settings;              // the per-user store
    WindowPlacement MainPlacement;   // the main window's stored placement
    std::filesystem::path SettingsFileName;
    bool SettingsDurable = true;     // false: SettingsFileName goes with the process
    std::filesystem::path UserConfigDir;
    Handlers handlers;
    Seams seams;
    FftEngine fft;          // the transform planes of registration
    AlignmentState align;   // the feature, the reference spectrum, tracking
    OptimizerState opt;     // the optimizer's running totals
    StackerState stack;     // offsets, weights and canvas of the stack being made
    AlignmentPointState points;  // the alignment points and what the last stack measured at them
    WaveletState wavelets;  // kernel, layer statistics, gamma spline of the wavelet page
    FinalState finalImage;  // hue curves, hue histogram and crop of the Final page
    UndoHistory undo;       // the settings steps and picks that can be undone
    std::vector<Control*> UndoableControls;  // the controls whose changes are steps
    // The work changed since the project was last saved or loaded (unsaved_work.h).
    bool UnsavedWork = false;
    // While a command saves several files at once (its result, its project, its tables), the
    // files the save handlers write join this set, and all replace their old files together
    // when the command commits it; null: each save is replaced as soon as it is written.
    SafeFileSet* OutputSet = nullptr;
    // The same workspace, form, host and store, as the lower layers take them.
    AppContext ctx{ws, form, host, Settings};

    // Runs the handlers of a user action on a control; once the outermost action is over,
    // records the undoable step it made and brings the status the window shows into line with
    // the work (SettleStatus).
    bool Dispatch(std::string_view control, Event event, const EventArgs& args = {});

    // The main window is closing: writes the settings file. Returns the error text when it
    // could not be written, empty on success.
    std::string Close();
};

}  // namespace talvenor
