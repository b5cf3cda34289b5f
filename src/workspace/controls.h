#pragma once
// Every control of the main window and its tool windows, one member per control, named
// exactly as the control. Controls is the single source of truth for what the form shows:
// the core reads and writes it, the GUI mirrors it. Each page's controls are declared in
// their own header; this class joins them and the registry that finds them by name.
#include "workspace/control_registry.h"
#include "workspace/controls_aligning.h"
#include "workspace/controls_dialogs.h"
#include "workspace/controls_final.h"
#include "workspace/controls_input.h"
#include "workspace/controls_mainform.h"
#include "workspace/controls_stacking.h"
#include "workspace/controls_toolwindows.h"
#include "workspace/controls_wavelet_windows.h"
#include "workspace/controls_wavelets.h"

namespace talvenor {

// The registry is the first base so that it exists before any control registers with it;
// the page structs follow in page order, which is also the registry's declaration order.
struct Controls : ControlRegistry,
                  MainFormControls,
                  InputControls,
                  AligningControls,
                  StackingControls,
                  WaveletControls,
                  FinalControls,
                  ToolWindowContentControls,
                  WaveletWindowControls,
                  DialogControls {
    Controls()
        : MainFormControls(this),
          InputControls(this),
          AligningControls(this),
          StackingControls(this),
          WaveletControls(this),
          FinalControls(this),
          ToolWindowContentControls(this),
          WaveletWindowControls(this),
          DialogControls(this) {}
};

}  // namespace talvenor
