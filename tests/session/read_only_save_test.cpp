// A save onto a file the user protected: the desktop asks and, after Yes, replaces it and keeps
// it protected; the command line (nobody to ask) refuses, naming the file, and writes nothing of
// the save. The program's start clears what killed saves of its settings left.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "session/result_save.h"
#include "session_fixture.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ReadOnlySave, TheDesktopAsksTheCommandLineRefuses) {
    const struct {
        const char* what;
        std::string typed;
        int type;                       // the Wavelet page's save types: 1 BMP, 3 FITS
        std::vector<std::string> files; // every file the save writes
        std::string protectedFile;      // the read-only one among them
        bool person;                    // a person is there to answer
        Answer answer;
        bool replaced;
    } cases[] = {
        {"BMP, Yes", "r.bmp", 1, {"r.bmp"}, "r.bmp", true, Answer::Yes, true},
        {"BMP, No", "r.bmp", 1, {"r.bmp"}, "r.bmp", true, Answer::No, false},
        {"BMP, command line", "r.bmp", 1, {"r.bmp"}, "r.bmp", false, Answer::Yes, false},
        {"colour FITS, Yes", "r.fit", 3, {"r_R.fit", "r_G.fit", "r_B.fit"}, "r_B.fit", true, Answer::Yes, true},
        {"colour FITS, command line", "r.fit", 3, {"r_R.fit", "r_G.fit", "r_B.fit"}, "r_B.fit", false, Answer::Yes, false},
    };
    for (const auto& c : cases) {
        testing::StartedSession t;
        Session& s = t.Start();
        s.ws.ImageWidth = 4;
        s.ws.ImageHeight = 3;
        s.form.ColourStack.Checked = c.type == 3;
        s.form.ProcessImage.Image.SetSize(4, 3);
        s.ws.StackTiff.CreateWide(5, 4);
        const fs::path dir = t.appDir.path();
        for (const std::string& name : c.files) t.WriteFile(dir / name, "earlier " + name);
        fs::permissions(dir / c.protectedFile, fs::perms(0444));
        if (c.person) t.host.OnPump = [] {};
        // FITS asks about replacing the two other channel files first.
        t.host.Answers.assign(c.files.size() - 1, Answer::Yes);
        t.host.Answers.push_back(c.answer);
        t.host.SaveChoices.push_back(FileChoice{{(dir / c.typed).string()}, c.type});
        std::string said;
        try {
            s.Dispatch("SaveBMP2button", Event::Click);
        } catch (const Error& e) {
            said = e.what();
        }
        EXPECT_EQ(said, c.person ? "" : (dir / c.protectedFile).string() + " is read-only") << c.what;
        EXPECT_EQ(t.host.Showed(" " + (dir / c.protectedFile).string() + " is read-only. Replace it anyway ?"), c.person)
            << c.what;
        for (const std::string& name : c.files)
            EXPECT_EQ(Contents(dir / name) != "earlier " + name, c.replaced) << c.what << " " << name;
        EXPECT_EQ(fs::status(dir / c.protectedFile).permissions(), fs::perms(0444)) << c.what;
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_NE(e.path().extension(), ".tmp") << c.what << " " << e.path();
    }
}

TEST(StartUp, ClearsStaleTemporariesOfTheSettingsFolderOnly) {
    testing::StartedSession t;
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    for (const fs::path& file : {t.appDir / ".tv00c0ffee.tmp", t.configDir / ".tv0badf00d.tmp", t.appDir / "keep.tmp"}) {
        t.WriteFile(file, "left by a killed save");
        fs::last_write_time(file, old);
    }
    t.Start();
    EXPECT_FALSE(fs::exists(t.appDir / ".tv00c0ffee.tmp"));
    EXPECT_FALSE(fs::exists(t.configDir / ".tv0badf00d.tmp"));
    EXPECT_TRUE(fs::exists(t.appDir / "keep.tmp"));
}

}  // namespace
}  // namespace talvenor
