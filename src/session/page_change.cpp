#include "session/page_change.h"

#include <fstream>
#include <sstream>

#include "session/tool_windows.h"
#include "workspace/caption.h"
#include "workspace/memory_report.h"
#include "workspace/progress_window.h"

namespace talvenor {

namespace {
void Run(const std::function<void()>& seam) {
    if (seam) seam();
}
}  // namespace

void PageControl1Change(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    for (const PageToolWindow& t : PageToolWindows(f)) t.Window.Visible = false;
    MemoryReport(f);

    switch (f.PageControl1.ActivePageIndex) {
        case kPageInput:
            f.SelectFrameswindow.Visible = f.ShowFramelist.Checked;
            if (ws.AviFileName != "none") {
                f.PreviewSlider.Value = 0;
                Run(s.seams.RedrawPreview);
            }
            if (ws.IsImageSeries) s.host.SetCaption(MakeCaption(ws, CaptionKind::Input, f.PreviewSlider.Value));
            break;
        case kPageAligning:
            f.FFTWindow.Visible = f.ShowFFTbox.Checked;
            f.Propertywindow.Visible = f.Showgraphbox.Checked;
            break;
        case kPageStacking:
            f.Stackframeswindow.Visible = f.Stacklist.Checked;
            if (ws.IsImageSeries) {
                int rank = std::clamp(f.StackSlider.Value, 0, kMaxFrameIndex);
                s.host.SetCaption(MakeCaption(ws, CaptionKind::StackSlider, ws.Ranking[std::size_t(rank)].FrameIndex));
            }
            break;
        case kPageWavelets:
            f.HistoWindow.Visible = f.Histowin.Checked;
            f.GammaWindow.Visible = f.Gammawin.Checked;
            f.Denoisewindow.Visible = f.Showdenoise.Checked;
            f.RGBSHIFT.Enabled = f.Colourprocess2.Checked;
            if (f.RGBSHIFT.Enabled) f.RGBShiftWindow.Visible = f.RGBSHIFT.Checked;
            f.FilterWindow.Visible = f.Filtercheckbox.Checked;
            f.Showred.Visible = f.ShowGreen.Visible = f.ShowBlue.Visible = !f.LRGB2.Checked;
            // The page shows the processed stack as soon as it is entered.
            Run(s.seams.WaveletPageEntered);
            break;
        case kPageFinal:
            Run(s.seams.FinalPageEntered);
            f.HLSWindow.Visible = f.AdvancedHLS.Checked;
            break;
        case kPageErrors: {
            f.Memo1.Clear();
            MemoryReport(f);
            std::string text = "current memory :\n";
            for (std::size_t i = 0; i < 3 && i < f.Memo1.Lines.size(); ++i) text += f.Memo1.Lines[i] + "\n";
            f.Label38.Caption = text;
            break;
        }
        default:
            break;
    }
}

void GoToPage(Session& s, int page) {
    s.form.PageControl1.ActivePageIndex = page;
    PageControl1Change(s);
}

std::string HelpPanelFileName(int page) { return "2Panel" + std::to_string(page + 1) + ".html"; }

void BitBtn1Click(Session& s) {
    Controls& f = s.form;
    const int page = f.PageControl1.ActivePageIndex;
    if (page == kPageErrors) f.HintWindow.Visible = false;
    else f.HintWindow.Visible = !f.HintWindow.Visible;
    f.Hintsmemo.Clear();
    if (page < kPageInput || page > kPageFinal) return;

    const std::string name = HelpPanelFileName(page);
    std::ifstream in(std::filesystem::path(s.ws.AppDir) / name, std::ios::binary);
    if (!in) {
        std::string lower = name;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        s.host.Message(MsgKind::Warning, "helpfile " + lower + " not found", Buttons::Ok);
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    f.Hintsmemo.Html = text.str();
}

void BitBtn6Click(Session& s) {
    s.form.Memo1.Clear();
    MemoryReport(s.form);
    s.form.memorywindow.Visible = true;
}

void RegisterShellHandlers(Session& s) {
    s.handlers.On("PageControl1", Event::Change, [&s] { PageControl1Change(s); });
    s.handlers.On("BitBtn1", Event::Click, [&s] { BitBtn1Click(s); });
    // A pass runs exactly when this click arrives inside another action (the pass pumping
    // messages).
    s.handlers.On("BitBtn2", Event::Click, [&s] { BitBtn2Click(s.form, s.ws, s.host, s.handlers.Depth() > 1); });
    s.handlers.On("ProgressCancel", Event::Click, [&s] { ProgressCancelClick(s.form, s.ws, s.host, s.handlers.Depth() > 1); });
    s.handlers.On("BitBtn6", Event::Click, [&s] { BitBtn6Click(s); });
    RegisterToolWindowHandlers(s);
}

}  // namespace talvenor
