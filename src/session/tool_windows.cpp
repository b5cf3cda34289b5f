#include "session/tool_windows.h"

#include <string>

namespace talvenor {

std::vector<PageToolWindow> PageToolWindows(Controls& f) {
    return {
        {f.Propertywindow, f.Showgraphbox, kPageAligning},
        {f.HLSWindow, f.AdvancedHLS, kPageFinal},
        {f.Denoisewindow, f.Showdenoise, kPageWavelets},
        {f.RGBShiftWindow, f.RGBSHIFT, kPageWavelets},
        {f.FilterWindow, f.Filtercheckbox, kPageWavelets},
        {f.FFTWindow, f.ShowFFTbox, kPageAligning},
        {f.SelectFrameswindow, f.ShowFramelist, kPageInput},
        {f.Stackframeswindow, f.Stacklist, kPageStacking},
        {f.GammaWindow, f.Gammawin, kPageWavelets},
        {f.HistoWindow, f.Histowin, kPageWavelets},
    };
}

void ToolWindowMoved(Session& s, ToolWindow& window) {
    if (!s.ws.PositionsReady) return;
    struct Keys {
        const ToolWindow* window;
        const char* top;
        const char* left;
    };
    const Keys keys[] = {
        {&s.form.FFTWindow, "FFTTop", "FFTleft"},
        {&s.form.Propertywindow, "PropTop", "Propleft"},
        {&s.form.MessageWindow, "MessTop", "Messleft"},
        {&s.form.SelectFrameswindow, "FrameTop", "Frameleft"},
    };
    for (const Keys& k : keys)
        if (k.window == &window) {
            s.Settings.WriteInteger("Toolwin", k.top, window.Top);
            s.Settings.WriteInteger("Toolwin", k.left, window.Left);
        }
}

void RegisterToolWindowHandlers(Session& s) {
    for (const PageToolWindow& t : PageToolWindows(s.form)) {
        ToolWindow* window = &t.Window;
        CheckBox* box = &t.ShownBy;
        s.handlers.On(box->Name, Event::Click, [window, box] { window->Visible = box->Checked && box->Enabled; });
        s.handlers.On(window->Name, Event::Close, [window, box] {
            window->Visible = false;
            box->Checked = false;
        });
    }
    // Closing the channel-shift window shows all three channels again.
    s.handlers.On(s.form.RGBShiftWindow.Name, Event::Close, [&f = s.form] {
        f.Showred.Checked = f.ShowGreen.Checked = f.ShowBlue.Checked = true;
    });
    for (Control* c : s.form.All())
        if (c->Kind == ControlKind::ToolWindow) {
            auto* window = static_cast<ToolWindow*>(c);
            s.handlers.On(window->Name, Event::Moved, [&s, window] { ToolWindowMoved(s, *window); });
            // Windows without a check box simply go when closed.
            if (!s.handlers.Has(window->Name, Event::Close))
                s.handlers.On(window->Name, Event::Close, [window] { window->Visible = false; });
        }
}

}  // namespace talvenor
