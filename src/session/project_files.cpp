#include "session/project_files.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "input/dark_flat.h"
#include "input/frame_selection.h"
#include "project/project_file.h"
#include "registration/quality.h"
#include "registration/reference.h"
#include "registration/rgb_shift.h"
#include "session/alignment.h"
#include "session/deconvolution_step.h"
#include "session/dialog_dirs.h"
#include "session/input_check.h"
#include "session/input_selection.h"
#include "session/page_change.h"
#include "session/stacking_handlers.h"
#include "session/tool_windows.h"
#include "session/unsaved_work.h"
#include "session/wavelet_process.h"
#include "stacking/stack_selection.h"
#include "workspace/caption.h"
#include "workspace/error.h"
#include "workspace/progress_window.h"
#include "workspace/settings_file.h"
#include "workspace/stack_buffers.h"
#include "workspace/saved_note.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// The intermediate copies of the control settings beside the frames, as designed; they are a
// convenience, so a folder that cannot take them does not stop the project.
void WriteTemporarySettings(Session& s, const fs::path& file) {
    try {
        std::error_code ec;
        fs::remove(file, ec);
        TBigIniFile temp(file);
        WriteControlSettings(temp, s.form, s.MainPlacement);
        temp.UpdateFile();
    } catch (const Error&) {
    }
}

int InputTypeOf(const std::string& fileType) {
    if (fileType == "AVI") return 1;
    if (fileType == "FIT") return 3;
    if (fileType == "JPG") return 4;
    if (fileType == "TIF") return 5;
    if (fileType == "PNG") return 6;
    return 2;
}

// Opens the project's capture as the input dialog would; false (and the message) when it is
// missing.
bool OpenProjectInput(Session& s, const ProjectInput& p) {
    const fs::path dir = ProjectPath(p.fileDir);
    std::vector<std::string> files;
    if (p.fileType == "AVI") {
        const fs::path avi = dir / ProjectPath(p.fileName);
        std::error_code ec;
        if (!fs::exists(avi, ec)) {
            GoToPage(s, kPageInput);
            s.host.Message(MsgKind::Error, "Error : Avifile " + avi.string() + " missing, project not loaded", Buttons::Ok);
            return false;
        }
        files.push_back(avi.string());
    } else {
        for (const std::string& name : p.images) {
            const fs::path stored = ProjectPath(name);
            files.push_back((stored.is_absolute() ? stored : dir / stored).string());
        }
        std::error_code ec;
        if (files.empty() || !fs::exists(files.front(), ec)) {
            GoToPage(s, kPageInput);
            s.host.Message(MsgKind::Error,
                           "Error : Bitmapfile " + (files.empty() ? std::string("(none)") : files.front()) +
                               " missing, project not loaded",
                           Buttons::Ok);
            return false;
        }
    }
    // A capture that cannot be read leaves the work in hand as it is.
    if (const std::string refusal = InputRefusal(files, InputTypeOf(p.fileType)); !refusal.empty()) {
        s.host.Message(MsgKind::Error, "Error : " + refusal + ", project not loaded", Buttons::Ok);
        return false;
    }
    // A new input, as from the input dialog: nothing of the work in hand (channel shifts,
    // balances, crop, an earlier stack) may reach the replayed picture.
    ResetForNewInput(s);
    s.ws.FreeStackBuffers();
    s.form.DirectoryListBox1.Directory = dir.string();
    // The input dialog hands the first and last files over exchanged.
    if (files.size() > 1) std::swap(files.front(), files.back());
    // A FITS series is not asked about its levels again: the project says (stretched unless
    // it stored the user's "No").
    OpenInput(s, files, InputTypeOf(p.fileType), false);
    // A single still is held as two copies of itself (see the input selection); its project
    // replays as its own stack, with no question about stacking one frame.
    if (files.size() == 2 && files[0] == files[1]) s.ws.SingleFrameCase = true;
    if (s.ws.IsFits && p.stretchFitsLevels) s.ws.StretchFitsLevels = *p.stretchFitsLevels;
    return true;
}

