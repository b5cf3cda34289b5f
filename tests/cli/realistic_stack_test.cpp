// What a new user gets from `talvenor-cli stack` with nothing but defaults, on captures like
// real ones (photon and read noise, seeing wandering between 0.8 and 3.5 pixels, a pointing
// that random-walks): a stack clearly sharper than the best single frame, at least as close to
// the truth as the mean of the sharpest quarter placed by their true shifts, in colour for a
// colour capture; the alignment points never worse than one shift per frame where the seeing
// bends nothing; and the global stack finer still with --subpixel.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "capture/capture.h"
#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "cli/cli_app.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

int Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunCli(args, out, err);
    EXPECT_EQ(code, 0) << err.str();
    return code;
}

// The largest difference between the channels of any pixel of a picture file, 0..1.
double ChannelSpread(const fs::path& file) {
    const capture::FloatImage image = capture::ReadFloatImage(file);
    if (image.channels < 3) return 0;
    double spread = 0;
    const std::size_t n = std::size_t(image.width) * std::size_t(image.height);
    for (std::size_t i = 0; i < n; ++i) {
        const float r = image.Plane(0)[i], g = image.Plane(1)[i], b = image.Plane(2)[i];
        spread = std::max(spread, double(std::max({r, g, b}) - std::min({r, g, b})));
    }
    return spread;
}

TEST(CliRealisticStack, DefaultsBeatTheBestFrameAndMatchTheOracleInColourAndMono) {
    for (bool colour : {true, false}) {
        SCOPED_TRACE(colour ? "colour AVI" : "mono AVI");
        testing::TempDir dir;
        capture::CaptureOptions o = capture::RealisticCaptureOptions();
        o.format = colour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey;
        o.colour = colour;
        o.frames = 240;
        o.width = 400;
        o.height = 320;
        o.seed = colour ? 31 : 32;
        const fs::path avi = dir / "capture.avi";
        capture::WriteCapture(avi, o);
        const capture::GroundTruth truth = capture::ReadGroundTruth(dir.path());

        // Nothing but defaults: no --colour, no band, no cut.
        Cli({"stack", avi.string(), "-o", (dir / "stack.tif").string(), "--shifts-csv", (dir / "shifts.csv").string()});
        Cli({"stack", avi.string(), "-o", (dir / "global.tif").string(), "--ap", "off"});
        Cli({"stack", avi.string(), "-o", (dir / "subpixel.tif").string(), "--subpixel", "--ap", "off"});

        capture::CaptureFrames frames(avi);
        const capture::FrameReader read = [&](int k, capture::FloatImage& out) { frames.Read(k, out); };
        const double best = capture::BestFramePsnr(read, truth).psnr.psnr;
        const double oracle = capture::OracleStack(read, truth).psnr.psnr;
        const double stack = capture::DiskPsnr(capture::ReadFloatImage(dir / "stack.tif"), truth).psnr;
        const double global = capture::DiskPsnr(capture::ReadFloatImage(dir / "global.tif"), truth).psnr;
        const double subpixel = capture::DiskPsnr(capture::ReadFloatImage(dir / "subpixel.tif"), truth).psnr;
        const double rho = capture::QualityAgainstBlur(capture::ReadShiftsCsv(dir / "shifts.csv"), truth.frames).spearman;
        std::printf("[ figures ] %s: best frame %.2f dB, oracle %.2f dB, stack %.2f dB, global %.2f dB, global "
                    "--subpixel %.2f dB; Spearman(quality, blur) %.3f\n",
                    colour ? "colour" : "mono", best, oracle, stack, global, subpixel, rho);
        EXPECT_LE(rho, -0.9);
        EXPECT_GE(stack, best + 2.0);
        EXPECT_GE(stack, oracle - 0.3);
        EXPECT_GE(stack, global - 0.05);
        EXPECT_GE(subpixel, global);
        // A colour capture stacks in colour, a grey one in grey.
        if (colour)
            EXPECT_GT(ChannelSpread(dir / "stack.tif"), 0.1);
        else
            EXPECT_EQ(ChannelSpread(dir / "stack.tif"), 0.0);
    }
}

}  // namespace
}  // namespace talvenor
