#include "cli/project_command.h"

#include <filesystem>
#include <ostream>

#include "cli/cli_session.h"
#include "cli/output_guard.h"
#include "cli/stack_command.h"
#include "imagefiles/recipe.h"
#include "session/project_files.h"
#include "session/result_save.h"
#include "session/stacking_handlers.h"
#include "session/tool_windows.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// The save type of a page's dialog for an output name: the Stacking page's types
// (1 BMP, 2 JPEG, 3 FIT, 5 fixed-point FIT, 6 TIFF, 7 PNG) or those of the later pages
// (1..4, 5 PNG).
int SaveTypeFor(const std::string& path, bool stackPage) {
    const std::string ext = ToLower(fs::path(path).extension().string());
    if (ext == ".bmp") return 1;
    if (ext == ".jpg" || ext == ".jpeg") return 2;
    if (ext == ".fit" || ext == ".fits") return 3;
    if (ext == ".fitr" && stackPage) return 5;
    if (ext == ".tif" || ext == ".tiff") return stackPage ? 6 : 4;
    if (ext == ".png") return stackPage ? 7 : 5;
    throw Error(path + ": the output must end in .bmp, .jpg, .fit" + std::string(stackPage ? ", .fitr" : "") +
                ", .tif or .png");
}

// The frames or the video a loaded project was made from.
std::vector<fs::path> CaptureFiles(const Session& s) {
    const Workspace& ws = s.ws;
    std::vector<fs::path> files;
    if (ws.IsImageSeries) {
        for (int i = 0; i <= ws.LastFrame; ++i) files.emplace_back(ws.FileNames[std::size_t(i)]);
    } else if (!ws.AviFileName.empty() && ws.AviFileName != "none") {
        files.push_back(fs::path(s.form.DirectoryListBox1.Directory) / ws.AviFileName);
    }
    return files;
}

}  // namespace

int RunProjectCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string project, output;
    bool force = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size()) throw Error(args[i] + " needs a file name");
            output = args[++i];
        } else if (args[i] == "--force" || args[i] == "-y") {
            force = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            throw Error("unknown option " + args[i] + " (see talvenor-cli project --help)");
        } else if (project.empty()) {
            project = args[i];
        } else {
            throw Error("project takes one project file, not also " + args[i]);
        }
    }
    if (project.empty()) throw Error("project needs a project file (.rsp) or a result image (.fit, .fitr, .tif, .jpg, .png)");
    CliSession cli(err);
    Session& s = cli.session();
    cli.host().Force = force;
    std::vector<OutputFile> outputs;
    if (!output.empty()) outputs.push_back({"-o", output, true, false});
    GuardOutputs(FilesRead({project}), outputs, cli.host());
    // A result image opens the project it carries as its recipe.
    const bool fromImage = IsRecipeImageName(project);
    if (!fromImage && ToLower(fs::path(project).extension().string()) != ".rsp")
        throw Error(project + ": not a project file (.rsp) nor a result image (.fit, .fitr, .tif, .jpg, .png)");
    const std::string recipe = fromImage ? RequireRecipe(project) : std::string();
    const bool opened = fromImage ? LoadProjectText(s, recipe, fs::absolute(project))
                                  : LoadProjectFile(s, fs::absolute(project));
    if (!opened) throw Error(project + ": the project could not be opened");
    const int page = s.form.PageControl1.ActivePageIndex;
    if (!output.empty()) {
        if (!s.ws.StackReady) throw Error(project + ": the project has no stack yet, so there is no image to save");
        // Only now is it known which capture the project stands on; the replay wrote nothing.
        GuardOutputs(CaptureFiles(s), outputs, cli.host());
        const std::string target = fs::absolute(output).string();
        if (page == kPageWavelets || page == kPageFinal) {
            cli.host().SaveChoices.push_back(FileChoice{{target}, SaveTypeFor(output, false)});
            if (page == kPageFinal) s.Dispatch("BitBtn8", Event::Click);
            else SaveBMP2buttonClick(s);
        } else {
            cli.host().SaveChoices.push_back(FileChoice{{target}, SaveTypeFor(output, true)});
            SaveButtonClick(s);
        }
        cli.CommitOutputs();
    }
    const char* pages[] = {"Input", "Aligning", "Stacking", "Wavelet Processing", "Final", "Error-reporting"};
    out << "opened " << project << ": " << InputFrameCount(s.ws) << " frames, status " << int(s.ws.ProgStatus) << ", page "
        << pages[std::clamp(page, 0, 5)];
    if (!output.empty()) out << "; saved " << output;
    out << "\n";
    return 0;
}

}  // namespace talvenor