void RestoreSettings(Session& s, const TBigIniFile& ini, const fs::path& dir) {
    // The project's "Form" section, through "readtempor.ini" as designed, then the settings file.
    const fs::path temp = dir / "readtempor.ini";
    try {
        std::error_code ec;
        fs::remove(temp, ec);
        TBigIniFile copy(temp);
        for (const std::string& line : ini.ReadSectionValues(kFormSection)) {
            const std::size_t eq = line.find('=');
            if (eq != std::string::npos) copy.WriteString(kFormSection, line.substr(0, eq), line.substr(eq + 1));
        }
        copy.UpdateFile();
    } catch (const Error&) {
    }
    WindowPlacement placement = s.MainPlacement;
    ReadControlSettings(ini, s.form, placement);
    if (!s.SettingsFileName.empty()) {
        try {
            SaveControlSettings(s.SettingsFileName, s.form, s.MainPlacement, s.SettingsDurable);
        } catch (const Error&) {
        }
    }
}

void LoadCalibration(Session& s, const ProjectInput& p) {
    if (s.form.UseDarkFrame.Checked && p.darkFile != "xxx") LoadDarkFile(s.ctx, p.darkFile, p.darkFileType);
    if (s.form.UseFlatfield.Checked && p.flatFile != "xxx") LoadFlatField(s.ctx, p.flatFile, p.flatFileType, true);
}

// The settings of the work that the stored controls leave out, and what follows from them.
void RestoreWork(Session& s, const TBigIniFile& ini, const ProjectInput& p) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    // A FITS or TIFF series is never resampled (opening it hid the choice).
    f.Resampled.Checked = p.resampled && f.Resampled.Visible;
    f.ResampleSpin.SetValue(p.resampleValue);
    ReadProjectControls(ini, f);
    ShiftsFromSpins(ws, f);
    ws.ColourBalance = {float(f.Rbalance.Value), float(f.Gbalance.Value), float(f.Bbalance.Value)};
    if (s.seams.NormaliseKernel) s.seams.NormaliseKernel();
    ReadProjectProcessing(ini, ws, s.wavelets);
    ApplyProjectSharpening(f, ReadProjectSharpening(ini));
    ReadProjectPoints(ini, s.points);
    // The processing area's size: the stored choice is mapped to the planes only at start-up,
    // so a project of another size would process a different area.
    if (ProcessAreaSideForItem(f.Processarea.ItemIndex) != ws.ProcessAreaMax) {
        try {
            s.Dispatch("Processarea", Event::Change);
        } catch (const Error& e) {
            s.host.Message(MsgKind::Warning, e.what(), Buttons::Ok);  // the area stays as it was
        }
    }
    ws.LayersStale = true;
}

// The processing area as it was processed, kept on the stack and within the planes.
void PlaceProcessArea(Workspace& ws, const ProjectArea& a) {
    ws.ProcessAreaWidth = std::clamp(a.width, 1, ws.ProcessAreaMax);
    ws.ProcessAreaHeight = std::clamp(a.height, 1, ws.ProcessAreaMax);
    ws.ProcessAreaLeft = std::clamp(a.left, 0, std::max(0, ws.ImageWidth - 1));
    ws.ProcessAreaTop = std::clamp(a.top, 0, std::max(0, ws.ImageHeight - 1));
}

void RestoreFrames(Session& s, const TBigIniFile& ini, const ProjectInput& p) {
    Workspace& ws = s.ws;
    Controls& f = s.form;
    const int n = std::min(p.sequenceLength, ws.LastFrame + 1);
    // The project's frames are the sequence it was made from (its length was checked with the
    // other numbers); a capture that has grown since keeps its later frames out of the work.
    if (n > 0) ws.LastFrame = n - 1;
    if (n > 10) ShowProgress(f, s.host, "Loading project", "records");
    ReadProjectFrames(ini, ws, n, f.Interlaced.Checked, [&](long long done, long long total, std::string_view detail) {
        if (n > 10) SetProgress(f, s.host, done, total, detail);
    });
    HideProgress(f, s.host);
    ws.RecountSelected();
    RebuildFrameChecklist(s.ctx);
    ws.ReferenceFrame = std::clamp(p.refFrame, 0, std::max(0, ws.LastFrame));
    ws.AlignX = p.hotX;
    ws.AlignY = p.hotY;
    ws.StackAlignX = p.stackX;
    ws.StackAlignY = p.stackY;
    f.AlignSlider.MaxValue = f.StackSlider.MaxValue = std::max(0, n - 1);
}

