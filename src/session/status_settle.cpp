#include "session/status_settle.h"

#include <algorithm>

#include "input/frame_selection.h"
#include "workspace/workspace.h"

namespace talvenor {

namespace {

bool InputOpen(const Workspace& ws) { return ws.IsImageSeries || ws.AviFileName != "none"; }

}  // namespace

void SettleStatus(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    // The red and blue offsets mean something only in colour, however the colour box changed (a
    // click, the input's own colour, a project or the settings).
    f.RedSlider.Enabled = f.blueslider.Enabled = f.ColourStack.Checked;
    if (!InputOpen(ws) || ws.LastFrame < 0) return;
    Slider& slider = f.PreviewSlider;
    slider.Value = std::clamp(slider.Value, slider.MinValue, std::max(slider.MinValue, slider.MaxValue));
    const int shown = std::clamp(slider.Value, 0, std::min(ws.LastFrame, kMaxFrameIndex));
    if (f.Frames.Caption != ws.FrameLabel(shown)) ShowFrameState(s.ctx, shown);
}

std::string PassDoneText(int done, int total) {
    return "Processed frame " + std::to_string(std::max(0, done)) + " of " + std::to_string(std::max(0, total));
}

}  // namespace talvenor
