// A single picture (a stack made earlier) is its own stack: process sharpens it at its full
// precision with no alignment feature; stack and align refuse it.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli_run.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"
#include "support/tiff_samples.h"

namespace talvenor {
namespace {

using testing::TiffSamples;
using testing::Cli;

// Given twice, the still is aligned on itself and stacked globally (no points): the same stack.
TEST(CliSingleStill, ProcessSharpensItAsTheSameStillGivenTwiceIsSharpened) {
    testing::TempDir dir;
    auto p = [&](const std::string& name) { return (dir / name).string(); };
    const std::string capture = testing::PlainCapture(dir / "cap.avi", 8, 120, 90, true).string();
    for (const char* still : {"stack.tif", "stack.png", "stack.fit"}) {
        SCOPED_TRACE(still);
        const char* colour = std::string(still).ends_with(".fit") ? "--mono" : "--colour";
        ASSERT_EQ(Cli({"stack", capture, colour, "-o", p(still)}).code, 0);
        const auto r = Cli({"process", p(still), "-o", p("one.tif"), "-y", "--gains", "3,2,1.5,1,1,1"});
        ASSERT_EQ(r.code, 0) << r.said();
        EXPECT_NE(r.out.find("single picture"), std::string::npos) << r.out;
        ASSERT_EQ(Cli({"process", p(still), p(still), "--feature", "60,45", "--ap", "off", "-o", p("two.tif"), "-y",
                       "--gains", "3,2,1.5,1,1,1"}).code, 0);
        const std::vector<uint16_t> one = TiffSamples(p("one.tif"));
        EXPECT_TRUE(one == TiffSamples(p("two.tif")));
        EXPECT_TRUE(std::any_of(one.begin(), one.end(), [](uint16_t v) { return v % 257 != 0; }));  // 16 bits kept
        // Its project replays to the same picture, with no question about one frame.
        const auto replay = Cli({"project", p("one.tif"), "-o", p("again.tif"), "-y"});
        EXPECT_EQ(replay.said().find("Only one frame"), std::string::npos) << replay.said();
        EXPECT_TRUE(TiffSamples(p("again.tif")) == one);
    }
    const struct {
        std::vector<std::string> args;
        const char* said;
    } refused[] = {
        {{"stack", p("stack.tif"), "-o", p("again.bmp")}, "one picture needs no stacking"},
        {{"align", p("stack.tif")}, "needs no alignment"},
        {{"process", p("stack.tif"), "--ap", "on", "-o", p("ap.tif")}, "--ap on"},
    };
    for (const auto& c : refused) {
        const auto r = Cli(c.args);
        EXPECT_EQ(r.code, 1) << c.args[0];
        EXPECT_NE(r.said().find(c.said), std::string::npos) << r.said();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "again.bmp"));
}

}  // namespace
}  // namespace talvenor