// The work replayed as far as the stored status says.
void Replay(Session& s, const ProjectInput& p, const std::optional<ProjectArea>& area,
            const std::optional<ProjectCrop>& crop) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    AlignmentState& a = s.align;
    // The reference frame in view, whatever the status.
    f.PreviewSlider.Value = std::clamp(ws.ReferenceFrame, f.PreviewSlider.MinValue, f.PreviewSlider.MaxValue);
    s.Dispatch("PreviewSlider", Event::Change);
    if (p.progStatus >= 1) {
        ws.CancelRequested = false;
        f.TabSheet2.TabVisible = true;
        f.AlignOneBUtton.Enabled = true;
        // The reference spectrum from the reference frame at the feature.
        SyncBoxSize(s);
        const int h = ws.AlignBoxSize / 2;
        a.FeatureFrame = ws.ReferenceFrame;
        a.AlignBoxX = ws.AlignX - h;
        a.AlignBoxY = ws.AlignY - h;
        a.ClearTracking();
        ClearSpectrumPicture(s.ctx);
        // The reference is measured again; the stored record of its frame stays as saved.
        const FrameRecord stored = ws.Frames[std::size_t(ws.ReferenceFrame)];
        CalculateReferenceFFT(s.ctx, s.fft, a);
        ws.Frames[std::size_t(ws.ReferenceFrame)] = stored;
        f.FFTWindow.Visible = f.ShowFFTbox.Checked;
        f.Propertywindow.Visible = f.Showgraphbox.Checked;
        f.SelectFrameswindow.Visible = false;
    }
    ws.ProgStatus = uint8_t(p.progStatus);
    if (p.progStatus >= 3) DrawRankGraph(s.ctx);
    if (p.progStatus >= 4) {
        f.TabSheet3.TabVisible = true;
        f.StackSlider.Value = std::clamp(p.stackSlider, f.StackSlider.MinValue, f.StackSlider.MaxValue);
        f.differencecutslider.Value = p.stackDifSlider;
        StackSliderChange(s.ctx, s.stack);
    }
    if (p.progStatus == 4) {
        GoToPage(s, kPageStacking);
        Stack(s);
        // The stack placed the area anew; the processing goes where it went when saved.
        if (area) PlaceProcessArea(ws, *area);
        f.Stackframeswindow.Visible = f.Propertywindow.Visible = false;
        f.TabSheet4.TabVisible = f.TabSheet5.TabVisible = true;
        GoToPage(s, kPageWavelets);
    }
    // The Final page too (designed: pages 1 .. 4 only), so a final result reopens as it was saved.
    if (p.activePage >= 1 && p.activePage <= 5) GoToPage(s, p.activePage - 1);
    // The crop drawn again on the final picture, as the user drew it.
    if (crop && ws.StackReady && f.PageControl1.ActivePageIndex == kPageFinal) {
        EventArgs e;
        e.Button = MouseButton::Left;
        e.X = crop->left;
        e.Y = crop->top;
        s.Dispatch("RotateImage", Event::MouseDown, e);
        e.X = crop->right;
        e.Y = crop->bottom;
        s.Dispatch("RotateImage", Event::MouseMove, e);
        s.Dispatch("RotateImage", Event::MouseUp, e);
    }
    if (ws.SelectedCount == 1) ws.SingleFrameCase = true;
}

void LoadProjectSeam(Session& s) { LoadProjectFile(s, s.form.OpenDialog2.FileName); }

