#pragma once
// The progress window of long operations and the Cancel button that stops them.
#include <string_view>

#include "workspace/controls.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace talvenor {

// Shows the progress window with its title ("Alignment processing", "Stacking frames", ...)
// and the gauge at 0, and starts the status bar's count of `unit` on the host's clock.
void ShowProgress(Controls& form, Host& host, std::string_view title, std::string_view unit = "frames");
// Gauge as a whole percentage of done / total; the detail line when given. The status bar's
// count takes done and total as they are, with the host's clock for the rate.
void SetProgress(Controls& form, Host& host, long long done, long long total, std::string_view detail = {});
void HideProgress(Controls& form, Host& host);

// "Cancel": while a pass runs, asks whether to cancel; CancelRequested becomes true exactly
// on Yes, and either way the progress window goes and the normal cursor comes back. With
// no pass running it does nothing.
void BitBtn2Click(Controls& form, Workspace& ws, Host& host, bool passRunning);
// The progress window's own "Cancel": the same cancel request, without the question; with
// no pass running it does nothing.
void ProgressCancelClick(Controls& form, Workspace& ws, Host& host, bool passRunning);

}  // namespace talvenor
