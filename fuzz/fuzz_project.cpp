// Project files (.rsp) as opening one reads them, without the capture they name: the "Input"
// section, every stored control, the Finish settings and the per-frame sections for as many
// frames as the project claims (bounded by the frame table, as an opened capture bounds them).
#include <algorithm>

#include "harness.h"
#include "project/project_file.h"
#include "workspace/big_ini_file.h"
#include "workspace/settings_file.h"
#include "workspace/workspace.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("project.rsp");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        TIniReadOptions options;
        options.KeepLongLines = true;
        const TBigIniFile ini(path, options);
        const ProjectInput p = ReadProjectInput(ini);
        for (const std::string& image : p.images) ProjectPath(image);
        ProjectPath(p.fileDir);
        ProjectPath(p.fileName);
        Controls& form = fuzz::Form();
        form.Interlaced.Checked = false;  // unless this project says so
        WindowPlacement placement;
        ReadControlSettings(ini, form, placement);
        ReadProjectFinish(ini, form);
        Workspace ws;
        ReadProjectFrames(ini, ws, std::min(p.sequenceLength, kMaxFrames), form.Interlaced.Checked,
                          [](long long, long long, std::string_view) {});
    });
    return 0;
}
