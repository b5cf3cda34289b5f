// Results carry their recipe: a TIFF or FITS written by stack opens again as the project that
// made it and saves the very same pixels.
#include <gtest/gtest.h>

#include <sstream>

#include "capture/capture.h"
#include "cli_run.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/recipe.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"
#include "support/tiff_samples.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::TiffSamples;
using testing::CliStatus;
using testing::PlainCapture;

std::vector<int64_t> FitsPixels(const fs::path& file) {
    const FitsFile f = LoadFitsFile(file);
    std::vector<int64_t> v;
    ReadFitsRows(f, f.Header.Width, f.Header.Height, [&](int, int, int64_t s) { v.push_back(s); });
    return v;
}

fs::path Capture(const fs::path& dir, const char* name, bool colour) {
    return PlainCapture(dir / name, 12, 120, 90, colour);
}

TEST(CliRecipe, ResultsReopenAsTheirProjectAndSaveTheSamePixels) {
    testing::TempDir dir;
    auto p = [&](const char* name) { return (dir / name).string(); };
    std::string said;

    const fs::path grey = Capture(dir.path(), "grey.avi", false);
    ASSERT_EQ(CliStatus({"stack", grey.string(), "-o", p("r.tif")}, &said), 0) << said;
    ASSERT_TRUE(ReadRecipe(p("r.tif")));
    ASSERT_EQ(CliStatus({"project", p("r.tif"), "-o", p("again.tif")}, &said), 0) << said;
    EXPECT_NE(said.find("status 4"), std::string::npos) << said;
    EXPECT_EQ(TiffSamples(p("r.tif")), TiffSamples(p("again.tif")));

    ASSERT_EQ(CliStatus({"stack", grey.string(), "-o", p("g.fit")}, &said), 0) << said;
    ASSERT_EQ(CliStatus({"project", p("g.fit"), "-o", p("g-again.fit")}, &said), 0) << said;
    EXPECT_EQ(FitsPixels(p("g.fit")), FitsPixels(p("g-again.fit")));

    // A colour result: any channel file, or the name given to the save, stands for it.
    const fs::path colour = Capture(dir.path(), "colour.avi", true);
    ASSERT_EQ(CliStatus({"stack", colour.string(), "-o", p("c.fit")}, &said), 0) << said;
    for (const char* opened : {"c_G.fit", "c.fit"}) {
        ASSERT_EQ(CliStatus({"project", p(opened), "-o", p("c-again.fit")}, &said), 0) << opened << ": " << said;
        for (const char* channel : {"_R.fit", "_G.fit", "_B.fit"})
            EXPECT_EQ(FitsPixels(p("c") + channel), FitsPixels(p("c-again") + channel)) << opened << channel;
        for (const char* channel : {"_R.fit", "_G.fit", "_B.fit"}) fs::remove(p("c-again") + std::string(channel));
    }
}

TEST(CliRecipe, AnImageWithoutRecipeOpensNothing) {
    testing::TempDir dir;
    TTIFFBitMap image;
    image.CreateWide(4, 4);
    SaveToFile(image, dir / "plain.tif");
    std::string said;
    EXPECT_EQ(CliStatus({"project", (dir / "plain.tif").string()}, &said), 1);
    EXPECT_NE(said.find("carries no recipe"), std::string::npos) << said;
    EXPECT_EQ(CliStatus({"project", (dir / "gone.fit").string()}, &said), 1);
    EXPECT_NE(said.find("does not exist"), std::string::npos) << said;
}

}  // namespace
}  // namespace talvenor
