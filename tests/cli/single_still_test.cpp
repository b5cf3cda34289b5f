// A single picture (a stack made earlier) opened on its own is its own stack: process
// sharpens it at its full precision with no alignment feature, and stack and align refuse it.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli_run.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

using testing::Cli;
using testing::CliRun;

std::vector<uint16_t> Samples(const std::string& file) {
    TTIFFBitMap image;
    LoadFromFile(image, file);
    std::vector<uint16_t> v;
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            for (int c = 0; c < 3; ++c) v.push_back(image.Sample(x, y, c));
    return v;
}

// Given twice, the still is aligned on itself and stacked globally (no points): the same stack.
TEST(CliSingleStill, ProcessSharpensItAsTheSameStillGivenTwiceIsSharpened) {
    testing::TempDir dir;
    auto p = [&](const std::string& name) { return (dir / name).string(); };
    const std::string capture = testing::PlainCapture(dir / "cap.avi", 8, 120, 90, true).string();
    const struct {
        const char* still;
        const char* colour;
    } cases[] = {{"stack.tif", "--colour"}, {"stack.png", "--colour"}, {"stack.fit", "--mono"}};
    const std::vector<std::string> gains = {"--gains", "3,2,1.5,1,1,1"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.still);
        ASSERT_EQ(Cli({"stack", capture, c.colour, "-o", p(c.still)}).code, 0);
        std::vector<std::string> one = {"process", p(c.still), "-o", p("one.tif"), "-y"};
        std::vector<std::string> two = {"process", p(c.still), p(c.still), "--feature", "60,45", "--ap", "off",
                                        "-o", p("two.tif"), "-y"};
        for (auto* args : {&one, &two}) args->insert(args->end(), gains.begin(), gains.end());
        const CliRun r = Cli(one);
        ASSERT_EQ(r.code, 0) << r.said();
        EXPECT_NE(r.out.find("single picture"), std::string::npos) << r.out;
        ASSERT_EQ(Cli(two).code, 0);
        const std::vector<uint16_t> a = Samples(p("one.tif")), b = Samples(p("two.tif"));
        ASSERT_EQ(a.size(), b.size());
        EXPECT_TRUE(a == b);
        // Its project replays to the same picture, with no question about one frame.
        const CliRun replay = Cli({"project", p("one.tif"), "-o", p("again.tif"), "-y"});
        ASSERT_EQ(replay.code, 0) << replay.said();
        EXPECT_EQ(replay.said().find("Only one frame"), std::string::npos) << replay.said();
        EXPECT_TRUE(Samples(p("again.tif")) == a);
        // The 16 bits are kept: the sharpened picture is not 8-bit levels times 257.
        EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](uint16_t v) { return v % 257 != 0; }));
    }
}

TEST(CliSingleStill, StackAndAlignSayOnePictureNeedsNone) {
    testing::TempDir dir;
    const std::string capture = testing::PlainCapture(dir / "cap.avi", 6, 96, 80).string();
    const std::string still = (dir / "still.tif").string();
    ASSERT_EQ(Cli({"stack", capture, "-o", still}).code, 0);
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"stack", still, "-o", (dir / "again.tif").string()}, "one picture needs no stacking"},
        {{"align", still}, "needs no alignment"},
        {{"process", still, "--ap", "on", "-o", (dir / "p.tif").string()}, "--ap on"},
    };
    for (const auto& c : cases) {
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.code, 1) << c.args[0];
        EXPECT_NE(r.said().find(c.said), std::string::npos) << r.said();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "again.tif"));
}

}  // namespace
}  // namespace talvenor
