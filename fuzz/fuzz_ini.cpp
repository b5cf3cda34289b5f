// INI files as the program reads them: the settings file (read from disk with the default
// clean-ups, long lines cut, then every stored control set from it) and project text (lines
// kept whole). Whatever is read must write out as text that reads back to the same text,
// since projects and settings are rewritten from what was read.
#include "harness.h"
#include "workspace/big_ini_file.h"
#include "workspace/settings_file.h"

using namespace talvenor;

namespace {

void CheckRewriteReadsBack(const TBigIniFile& ini, const TIniReadOptions& options) {
    const std::string text = ini.Text();
    TBigIniFile again("", options);
    again.SetText(text);
    if (again.Text() != text) {
        std::fprintf(stderr, "the rewritten file reads back differently\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzz::InputFile file("talvenor.ini");
    const std::filesystem::path& path = file.Write({data, size});
    fuzz::Refusable(file.Name(), [&] {
        const TBigIniFile settings(path);
        Controls& form = fuzz::Form();
        WindowPlacement placement;
        ReadControlSettings(settings, form, placement);
        for (const std::string& section : settings.ReadSections()) settings.ReadSectionValues(section);
        CheckRewriteReadsBack(settings, {});
    });
    TIniReadOptions project;
    project.KeepLongLines = true;
    TBigIniFile text("", project);
    text.SetText(fuzz::Text({data, size}));
    CheckRewriteReadsBack(text, project);
    return 0;
}