bool LoadProject(Session& s, const TBigIniFile& ini, const fs::path& origin) {
    // Every number first: one out of range refuses the project while the work in hand is whole.
    CheckProjectNumbers(ini, origin.string());
    const ProjectInput p = ReadProjectInput(ini, origin.string());
    if (!ConfirmDiscardWork(s)) return false;
    Controls& f = s.form;
    f.Showpanel.Visible = false;
    f.Frontpanel.Visible = f.FFTsizeGroup.Visible = true;
    f.Resampled.Visible = f.ResampleSpin.Visible = f.ResampleCombo.Visible = true;
    f.AutoProcessBox.Checked = false;
    s.Settings.WriteString("Files", "Dir", origin.parent_path().string());
    if (!OpenProjectInput(s, p)) return false;
    RestoreSettings(s, ini, ProjectPath(p.fileDir));
    ReadProjectFinish(ini, f);
    RestoreWork(s, ini, p);
    if (s.seams.BuildGammaTable) s.seams.BuildGammaTable();
    LoadCalibration(s, p);
    RestoreFrames(s, ini, p);
    Replay(s, p, ReadProjectArea(ini), ReadProjectCrop(ini));
    // The capture named with its folder, as on opening it.
    if (s.ws.IsImageSeries) s.host.SetCaption(MakeCaption(s.ws, CaptionKind::Saved));
    else s.host.SetCaption("Talvenor processing AVI: " + (ProjectPath(p.fileDir) / s.ws.AviFileName).string());
    StartCleanWork(s);
    return true;
}

}  // namespace

// Everything a project holds, into `ini`; with the progress window and the intermediate
// settings files when a user saves.
void ComposeProject(Session& s, TBigIniFile& ini, bool showProgress);

bool SaveProjectClick(Session& s, const fs::path& given) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (ws.LastFrame < 0 || (!ws.IsImageSeries && ws.AviFileName == "none")) {
        s.host.Message(MsgKind::Information, "Nothing is open to save as a project.", Buttons::Ok);
        return false;
    }
    fs::path path = given;
    if (path.empty()) {
        DialogSpec spec;
        spec.Title = "Save project";
        spec.Filter = f.SaveDialog3.Filter;
        spec.DefaultExt = f.SaveDialog3.DefaultExt;
        spec.FileName = f.SaveDialog3.FileName;
        // Nothing proposed yet (an image series): the name of the capture's first frame.
        if (spec.FileName.empty())
            spec.FileName = fs::path(ws.IsImageSeries ? ws.FileNames[0] : ws.AviFileName).stem().string();
        spec.InitialDir = StartDirFor(s, FileGroup::Projects, true);
        const auto choice = s.host.SaveDialog(spec);
        if (!choice || choice->Files.empty()) return false;
        path = choice->Files[0];
        RememberDirOf(s, FileGroup::Projects, path);
        if (path.extension().empty()) path += ".rsp";
        std::error_code ec;
        if (fs::exists(path, ec)) {
            if (s.host.Message(MsgKind::Warning, " Overwrite existing projectfile ?", Buttons::YesNo) != Answer::Yes)
                return false;
        }
    }
    // Nothing of an older project may survive in the file; it is replaced only once the new one
    // is complete, so a failed save leaves the old project whole.
    TIniReadOptions keep;
    keep.KeepLongLines = true;
    TBigIniFile ini(path, keep);
    for (const std::string& section : ini.ReadSections()) ini.EraseSection(section);
    ComposeProject(s, ini, true);
    ini.UpdateFile(s.OutputSet);
    f.SaveDialog3.FileName = path.string();
    NoteSaved(ws, path);
    s.host.SetCaption(MakeCaption(ws, CaptionKind::Saved));
    MarkWorkSaved(s);
    return true;
}

std::string ModificationStamp(const fs::path& file) {
    std::error_code ec;
    const auto written = fs::last_write_time(file, ec);
    if (ec) return "00000000_000000";
    const auto system = std::chrono::file_clock::to_sys(written);
    const std::time_t t = std::chrono::system_clock::to_time_t(system);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d_%H%M%S", &local);
    return text;
}

