// PNG results from the command line: 16-bit stacks and processed images that carry their
// recipe, reopen as their project and save the very same pixels again.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::CliStatus;

std::string Detail(const FileInfo& info, const std::string& key) {
    for (const auto& [k, v] : info.Details)
        if (k == key) return v;
    return "(missing)";
}

TEST(CliPngOutput, StacksAndProcessedImagesAreSixteenBitPngsThatReopenAsTheirProject) {
    testing::TempDir dir;
    auto p = [&](const char* name) { return (dir / name).string(); };
    const std::string capture = testing::PlainCapture(dir / "colour.avi", 12, 120, 90, true).string();
    std::string said;

    ASSERT_EQ(CliStatus({"stack", capture, "-o", p("stack.png")}, &said), 0) << said;
    ASSERT_EQ(CliStatus({"stack", capture, "-o", p("stack.tif")}, &said), 0) << said;
    const FileInfo info = ProbePng(p("stack.png"));
    EXPECT_EQ(info.Bits, 48);
    EXPECT_EQ(Detail(info, "recipe"), "yes");
    // The same samples the 48-bit TIFF save writes.
    const DecodedImage png = ReadPng(p("stack.png"));
    TTIFFBitMap tiff;
    LoadFromFile(tiff, p("stack.tif"));
    ASSERT_EQ(png.Width, tiff.Width());
    ASSERT_EQ(png.Height, tiff.Height());
    int differences = 0;
    for (int y = 0; y < png.Height; ++y)
        for (int x = 0; x < png.Width; ++x)
            for (int c = 0; c < 3; ++c) differences += png.At(x, y, c) != tiff.Sample(x, y, c);
    EXPECT_EQ(differences, 0);

    ASSERT_EQ(CliStatus({"project", p("stack.png"), "-o", p("again.png")}, &said), 0) << said;
    EXPECT_NE(said.find("status 4"), std::string::npos) << said;
    EXPECT_EQ(ReadPng(p("again.png")).Samples, png.Samples);

    ASSERT_EQ(CliStatus({"process", capture, "-o", p("sharp.png")}, &said), 0) << said;
    EXPECT_EQ(ProbePng(p("sharp.png")).Bits, 48);
    ASSERT_EQ(CliStatus({"project", p("sharp.png"), "-o", p("sharp-again.png")}, &said), 0) << said;
    EXPECT_EQ(ReadPng(p("sharp-again.png")).Samples, ReadPng(p("sharp.png")).Samples);

    EXPECT_EQ(CliStatus({"stack", capture, "-o", p("stack.gif")}, &said), 1);
    EXPECT_NE(said.find(".tif or .png"), std::string::npos) << said;
}

}  // namespace
}  // namespace talvenor
