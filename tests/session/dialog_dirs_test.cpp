#include <gtest/gtest.h>

#include "imagefiles/bmp_file.h"
#include "session/dialog_dirs.h"
#include "session/still_on_wavelet_page.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

// Each kind of file has its own last folder: a save or an open of one kind moves where the next
// dialog of that kind starts, and no other kind's.
TEST(DialogDirs, EachKindOfFileStartsInTheLastFolderUsedForIt) {
    testing::StillOnWaveletPage p;
    Session& s = *p.s;
    ScriptedHost& host = p.t.host;
    const std::string inputFolder = OpenStartDir(s);
    struct Kind {
        const char* chooser;  // the button whose dialog picks the file
        bool saves;
        const char* file;
        const char* next;  // a button whose dialog then starts in the file's folder
        bool nextSaves;
    };
    const Kind kinds[] = {
        {"SaveBMP2button", true, "sharpened.bmp", "SaveButton", true},
        {"SaveProject", true, "planet.rsp", "LoadProject", false},
        {"SaveFilter", true, "kernel.flt", "LoadFilter", false},
        {"LoadDarkframe", false, "dark.bmp", "Flatfieldbutton", false},
    };
    std::vector<testing::TempDir> folders(std::size(kinds));
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
        const Kind& kind = kinds[k];
        SCOPED_TRACE(kind.chooser);
        const fs::path file = folders[k] / kind.file;
        if (!kind.saves) WriteBmp24(file, Bitmap24(s.ws.ImageWidth, s.ws.ImageHeight));
        (kind.saves ? host.SaveChoices : host.OpenChoices).push_back(FileChoice{{file.string()}, 1});
        s.Dispatch(kind.chooser, Event::Click);
        s.Dispatch(kind.next, Event::Click);  // cancelled: nothing queued
        const auto& requests = kind.nextSaves ? host.SaveRequests : host.OpenRequests;
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(fs::path(requests.back().InitialDir), fs::absolute(folders[k].path()));
    }
    // Every kind kept its own folder; captures still start where the input is.
    EXPECT_EQ(fs::path(StartDirFor(s, FileGroup::Results, true)), fs::absolute(folders[0].path()));
    EXPECT_EQ(fs::path(StartDirFor(s, FileGroup::Projects, false)), fs::absolute(folders[1].path()));
    EXPECT_EQ(OpenStartDir(s), inputFolder);
}

}  // namespace
}  // namespace talvenor
