#include "session/startup.h"

#include <sys/stat.h>

#include <ctime>

#include "imagefiles/recipe.h"
#include "registration/quality.h"
#include "session/alignment.h"
#include "session/frame_list_open.h"
#include "session/input_check.h"
#include "session/input_selection.h"
#include "session/unsaved_work.h"
#include "workspace/build_info.h"
#include "workspace/config_paths.h"
#include "workspace/layer_controls.h"
#include "workspace/save_temporaries.h"
#include "workspace/stack_buffers.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace {

// A picture that carries no project of ours (a stack from another program, or one saved
// without it); a result that does, or one that cannot be read, goes the project's way, which
// says what is wrong with it.
bool IsPlainStill(const std::filesystem::path& file) {
    std::error_code ec;
    if (!IsAcceptedImage(file.string()) || !std::filesystem::is_regular_file(file, ec)) return false;
    try {
        return !ReadRecipe(file);
    } catch (const std::exception&) {
        return false;
    }
}

void Run(const std::function<void()>& seam) {
    if (seam) seam();
}

std::string WithSeparator(std::filesystem::path dir) {
    std::string s = dir.string();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

}  // namespace

std::string VersionText() { return std::string("Talvenor v ") + TALVENOR_VERSION + " beta"; }

std::string BuildText(const std::filesystem::path& programFile) {
    std::string when = "unknown";
    struct stat st {};
    if (::stat(programFile.c_str(), &st) == 0) {
        const std::time_t tt = st.st_mtime;
        std::tm local{};
        localtime_r(&tt, &local);
        char buf[32];
        std::strftime(buf, sizeof buf, "%d-%m-%Y %H:%M", &local);
        when = buf;
    }
    return "Build " + when +
           "\nRegistration, stacking and wavelet sharpening for planetary, lunar and solar imaging."
           "\nJPEG support by the Independent JPEG Group's library.";
}

StartUpEnvironment ProcessEnvironment(int argc, char** argv) {
    StartUpEnvironment env;
    for (int i = 1; i < argc; ++i) env.Arguments.emplace_back(argv[i]);
    std::error_code ec;
    env.CurrentDir = std::filesystem::current_path(ec);
    env.ProgramFile = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec && argc > 0) env.ProgramFile = std::filesystem::absolute(argv[0], ec);
    env.UserConfigDir = DefaultUserConfigDir();
    return env;
}

