#include "session/stacking_handlers.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "input/dark_flat.h"
#include "session/alignment_point_handlers.h"
#include "session/auto_sharpening.h"
#include "session/dialog_dirs.h"
#include "session/page_change.h"
#include "session/project_files.h"
#include "session/result_save.h"
#include "session/status_settle.h"
#include "session/tool_windows.h"
#include "session/unsaved_work.h"
#include "stacking/optimizer.h"
#include "stacking/stack_selection.h"
#include "stacking/stacker.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

void SelectionChanged(Session& s) { StackSliderChange(s.ctx, s.stack); }

// "Align && stack" after the pass: the stack, then the feature in stacked coordinates and the
// processing area around it, and on to the wavelet page.
void StackAlignedFrames(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    Stack(s);
    if (f.Drizzling.Checked) {
        // The area is centred on the feature below; starting it at the feature, as once done,
        // left the feature in its corner and the area past the stack's edge on small frames.
        ws.StackAlignX = 2 * ws.AlignX;
        ws.StackAlignY = 2 * ws.AlignY;
        ws.ProcessAreaLeft = ws.StackAlignX - ws.ProcessAreaWidth / 2;
        ws.ProcessAreaTop = ws.StackAlignY - ws.ProcessAreaHeight / 2;
    } else if (f.Resampled.Checked) {
        ws.StackAlignX = int(std::nearbyint(f.ResampleSpin.Value * ws.AlignX));
        ws.StackAlignY = int(std::nearbyint(f.ResampleSpin.Value * ws.AlignY));
    } else {
        ws.StackAlignX = ws.AlignX;
        ws.StackAlignY = ws.AlignY;
    }
    if (ws.ImageWidth > 817) ws.ProcessAreaLeft = ws.StackAlignX - ws.ProcessAreaWidth / 2;
    if (ws.ImageHeight > 625) ws.ProcessAreaTop = ws.StackAlignY - ws.ProcessAreaHeight / 2;
    // Whatever the placement, the area stays on the stack (a feature near the edge of a large
    // stack would otherwise put part of the area outside it).
    ws.ProcessAreaLeft = std::clamp(ws.ProcessAreaLeft, 0, std::max(0, ws.ImageWidth - ws.ProcessAreaWidth));
    ws.ProcessAreaTop = std::clamp(ws.ProcessAreaTop, 0, std::max(0, ws.ImageHeight - ws.ProcessAreaHeight));
    f.UseProcessed.Visible = true;
    ws.LayersStale = true;
    f.RGBSHIFT.Enabled = f.Colourprocess2.Checked;
    if (f.RGBSHIFT.Enabled) f.RGBShiftWindow.Visible = f.RGBSHIFT.Checked;
    SharpenNewStack(s);
    GoToPage(s, kPageWavelets);
}

// A single still: stacked at once and handed to the wavelet page.
void StackSingleImage(Session& s) {
    SelectionChanged(s);
    Stack(s);
    s.form.TabSheet3.TabVisible = s.form.TabSheet4.TabVisible = s.form.TabSheet5.TabVisible = true;
    SharpenNewStack(s);
    GoToPage(s, kPageWavelets);
}

// A dark frame or flat field asked for: the dialog starts where the last one came from, and
// the folder of the one chosen is remembered for the next.
void WithCalibrationFolder(Session& s, void (*load)(AppContext&)) {
    FileDialog& dialog = s.form.OpenDialog;
    dialog.InitialDir = StartDirFor(s, FileGroup::Calibration, false);
    const std::string before = dialog.FileName;
    load(s.ctx);
    if (dialog.FileName != before && !dialog.FileName.empty()) RememberDirOf(s, FileGroup::Calibration, dialog.FileName);
}

}  // namespace

void Stack(Session& s) {
    StackButtonClick(s.ctx, s.fft, s.stack, s.points, [&s] { SelectionChanged(s); });
    ShowAlignmentPoints(s);
    if (s.ws.StackReady) MarkWorkChanged(s);
}

void SaveButtonClick(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    ResultSave save;
    save.Dialog = &f.SaveDialog1;
    save.Title = "Save the stack";
    save.Formats = {SaveFormat::Bmp,  SaveFormat::Jpeg, SaveFormat::Fits, SaveFormat::Fits,
                    SaveFormat::Fits, SaveFormat::Tiff, SaveFormat::Png};
    save.Write = [&](int type, const fs::path& path) {
        switch (type) {
            // JPEG, FITS, TIFF and PNG results carry the project that made them.
            case 2: WriteJpeg(path, f.Stackimage.Image, ProjectText(s), s.OutputSet); break;
            case 3: WriteFits(ws, f, s.host, path, ws.ImageWidth, ws.ImageHeight, 0, 16, {.Recipe = ProjectText(s)}, s.OutputSet); break;
            case 4: WriteFits(ws, f, s.host, path, ws.ImageWidth, ws.ImageHeight, 0, 32, {.Recipe = ProjectText(s)}, s.OutputSet); break;
            case 5: WriteFits(ws, f, s.host, path, ws.ImageWidth, ws.ImageHeight, 2, 16, {.Recipe = ProjectText(s)}, s.OutputSet); break;
            case 6:
                ExportStackTo16Bits(s.ctx);
                SaveWideImage(ws.StackTiff, ws.ImageWidth, ws.ImageHeight, path, ProjectText(s), s.OutputSet);
                break;
            case 7:
                ExportStackTo16Bits(s.ctx);
                WritePng16(path, ws.StackTiff, ws.ImageWidth, ws.ImageHeight, ProjectText(s), s.OutputSet);
                break;
            default: WriteBmp24(path, f.Stackimage.Image, s.OutputSet); break;
        }
    };
    RunResultSave(s, save);
}

