// Projects from the command line: the work saved at the end of stack or process reopens and
// replays to the same picture.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "capture/capture.h"
#include "cli/cli_app.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

int Cli(std::vector<std::string> args, std::string* out = nullptr) {
    std::ostringstream o, e;
    const int code = RunCli(args, o, e);
    if (out) *out = o.str() + e.str();
    return code;
}

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CliProject, StackAndProcessSaveProjectsThatReplayToTheSamePicture) {
    testing::TempDir dir;
    capture::CaptureOptions o;
    o.frames = 24;
    o.width = 200;
    o.height = 150;
    o.writeTruth = false;
    const fs::path avi = dir / "capture.avi";
    capture::WriteCapture(avi, o);
    auto p = [&](const char* name) { return (dir / name).string(); };

    ASSERT_EQ(Cli({"stack", avi.string(), "-o", p("first.tif"), "--project", p("stack.rsp")}), 0);
    std::string said;
    ASSERT_EQ(Cli({"project", p("stack.rsp"), "-o", p("again.tif")}, &said), 0) << said;
    EXPECT_NE(said.find("status 4"), std::string::npos) << said;
    EXPECT_EQ(Bytes(p("first.tif")), Bytes(p("again.tif")));

    ASSERT_EQ(Cli({"process", avi.string(), "-o", p("sharp.bmp"), "--gains", "3,2,1,1,1,1", "--project", p("process.rsp")}), 0);
    ASSERT_EQ(Cli({"project", p("process.rsp"), "-o", p("sharp-again.bmp")}, &said), 0) << said;
    EXPECT_NE(said.find("Wavelet Processing"), std::string::npos) << said;
    EXPECT_EQ(Bytes(p("sharp.bmp")), Bytes(p("sharp-again.bmp")));

    // A project whose capture is gone, or no project at all, is an error with its reason.
    fs::rename(avi, dir / "moved.avi");
    EXPECT_EQ(Cli({"project", p("stack.rsp")}, &said), 1);
    EXPECT_NE(said.find("missing, project not loaded"), std::string::npos) << said;
    EXPECT_EQ(Cli({"project", p("none.rsp")}, &said), 1);
    EXPECT_EQ(Cli({"project", "--help"}, &said), 0);
    EXPECT_NE(said.find("project FILE.rsp"), std::string::npos);
}

}  // namespace
}  // namespace talvenor