void StartUp(Session& s, const StartUpEnvironment& env) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    Host& host = s.host;

    // 1. Version texts.
    f.logolabel.Caption = VersionText();
    f.RxLabel3.Caption = BuildText(env.ProgramFile);

    // 2-3. Processing area from the form's choice, planes at their first sizes.
    ws.ProcessAreaMax = ProcessAreaSideForItem(f.Processarea.ItemIndex);
    f.ComboBox1.ItemIndex = 1;
    SetProcessAreaMax(ws, f.Processarea.ItemIndex);
    AllocateStackBuffers(ws, f, 2, 2);
    ws.FitsPlane.Create(2, 2);
    for (int c = 0; c < 3; ++c) {
        ws.DarkPlanes[std::size_t(c)].Create(2, 2);
        ws.FlatPlanes[std::size_t(c)].Create(2, 2);
    }

    // 4. Colour parameters.
    ws.LrgbWeight = {0.299f, 0.587f, 0.114f};
    f.RedLRGBslider.Value = 299;
    f.GreenLRGBSlider.Value = 587;
    f.BlueLRGBSlider.Value = 114;
    ws.LumaWeight = ws.LrgbWeight;
    ws.ColourBalance = {1.0f, 1.0f, 1.0f};

    // 5. Program directory: the working directory, or the program's own with an argument
    // (a project opened from the file manager starts elsewhere).
    std::filesystem::path appDir = env.CurrentDir;
    if (env.Arguments.size() == 1) appDir = env.ProgramFile.parent_path();
    ws.AppDir = WithSeparator(appDir);
    s.UserConfigDir = env.UserConfigDir;

    // 6. Extra options for those who asked for them.
    std::error_code ec;
    if (std::filesystem::exists(appDir / "admin.txt", ec)) {
        f.Secretoptions.Visible = true;
        f.Secretoptions.Expand = true;
        f.Drizzle2.Visible = f.Pixfrac.Visible = f.DoAllspeed.Visible = true;
    }

    // 7. Working in the root of the file system clutters it with the program's files.
    if (!appDir.empty() && appDir == appDir.root_path()) {
        host.Message(MsgKind::Warning, "You are working in the root of a drive this may lead to problems !", Buttons::Ok);
        std::string root = appDir.string();
        if (root.size() == 3 && root[1] == ':') ws.AppDir = root.substr(0, 2);  // "C:\" -> "C:"
    }

    // 8.
    f.InitialOptionspanel.Expand = false;
    ws.ProgStatus = 0;

    // 9. The settings file is read once and removed: a crash before the rewrite below
    // cannot leave a file that fails the same way at every start.
    s.SettingsFileName = SettingsFilePath(appDir, env.UserConfigDir);
    s.SettingsDurable = !env.ThrowawayFolders;
    // Settings saves killed mid-write (a crash, a power cut) left their temporaries here.
    for (const std::filesystem::path& folder : {s.SettingsFileName.parent_path(), env.UserConfigDir})
        if (!folder.empty()) RemoveStaleTemporaries(folder);
    RestoreControlSettings(s.SettingsFileName, f, s.MainPlacement);
    std::filesystem::remove(s.SettingsFileName, ec);

    // 10. Resets that must not survive a restart, then the file is written again.
    f.UseDarkFrame.Checked = false;
    f.UseFlatfield.Checked = false;
    for (ToolWindow* w : {&f.Stackframeswindow, &f.SelectFrameswindow, &f.FilterWindow, &f.GammaWindow,
                          &f.HistoWindow, &f.Shrinkview, &f.FFTWindow, &f.Propertywindow})
        w->Visible = false;
    f.Resampled.Checked = false;
    f.PartialProcessControl.Checked = true;
    if (std::string error = s.Close(); !error.empty()) f.Memo1.Lines.push_back(error);

    // 11. LRGB, and the red and blue offsets, only make sense in colour.
    f.LRGB1.Enabled = f.LRGB2.Enabled = f.ColourStack.Checked;
    f.RedSlider.Enabled = f.blueslider.Enabled = f.ColourStack.Checked;
    if (!f.LRGB1.Enabled) f.LRGB1.Checked = false;

    // 12. The restored processing area.
    const std::string area = f.Processarea.Text();
    int item = 3;
    if (area == "full") item = 0;
    else if (area == "2048") item = 1;
    else if (area == "1024") item = 2;
    else if (area == "512") item = 3;
    else if (area == "256") item = 4;
    else if (area == "128") item = 5;
    f.Processarea.ItemIndex = item;
    SetProcessAreaMax(ws, item);

    // 13. The resampling filter by its restored name; an unknown one falls back to the first.
    if (!f.ResampleCombo.SelectText(f.ResampleCombo.Text())) f.ResampleCombo.ItemIndex = 0;

    // 14.
    Run(s.seams.CreateCurves);

    // 15. From here on, moving a tool window is the user's doing and is recorded.
    ws.AviFileName = "none";
    s.Settings.Open(env.UserConfigDir, !env.ThrowawayFolders);
    ws.PositionsReady = true;

    // 16.
    Run(s.seams.NormaliseKernel);

    // 17. The directory the user worked in last time.
    f.DirectoryListBox1.Directory = env.CurrentDir.string();
    const std::string dir = s.Settings.ReadString("Files", "Dir", "nonex");
    if (dir == "nonex") {
        s.Settings.WriteString("Files", "Dir", f.DirectoryListBox1.Directory);
    } else if (std::filesystem::is_directory(dir, ec)) {
        f.DirectoryListBox1.Directory = dir;
    } else {
        host.Message(MsgKind::Warning, "Previously used directory " + dir + " not found", Buttons::Ok);
    }

    // 18. The input type chosen last time.
    const std::string lastType = s.Settings.ReadString("Files", "Lasttype", "none");
    if (lastType == "none") s.Settings.WriteString("Files", "Lasttype", "AVI");
    if (lastType == "AVI") f.AddBitmapDialog.FilterIndex = 1;
    else if (lastType == "BMP") f.AddBitmapDialog.FilterIndex = 2;
    else if (lastType == "FIT") f.AddBitmapDialog.FilterIndex = 3;
    else if (lastType == "JPG") f.AddBitmapDialog.FilterIndex = 4;

    // 19. Where results were saved last time.
    const std::string saveDir = s.Settings.ReadString("Files", "SaveDir", "nonex");
    if (saveDir == "nonex") s.Settings.WriteString("Files", "SaveDir", f.DirectoryListBox1.Directory);
    else f.SaveDialog1.InitialDir = saveDir;

    // 20.
    ws.ResetGammaCurve();
    Run(s.seams.BuildGammaTable);
    SyncBoxSize(s);
    ClearGraph(f.imgGraph);
    for (TabSheet* t : {&f.TabSheet2, &f.TabSheet3, &f.TabSheet4, &f.TabSheet5}) t->TabVisible = false;

    // 21. A clean work state.
    ws.AlignX = ws.AlignY = ws.StackAlignX = ws.StackAlignY = 0;
    Run(s.seams.ResetHistogramLimits);
    ws.IsImageSeries = false;
    f.AlignSlider.Visible = false;
    f.label4.Visible = false;
    f.Optimizebutton.Enabled = false;
    f.PreviewImage.Enabled = true;
    ws.CancelRequested = false;
    ResetLayerGains(f);
    CheckAllLayers(f);
    ws.ProcessAreaLeft = ws.ProcessAreaTop = 0;
    f.AddBitmapDialog.InitialDir = f.DirectoryListBox1.Directory;

    // 22.
    ws.ClearAll();
    host.SetCursor(CursorKind::Default);
    f.PageControl1.ActivePageIndex = 0;

    // 23. A project or frame list given on the command line.
    if (env.Arguments.size() == 1) {
        const std::filesystem::path arg = env.Arguments[0];
        const std::string ext = ToLower(arg.extension().string());
        // A project, a frame list, or a result image that carries its recipe.
        const bool result = IsRecipeImageName(arg);
        if (IsPlainStill(arg)) {
            // "Open with" on a picture that is no result of ours: it opens as its own stack.
            Run(s.seams.ShowMainWindow);
            try {
                ReplaceInput(s, {std::filesystem::absolute(arg).string()}, InputTypeOfFile(arg.string()));
            } catch (const std::exception& e) {
                host.Message(MsgKind::Error, e.what(), Buttons::Ok);
            }
        } else if (ext == ".rsp" || ext == ".rfl" || result) {
            f.OpenDialog2.FileName = arg.string();
            f.OpenDialog2.FilterIndex = result ? 3 : (ext == ".rsp" ? 1 : 2);
            ws.CommandLineLoad = true;
            Run(s.seams.ShowMainWindow);
            try {
                LoadProjectClick(s);
            } catch (const std::exception& e) {
                // A list naming a missing frame must not stop the program from starting.
                host.Message(MsgKind::Error, e.what(), Buttons::Ok);
            }
            ws.CommandLineLoad = false;
        } else if (IsVideoFile(arg.string())) {
            // "Open with" on a capture in a file manager.
            Run(s.seams.ShowMainWindow);
            try {
                OpenVideoFile(s, arg.string());
            } catch (const std::exception& e) {
                host.Message(MsgKind::Error, e.what(), Buttons::Ok);
            }
        }
    }
    // What start-up set (and a command line opened) is where undoing stops, and nothing is unsaved.
    StartCleanWork(s);
}

}  // namespace talvenor
