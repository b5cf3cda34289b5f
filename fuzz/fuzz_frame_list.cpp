// Frame lists (.rfl) as opening or adding one reads them: the lines, then the frames added to
// the sequence's list (no frame file is opened: the names are whatever the list says).
#include "harness.h"
#include "input/frame_lists.h"
#include "workspace/app_context.h"
#include "workspace/scripted_host.h"

using namespace talvenor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("frames.rfl");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        const std::vector<std::string> lines = ReadFrameListToOpen(path.string());
        Workspace ws;
        Controls& form = fuzz::Form();
        form.SelectFramesChecklist.Clear();  // the frames the previous input added
        ScriptedHost host;
        UserStore settings;
        AppContext c{ws, form, host, settings};
        LoadFrameList(c, path.string(), lines, true);
    });
    return 0;
}
