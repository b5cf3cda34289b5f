// Projects from the command line: the work saved at the end of stack or process reopens and
// replays to the same picture.
#include <gtest/gtest.h>


#include "capture/capture.h"
#include "cli_run.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::CliStatus;
using testing::FileBytes;
using testing::PlainCapture;

TEST(CliProject, StackAndProcessSaveProjectsThatReplayToTheSamePicture) {
    testing::TempDir dir;
    const fs::path avi = PlainCapture(dir / "capture.avi", 24, 200, 150);
    auto p = [&](const char* name) { return (dir / name).string(); };

    ASSERT_EQ(CliStatus({"stack", avi.string(), "-o", p("first.tif"), "--project", p("stack.rsp")}), 0);
    std::string said;
    ASSERT_EQ(CliStatus({"project", p("stack.rsp"), "-o", p("again.tif")}, &said), 0) << said;
    EXPECT_NE(said.find("status 4"), std::string::npos) << said;
    EXPECT_TRUE(FileBytes(p("first.tif")) == FileBytes(p("again.tif")));

    ASSERT_EQ(CliStatus({"process", avi.string(), "-o", p("sharp.bmp"), "--gains", "3,2,1,1,1,1", "--project", p("process.rsp")}), 0);
    ASSERT_EQ(CliStatus({"project", p("process.rsp"), "-o", p("sharp-again.bmp")}, &said), 0) << said;
    EXPECT_NE(said.find("Wavelet Processing"), std::string::npos) << said;
    EXPECT_TRUE(FileBytes(p("sharp.bmp")) == FileBytes(p("sharp-again.bmp")));

    // A final picture (turned) reopens on the Final page and saves the same picture again.
    ASSERT_EQ(CliStatus({"process", avi.string(), "-o", p("turned.tif"), "--rotate", "15"}), 0);
    ASSERT_EQ(CliStatus({"project", p("turned.tif"), "-o", p("turned-again.tif")}, &said), 0) << said;
    EXPECT_NE(said.find("page Final"), std::string::npos) << said;
    EXPECT_TRUE(FileBytes(p("turned.tif")) == FileBytes(p("turned-again.tif")));

    // A project whose capture is gone, or no project at all, is an error with its reason.
    fs::rename(avi, dir / "moved.avi");
    EXPECT_EQ(CliStatus({"project", p("stack.rsp")}, &said), 1);
    EXPECT_NE(said.find("missing, project not loaded"), std::string::npos) << said;
    EXPECT_EQ(CliStatus({"project", p("none.rsp")}, &said), 1);
    EXPECT_EQ(CliStatus({"project", "--help"}, &said), 0);
    EXPECT_NE(said.find("project FILE.rsp"), std::string::npos);
}

}  // namespace
}  // namespace talvenor