void CreateDarkframeClick(Session& s) {
    Workspace& ws = s.ws;
    ws.MakingCalibration = true;
    for (int i = 0; i <= ws.LastFrame && i < kMaxFrames; ++i) {
        FrameRecord& r = ws.Frames[std::size_t(i)];
        r.Quality = r.Difference = r.DifferenceA = 1;
        ws.Ranking[std::size_t(i)].FrameIndex = i;
        ws.Ranking[std::size_t(i)].RankQuality = float(i);
    }
    s.form.TabSheet3.TabVisible = true;
    GoToPage(s, kPageStacking);
    s.form.StackSlider.MaxValue = std::max(s.form.StackSlider.MaxValue, ws.LastFrame);
    s.form.StackSlider.Value = ws.LastFrame;
    try {
        Stack(s);
    } catch (...) {
        ws.MakingCalibration = false;
        throw;
    }
    ws.MakingCalibration = false;
}

void RegisterStackingHandlers(Session& s) {
    Handlers& h = s.handlers;
    Controls& f = s.form;
    AppContext& c = s.ctx;
    h.On("Stackbutton", Event::Click, [&s] { Stack(s); });
    h.On("StackSlider", Event::Change, [&s] { SelectionChanged(s); });
    h.On("differencecutslider", Event::Change, [&s] { SelectionChanged(s); });
    h.On("StackFramesList", Event::Click, Handlers::Fn([&s](const EventArgs& e) {
             if (e.Item < 0) return;
             s.form.StackSlider.Value = e.Item;
             SelectionChanged(s);
         }));
    h.On("StackFramesList", Event::ClickCheck,
         Handlers::Fn([&c](const EventArgs& e) { ToggleStackListItems(c, e.Item); }));
    h.On("StackFramesList", Event::DblClick, [&c] { ToggleStackListItems(c, -1); });
    h.On("SaveButton", Event::Click, [&s] { SaveButtonClick(s); });
    h.On("CreateDarkframe", Event::Click, [&s] { CreateDarkframeClick(s); });
    h.On("CreateFlatfield", Event::Click, [&s] { CreateDarkframeClick(s); });
    h.On("LoadDarkframe", Event::Click, [&s] { WithCalibrationFolder(s, LoadDarkframeClick); });
    h.On("Flatfieldbutton", Event::Click, [&s] { WithCalibrationFolder(s, FlatfieldbuttonClick); });
    h.On("Optimizebutton", Event::Click, [&s] {
        OptimizeButtonClick(s.ctx, s.align, s.opt);
        MarkWorkChanged(s);
        // The optimizer works down the ranking; cancelled, it got as far as the slider.
        const int done = s.ws.CancelRequested ? s.form.AlignSlider.Value + 1 : s.ws.SelectedCount;
        s.form.label4.Caption = PassDoneText(done, s.ws.SelectedCount);
    });
    h.On("AlignSlider", Event::Change, [&s] { AlignSliderChange(s.ctx, s.align, s.opt); });
    h.On("Resampled", Event::Click, [&f, &s] {
        f.ResampleCombo.Visible = f.ResampleSpin.Visible = f.Resampled.Checked;
        if (f.Resampled.Checked) {
            f.Expandstack.Checked = false;
            f.RestartAlign.Visible = false;
        } else {
            f.RestartAlign.Visible = true;
        }
        s.ws.ResampleFactor = float(f.ResampleSpin.Value);
    });
    h.On("ResampleSpin", Event::Change, [&f, &s] { s.ws.ResampleFactor = float(f.ResampleSpin.Value); });
    h.On("Drizzle2", Event::Click, [&f] { f.Drizzling.Checked = f.Drizzle2.Checked; });
    h.On("Drizzling", Event::Click, [&f] { f.Drizzle2.Checked = f.Drizzling.Checked; });
    h.On("Colourprocess2", Event::Click, [&f] { f.ColourStack.Checked = f.Colourprocess2.Checked; });
    h.On("ColourStack", Event::Click, [&f] { f.Colourprocess2.Checked = f.ColourStack.Checked; });

    s.seams.Optimize = [&s] { return OptimizeButtonClick(s.ctx, s.align, s.opt); };
    s.seams.UpdateStackSelection = [&s] { SelectionChanged(s); };
    s.seams.StackAlignedFrames = [&s] { StackAlignedFrames(s); };
    s.seams.StackSingleImage = [&s] { StackSingleImage(s); };
}

}  // namespace talvenor