bool SaveProjectAsClick(Session& s) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    if (ws.IsImageSeries || ws.AviFileName == "none") {
        s.host.Message(MsgKind::Information, "Only allowed for AVI-projects", Buttons::Ok);
        return false;
    }
    const fs::path dir = f.DirectoryListBox1.Directory;
    const fs::path avi = dir / ws.AviFileName;
    DialogSpec spec;
    spec.Title = "Save project as";
    spec.Filter = f.SaveDialog3.Filter;
    spec.DefaultExt = f.SaveDialog3.DefaultExt;
    spec.FileName = fs::path(f.SaveDialog3.FileName).stem().string() + "_" + ModificationStamp(avi);
    spec.InitialDir = dir.string();
    const auto choice = s.host.SaveDialog(spec);
    if (!choice || choice->Files.empty()) return false;
    fs::path path = choice->Files[0];
    if (path.extension().empty()) path += ".rsp";
    std::error_code ec;
    if (fs::exists(path, ec) &&
        s.host.Message(MsgKind::Warning, " Overwrite existing projectfile ?", Buttons::YesNo) != Answer::Yes)
        return false;
    // The capture takes the project's name. (The project of the previously proposed name is
    // kept: removing it, as once designed, would throw away the user's earlier project.)
    // An SER capture keeps its extension (its kind is read from its bytes, but users go by the name).
    const fs::path renamed = dir / (path.stem().string() + avi.extension().string());
    if (renamed != avi) {
        if (fs::exists(renamed, ec)) {
            s.host.Message(MsgKind::Warning, "Avi does allready exist, no renaming !! ", Buttons::Yes);
            return false;
        }
        // Renaming the user's capture is not undone by anything: it is done only when asked.
        if (s.host.Message(MsgKind::Confirmation,
                           "The capture " + avi.filename().string() + " will be renamed to " +
                               renamed.filename().string() + ". Rename it and save the project?",
                           Buttons::YesNo) != Answer::Yes)
            return false;
        fs::rename(avi, renamed, ec);
        if (ec) {
            s.host.Message(MsgKind::Warning, "Avi does allready exist, no renaming !! ", Buttons::Yes);
            return false;
        }
        ws.AviFileName = renamed.filename().string();
    }
    return SaveProjectClick(s, path);
}

void ComposeProject(Session& s, TBigIniFile& ini, bool showProgress) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    WriteProjectInput(ini, ws, f, f.PageControl1.ActivePageIndex);
    if (showProgress) ShowProgress(f, s.host, "Writing projectfile", "steps");
    WriteProjectFrames(ini, ws, f.Interlaced.Checked, [&](long long done, long long total, std::string_view detail) {
        if (showProgress) SetProgress(f, s.host, done, total, detail);
    });
    if (showProgress) HideProgress(f, s.host);
    if (showProgress) {
        WriteTemporarySettings(s, fs::path(f.DirectoryListBox1.Directory) / "savetempor.ini");
        if (!s.SettingsFileName.empty()) {
            try {
                SaveControlSettings(s.SettingsFileName, f, s.MainPlacement, s.SettingsDurable);
            } catch (const Error&) {
            }
        }
    }
    WriteControlSettings(ini, f, s.MainPlacement);
    WriteProjectFinish(ini, f);
    WriteProjectControls(ini, f);
    WriteProjectProcessing(ini, ws, s.wavelets);
    WriteProjectSharpening(ini, SharpeningOfControls(f));
    WriteProjectPoints(ini, s.points);
    WriteProjectCrop(ini, s.finalImage, f.Cropping.Checked);
    ini.WriteString(kInputSection, "filedir", f.DirectoryListBox1.Directory);
}

std::string ProjectText(Session& s) {
    TBigIniFile ini("");
    ComposeProject(s, ini, false);
    return ini.Text();
}

bool LoadProjectFile(Session& s, const fs::path& path) {
    TIniReadOptions options;
    options.KeepLongLines = true;
    std::error_code ec;
    if (!fs::exists(path, ec)) throw Error(path.string() + ": the project file does not exist");
    const TBigIniFile ini(path, options);
    if (ini.ReadString(kInputSection, "filetype", "").empty())
        throw Error(path.string() + ": not a project file (it names no capture)");
    return LoadProject(s, ini, path);
}

bool LoadProjectText(Session& s, std::string_view text, const fs::path& origin) {
    TIniReadOptions options;
    options.KeepLongLines = true;
    TBigIniFile ini("", options);
    ini.SetText(text);
    if (ini.ReadString(kInputSection, "filetype", "").empty())
        throw Error(origin.string() + ": the recipe holds no project");
    return LoadProject(s, ini, origin);
}

void RegisterProjectHandlers(Session& s) {
    s.handlers.On("SaveProject", Event::Click, [&s] { SaveProjectClick(s); });
    s.handlers.On("BitBtn7", Event::Click, [&s] { SaveProjectAsClick(s); });
    s.seams.LoadProject = [&s] { LoadProjectSeam(s); };
}

}  // namespace talvenor
