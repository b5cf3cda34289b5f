#include "session/frame_list_open.h"

#include <filesystem>

#include "imagefiles/recipe.h"
#include "input/frame_lists.h"
#include "input/frame_selection.h"
#include "session/alignment.h"
#include "session/dialog_dirs.h"
#include "session/input_selection.h"
#include "session/project_files.h"
#include "session/unsaved_work.h"
#include "workspace/stack_buffers.h"
#include "workspace/text_util.h"

namespace talvenor {

void OpenFrameListFile(Session& s, const std::string& path) {
    Controls& f = s.form;
    Workspace& ws = s.ws;
    // An unreadable or empty list is refused before the open sequence is let go.
    const std::vector<std::string> lines = ReadFrameListToOpen(path);
    if (!ConfirmDiscardWork(s)) return;
    ResetForNewInput(s);
    ws.FreeStackBuffers();
    LoadFrameList(s.ctx, path, lines, false);
    FollowInputColour(s);
    f.ShowFramelist.Checked = true;
    f.SelectFrameswindow.Visible = true;
    f.AddFramesButton.Visible = true;
    f.Frontpanel.Visible = f.FFTsizeGroup.Visible = true;
    f.Framelistsavebutton.Visible = f.Framelistloadbutton.Visible = f.FramelistSortbutton.Visible = true;
    s.Settings.WriteString("Files", "Lasttype", ws.IsJpeg ? "JPG" : ws.IsFits ? "FIT" : ws.IsTiff ? "TIF" : "BMP");
    f.DirectoryListBox1.Directory = std::filesystem::path(ws.FileNames[0]).parent_path().string();
    AllocateStackBuffers(ws, f, ws.ImageWidth, ws.ImageHeight);
    ws.SingleFrameCase = ws.LastFrame == 0;
    SyncBoxSize(s);
    ShowFrameState(s.ctx, f.PreviewSlider.Value);
    StartCleanWork(s);
}

void LoadProjectClick(Session& s) {
    Controls& f = s.form;
    if (!s.ws.CommandLineLoad) {
        DialogSpec spec;
        spec.Title = "Project Load";
        spec.Filter = f.OpenDialog2.Filter;
        spec.FilterIndex = f.OpenDialog2.FilterIndex;
        spec.InitialDir = StartDirFor(s, FileGroup::Projects, false);
        auto choice = s.host.OpenDialog(spec);
        if (!choice || choice->Files.empty()) return;
        f.OpenDialog2.FileName = choice->Files[0];
        RememberDirOf(s, FileGroup::Projects, choice->Files[0]);
        f.OpenDialog2.FilterIndex = choice->FilterIndex;
    }
    const std::string path = f.OpenDialog2.FileName;
    const std::string ext = ToLower(std::filesystem::path(path).extension().string());
    if (IsRecipeImageName(path)) {
        // A result image opens the project it carries; without one nothing changes.
        const std::string recipe = RequireRecipe(path);
        LoadProjectText(s, recipe, std::filesystem::absolute(path));
    } else if (ext == ".rfl" || (ext != ".rsp" && f.OpenDialog2.FilterIndex == 2)) {
        OpenFrameListFile(s, path);
    } else if (ext == ".rsp") {
        s.seams.LoadProject();
    } else {
        // Read as a project, any other file would only end in a missing capture.
        s.host.Message(MsgKind::Error,
                       path + " is not a project (.rsp), a frame list (.rfl) or a result image (.fit, .fitr, .tif, .jpg, .png); "
                              "nothing was opened.",
                       Buttons::Ok);
    }
}

}  // namespace talvenor
