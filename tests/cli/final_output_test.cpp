// `talvenor-cli process` with final options writes the final picture, crop included, in every
// format: the 16-bit types hold what the BMP of the same run holds.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "imagefiles/bmp_file.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;

TEST(CliFinalOutput, EveryTypeWritesTheTurnedCroppedFinalPicture) {
    testing::TempDir dir;
    const fs::path avi = testing::PlainCapture(dir / "capture.avi", 12, 200, 150);
    const auto run = [&](const std::string& name) {
        const auto r = Cli({"process", avi.string(), "-o", (dir / name).string(), "--gains", "2,1,1,1,1,1", "--rotate", "10",
                            "--crop", "30,20,100,80"});
        EXPECT_EQ(r.code, 0) << name << ": " << r.err;
        EXPECT_NE(r.out.find("(the final picture)"), std::string::npos) << r.out;
    };
    for (const char* name : {"x.bmp", "x.tif", "x.png", "x.fit"}) run(name);
    const Bitmap24 bmp = ReadBmp(dir / "x.bmp");
    TTIFFBitMap tif, png;
    LoadFromFile(tif, dir / "x.tif");
    ToWideBitmap(ReadPng(dir / "x.png"), png);
    const DecodedImage fit = ReadFitsImage(dir / "x.fit", false);
    ASSERT_EQ(bmp.Width(), 100);
    ASSERT_EQ(bmp.Height(), 80);
    for (const auto& [w, h] : {std::pair{tif.Width(), tif.Height()}, std::pair{fit.Width, fit.Height}}) {
        ASSERT_EQ(w, 100);
        ASSERT_EQ(h, 80);
    }
    EXPECT_EQ(png.Wide, tif.Wide);
    // The 16-bit render rounds on its own: its top byte lies within a level or two of the BMP's.
    int worst = 0, worstFits = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            worst = std::max(worst, std::abs(tif.Sample(x, y, 1) / 256 - int(bmp.Pixel(x, y).g)));
            worstFits = std::max(worstFits, std::abs(int(fit.At(x, y, 0)) - int(tif.Sample(x, y, 1))));
        }
    EXPECT_LE(worst, 2);
    EXPECT_LE(worstFits, 1);
}

}  // namespace
}  // namespace talvenor
