// Every way of stacking on every kind of input, on tiny captures: each combination must
// finish, save a picture of the expected size and show the planet. Under the sanitized test
// run this is what walks the stacker's paths (whole pixels, expand, resample, drizzle,
// sub-pixel, de-interlace; 8-bit, 16-bit and FITS samples; grey and colour).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "cli_run.h"
#include "imagefiles/bmp_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

struct Input {
    const char* name;
    capture::CaptureFormat format;
    int depth;
};

std::vector<std::string> WriteInput(const fs::path& dir, const Input& in) {
    capture::CaptureOptions o;
    o.format = in.format;
    o.bitDepth = in.depth;
    o.colour = true;
    o.frames = 6;
    o.width = 56;
    o.height = 44;
    o.seed = 5;
    o.writeTruth = false;
    const bool video = capture::IsAvi(in.format) || capture::IsSer(in.format);
    const fs::path out = dir / (video ? std::string(in.name) + (capture::IsAvi(in.format) ? ".avi" : ".ser") : in.name);
    capture::WriteCapture(out, o);
    if (video) return {out.string()};
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().filename().string().starts_with("capture_")) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(CliStackModes, EveryModeOnEveryInputSavesThePlanet) {
    testing::TempDir dir;
    const Input inputs[] = {
        {"avi-rgb", capture::CaptureFormat::AviRgb, 8},   {"avi-grey", capture::CaptureFormat::AviGrey, 8},
        {"ser-bayer16", capture::CaptureFormat::SerBayer, 16}, {"bmp", capture::CaptureFormat::Bmp, 8},
        {"fit", capture::CaptureFormat::Fits, 8},            {"tif", capture::CaptureFormat::Tiff, 8},
    };
    const struct {
        const char* name;
        std::vector<std::string> options;
        int scale;  // the stack's size over the frame's
    } modes[] = {
        {"plain", {}, 1},
        {"expand", {"--expand"}, 1},
        {"resample", {"--resample", "2"}, 2},
        {"drizzle", {"--drizzle"}, 2},
        {"sub-pixel", {"--subpixel"}, 1},
        {"de-interlace", {"--deinterlace"}, 1},
    };
    for (const Input& in : inputs) {
        const std::vector<std::string> files = WriteInput(dir.path(), in);
        ASSERT_FALSE(files.empty()) << in.name;
        for (const auto& mode : modes)
            for (const char* colour : {"--colour", "--mono"}) {
                SCOPED_TRACE(std::string(in.name) + " " + mode.name + " " + colour);
                const std::string out = (dir / (std::string(in.name) + "-" + mode.name + colour + ".bmp")).string();
                std::vector<std::string> args = {"stack"};
                args.insert(args.end(), files.begin(), files.end());
                args.insert(args.end(), {"-o", out, colour, "--feature", "28,22", "--box", "32"});
                args.insert(args.end(), mode.options.begin(), mode.options.end());
                const testing::CliRun r = testing::Cli(args);
                ASSERT_EQ(r.code, 0) << r.err;
                const Bitmap24 stack = ReadBmp(out);
                // Expand adds a margin; the others are the frame's size times the scale, give or
                // take the pixel a resampled size rounds off.
                EXPECT_GE(stack.Width(), 56 * mode.scale - 2);
                EXPECT_LE(stack.Width(), 56 * mode.scale + 64);
                int brightest = 0;
                for (int y = 0; y < stack.Height(); ++y)
                    for (int x = 0; x < stack.Width(); ++x) brightest = std::max<int>(brightest, stack.Pixel(x, y).g);
                EXPECT_GT(brightest, 60);
            }
    }
}

}  // namespace
}  // namespace talvenor
