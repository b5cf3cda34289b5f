// `talvenor-cli process` as a user runs it on a capture like a real one: neutral gains give
// back the stack, sharpening gains on the finest layers give a result measurably sharper
// against the truth without losing accuracy, and every wavelet option reaches the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "capture/capture.h"
#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "cli_run.h"
#include "final/render_final.h"
#include "imagefiles/bmp_file.h"
#include "support/temp_dir.h"
#include "support/picture_difference.h"
#include "support/tiff_samples.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

using testing::Cli;
using testing::CliRun;
using testing::MaxDifference;

struct RealisticCapture {
    testing::TempDir dir;
    fs::path avi = dir / "capture.avi";
    explicit RealisticCapture(bool colour, int width = 360, int height = 280, int frames = 160) {
        capture::CaptureOptions o = capture::RealisticCaptureOptions();
        o.format = colour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey;
        o.colour = colour;
        o.frames = frames;
        o.width = width;
        o.height = height;
        o.seed = colour ? 41 : 42;
        capture::WriteCapture(avi, o);
    }
    std::string Out(const std::string& name) const { return (dir / name).string(); }
};

TEST(CliProcess, NeutralGainsGiveTheStackAndSharpeningGainsAreSharperAgainstTheTruth) {
    RealisticCapture c(false);
    ASSERT_EQ(Cli({"stack", c.avi.string(), "-o", c.Out("stack.bmp")}).code, 0);
    ASSERT_EQ(Cli({"stack", c.avi.string(), "-o", c.Out("stack.tif")}).code, 0);
    const CliRun neutral = Cli({"process", c.avi.string(), "-o", c.Out("neutral.bmp")});
    ASSERT_EQ(neutral.code, 0) << neutral.err;
    EXPECT_NE(neutral.out.find("processed the image"), std::string::npos) << neutral.out;
    EXPECT_LE(MaxDifference(ReadBmp(c.Out("neutral.bmp")), ReadBmp(c.Out("stack.bmp"))), 1);

    const CliRun sharp = Cli({"process", c.avi.string(), "-o", c.Out("sharp.tif"), "--gains", "2,1.5,1.2,1,1,1", "--scheme", "dyadic"});
    ASSERT_EQ(sharp.code, 0) << sharp.err;
    const capture::GroundTruth truth = capture::ReadGroundTruth(c.dir.path());
    const capture::FloatImage stack = capture::ReadFloatImage(c.Out("stack.tif"));
    const capture::FloatImage sharpened = capture::ReadFloatImage(c.Out("sharp.tif"));
    const capture::BlurMatch blurStack = capture::EquivalentBlur(stack, truth);
    const capture::BlurMatch blurSharp = capture::EquivalentBlur(sharpened, truth);
    EXPECT_LT(blurSharp.sigma, blurStack.sigma - 0.2);
    const double stackPsnr = capture::DiskPsnr(stack, truth).psnr;
    EXPECT_GE(capture::DiskPsnr(sharpened, truth).psnr, stackPsnr);

    // One-click sharpening by either method, and a deconvolution by hand, gain well over the stack.
    const struct {
        std::vector<std::string> options;
        const char* method;
    } automatic[] = {{{"--gains", "auto"}, "wavelets"},
                     {{"--deconvolve", "auto"}, "deconvolution"},
                     {{"--deconvolve", "auto", "--deconvolve-filter", "wiener"}, "deconvolution"},
                     {{"--deconvolve", "1.4,10"}, "deconvolution"}};
    for (const auto& a : automatic) {
        SCOPED_TRACE(a.options[1]);
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out("auto.tif"), "--force", "--json"};
        args.insert(args.end(), a.options.begin(), a.options.end());
        const CliRun r = Cli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("\"sharpening\": {\"method\": \"") + a.method), std::string::npos) << r.out;
        EXPECT_GT(capture::DiskPsnr(capture::ReadFloatImage(c.Out("auto.tif")), truth).psnr, stackPsnr + 1);
        // What "auto" chose travels in the result's recipe and replays to the same pixels.
        if (a.options.size() == 2) {
            ASSERT_EQ(Cli({"project", c.Out("auto.tif"), "-o", c.Out("again.tif"), "--force"}).code, 0);
            EXPECT_TRUE(testing::TiffSamples(c.Out("auto.tif")) == testing::TiffSamples(c.Out("again.tif")));
        }
    }
}

TEST(CliProcess, WaveletOptionsReachThePictureAndBadValuesAreRefused) {
    RealisticCapture c(true);
    const CliRun base = Cli({"process", c.avi.string(), "-o", c.Out("base.bmp"), "--json"});
    ASSERT_EQ(base.code, 0) << base.err;
    const Bitmap24 plain = ReadBmp(c.Out("base.bmp"));
    // Each option alone changes the picture.
    const std::vector<std::vector<std::string>> variants = {
        {"--contrast", "150"},
        {"--brightness", "20"},
        {"--gamma", "2"},
        {"--gains", "2,1,1,1,1,1", "--scheme", "linear", "--initial", "2", "--step", "1"},
        {"--gains", "4,1,1,1,1,1", "--kernel", "0,0,0,0,0,0,1,1,1,0,0,1,1,1,0,0,1,1,1,0,0,0,0,0,0"},
        {"--rgb-shift", "2,0,-2,0"},
        {"--gains", "3,1,1,1,1,1", "--lrgb"},
        {"--gains", "3,1,1,1,1,1", "--area", "128"},
    };
    for (const auto& v : variants) {
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out("v.bmp"), "--force"};
        args.insert(args.end(), v.begin(), v.end());
        const CliRun r = Cli(args);
        ASSERT_EQ(r.code, 0) << v[0] << ": " << r.err;
        EXPECT_GT(MaxDifference(ReadBmp(c.Out("v.bmp")), plain), 2) << v[0];
    }
    // A partial area still saves the whole image processed, in tiles of the area's size.
    const CliRun area = Cli({"process", c.avi.string(), "-o", c.Out("area.bmp"), "--area", "128", "--brightness", "60", "--json"});
    ASSERT_EQ(area.code, 0);
    EXPECT_NE(area.out.find("\"area\": ["), std::string::npos);
    const Bitmap24 partial = ReadBmp(c.Out("area.bmp"));
    int unchanged = 0;
    for (int y = 0; y < plain.Height(); ++y)
        for (int x = 0; x < plain.Width(); ++x) unchanged += partial.Pixel(x, y) == plain.Pixel(x, y);
    EXPECT_LT(unchanged, plain.Width() * plain.Height() / 20);

    // The channel shift estimate on a capture without dispersion stays within a pixel (the
    // channels differ in brightness, which the plain squared difference feels).
    const CliRun automatic = Cli({"process", c.avi.string(), "-o", c.Out("auto.fit"), "--rgb-shift", "auto", "--json"});
    ASSERT_EQ(automatic.code, 0) << automatic.err;
    const std::size_t at = automatic.out.find("\"rgb_shift\": [");
    ASSERT_NE(at, std::string::npos);
    int shifts[4];
    ASSERT_EQ(std::sscanf(automatic.out.c_str() + at, "\"rgb_shift\": [%d, %d, %d, %d]", &shifts[0], &shifts[1], &shifts[2], &shifts[3]), 4);
    for (int v : shifts) EXPECT_LE(std::abs(v), 1) << automatic.out;
    EXPECT_TRUE(fs::exists(c.Out("auto_R.fit")) || fs::exists(c.Out("auto.fit")));

    const std::vector<std::vector<std::string>> refused = {
        {"--gains", "1,2"}, {"--gains", "1,1,1,1,1,200"}, {"--area", "300"}, {"--scheme", "cubic"},
        {"--kernel", "1,2,3"}, {"--contrast", "5"}, {"--gamma", "0"}, {"--rgb-shift", "left"},
        {"--deconvolve", "0.1"}, {"--deconvolve", "1.5,2.5"}, {"--deconvolve-filter", "box"},
        {"--deconvolve", "auto", "--gains", "2,1,1,1,1,1"},
    };
    for (const auto& v : refused) {
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out("x.bmp")};
        args.insert(args.end(), v.begin(), v.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 1) << v[0];
        EXPECT_NE(r.err.find(v[0]), std::string::npos) << r.err;
    }
    EXPECT_EQ(Cli({"process", c.avi.string(), "-o", c.Out("x.gif")}).code, 1);
    EXPECT_FALSE(fs::exists(c.Out("x.bmp")));
}

TEST(CliProcess, NoiseThresholdsQuietTheSkyAndAntiRingingLiftsTheRingOutsideTheLimb) {
    RealisticCapture c(true);
    const capture::GroundTruth truth = capture::ReadGroundTruth(c.dir.path());
    ASSERT_EQ(Cli({"stack", c.avi.string(), "-o", c.Out("stack.tif")}).code, 0);
    const std::vector<std::string> sharpen = {"--gains", "3,2,1.5,1,1,1", "--scheme", "dyadic"};
    auto process = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out(name)};
        args.insert(args.end(), sharpen.begin(), sharpen.end());
        args.insert(args.end(), extra.begin(), extra.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return capture::ReadFloatImage(c.Out(name));
    };
    const capture::FloatImage sharp = process("sharp.tif", {});
    const capture::FloatImage quiet = process("quiet.tif", {"--denoise", "D", "--denoise-layers", "1,2"});
    const capture::Background sharpSky = capture::BackgroundOf(sharp, truth);
    const capture::Background quietSky = capture::BackgroundOf(quiet, truth);
    ASSERT_GT(sharpSky.skyPixels, 1000);
    EXPECT_LT(quietSky.skyStd, 0.8 * sharpSky.skyStd);
    const capture::FloatImage stack = capture::ReadFloatImage(c.Out("stack.tif"));
    // The strong gains alone: sharper than the stack and no further from the truth.
    EXPECT_LT(capture::EquivalentBlur(sharp, truth).sigma, capture::EquivalentBlur(stack, truth).sigma);
    EXPECT_GE(capture::DiskPsnr(sharp, truth).psnr, capture::DiskPsnr(stack, truth).psnr);
    EXPECT_LT(capture::EquivalentBlur(quiet, truth).sigma, capture::EquivalentBlur(stack, truth).sigma);

    // Sharpening leaves a dark ring just outside the limb; anti-ringing picked on the sky lifts
    // it to the sky's level.
    ASSERT_LT(sharpSky.limbLow, sharpSky.skyLow);
    const capture::FloatImage lifted = process("lifted.tif", {"--antiring", "15,15"});
    const capture::Background liftedSky = capture::BackgroundOf(lifted, truth);
    EXPECT_GE(liftedSky.limbLow, liftedSky.skyLow);
    EXPECT_GE(liftedSky.skyLow, 0.9 * sharpSky.skyLow);  // and the sky itself no darker

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--denoise", "E"}, {"--denoise-layers", "0,7"}, {"--noise", "1,2"}, {"--stretch", "200,10"},
          {"--offsets", "1,2,300"}, {"--balance", "2,1,1"}, {"--antiring", "5000,5"}}) {
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out("x.bmp")};
        args.insert(args.end(), bad.begin(), bad.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 1) << bad[0];
        EXPECT_NE(r.err.find(bad[0]), std::string::npos) << r.err;
    }
}

TEST(CliProcess, EachFinishingOptionDoesWhatItSaysAndNothingElse) {
    RealisticCapture c(true, 200, 160, 16);
    auto picture = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out(name), "--gains", "3,2,1.5,1,1,1"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return ReadBmp(c.Out(name));
    };
    const Bitmap24 plain = picture("plain.bmp", {});
    // No thresholds at all leave every layer as it was.
    EXPECT_EQ(picture("none.bmp", {"--denoise", "none"}), plain);
    EXPECT_EQ(picture("zero.bmp", {"--noise", "0,0,0,0,0,0"}), plain);
    EXPECT_NE(picture("noise.bmp", {"--noise", "2,1,0,0,0,0"}), plain);
    // Levels up to 10 turn black, 200 and above white.
    const Bitmap24 stretched = picture("stretch.bmp", {"--stretch", "10,200"});
    int dark = 0, darkened = 0;
    for (int y = 0; y < plain.Height(); ++y)
        for (int x = 0; x < plain.Width(); ++x)
            if (plain.Pixel(x, y).g <= 8) {
                ++dark;
                darkened += stretched.Pixel(x, y).g == 0;
            }
    ASSERT_GT(dark, 100);
    EXPECT_EQ(darkened, dark);
    // An offset or a balance moves its own channel only.
    const Bitmap24 offset = picture("offset.bmp", {"--offsets", "20,0,0"});
    const Bitmap24 balanced = picture("balance.bmp", {"--balance", "1,1,0.5"});
    const Bgr centre = plain.Pixel(100, 80);
    EXPECT_GT(offset.Pixel(100, 80).r, centre.r + 10);
    EXPECT_EQ(offset.Pixel(100, 80).g, centre.g);
    EXPECT_LT(balanced.Pixel(100, 80).b, centre.b * 0.6 + 2);
    EXPECT_EQ(balanced.Pixel(100, 80).g, centre.g);
    const CliRun both = Cli({"process", c.avi.string(), "-o", c.Out("x.bmp"), "--noise", "1,0,0,0,0,0", "--denoise", "D"});
    EXPECT_EQ(both.code, 1);
    EXPECT_NE(both.err.find("give one of them"), std::string::npos) << both.err;
}

TEST(CliProcess, TheFinalPictureTurnsFlipsAndCropsAsAsked) {
    // Grey, so the final picture's colour model leaves the levels as they are.
    RealisticCapture c(false, 640, 480, 24);
    auto final = [&](const std::string& name, std::vector<std::string> extra) {
        std::vector<std::string> args = {"process", c.avi.string(), "-o", c.Out(name), "--gains", "2,1.5,1,1,1,1"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliRun r = Cli(args);
        EXPECT_EQ(r.code, 0) << r.err;
        return ReadBmp(c.Out(name));
    };
    const Bitmap24 processed = final("processed.bmp", {});  // no final option: the Wavelet page's save
    const Bitmap24 upright = final("upright.bmp", {"--rotate", "0"});
    const Bitmap24 turned = final("turned.bmp", {"--rotate", "90"});
    const Bitmap24 mirrored = final("mirrored.bmp", {"--flip", "x"});
    const Bitmap24 cropped = final("cropped.bmp", {"--crop", "20,30,100,60"});
    const Bitmap24 corner = final("corner.bmp", {"--crop", "540,380,100,100"});
    const int w = upright.Width(), h = upright.Height();
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    ASSERT_EQ(turned.Width(), w);
    ASSERT_EQ(turned.Height(), h);
    // Turned by 90 degrees counter-clockwise about the centre: (x, y) shows (cx + y - cy, cy - x + cx).
    int worst = 0;
    for (int y = h / 2 - 40; y < h / 2 + 40; ++y)
        for (int x = w / 2 - 40; x < w / 2 + 40; ++x) {
            const Bgr a = turned.Pixel(x, y), b = processed.Pixel(int(w / 2.0 + (y - h / 2.0)), int(h / 2.0 - (x - w / 2.0)));
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    EXPECT_LE(worst, 1);
    EXPECT_EQ(testing::MaxDifference(mirrored, FlipPicture(upright, true, false)), 0);
    ASSERT_EQ(cropped.Width(), 100);
    ASSERT_EQ(cropped.Height(), 60);
    EXPECT_EQ(cropped.Pixel(0, 0), upright.Pixel(20, 30));
    // A rectangle reaching the last column and row keeps them.
    ASSERT_EQ(corner.Width(), 100);
    ASSERT_EQ(corner.Height(), 100);
    EXPECT_EQ(corner.Pixel(99, 99), upright.Pixel(639, 479));
    const Bitmap24 half = final("half.bmp", {"--resize", "50%", "--filter", "lanczos"});
    EXPECT_EQ(half.Width(), int(std::nearbyint(w * 0.5)));
    EXPECT_EQ(half.Height(), int(std::nearbyint(h * 0.5)));
    EXPECT_EQ(Cli({"process", c.avi.string(), "-o", c.Out("x.tif"), "--resize", "50"}).code, 1);
    EXPECT_EQ(Cli({"process", c.avi.string(), "-o", c.Out("x.bmp"), "--crop", "600,450,100,100"}).code, 1);
    EXPECT_EQ(Cli({"process", c.avi.string(), "-o", c.Out("x.bmp"), "--flip", "z"}).code, 1);
}

TEST(CliProcess, HelpDocumentsTheWaveletOptions) {
    const CliRun help = Cli({"process", "--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--gains", "--scheme", "--initial", "--step", "--kernel", "--contrast", "--brightness",
                               "--gamma", "--rgb-shift", "--lrgb", "--area", "--keep", "--subpixel", "--denoise",
                               "--denoise-layers", "--noise", "--antiring", "--stretch", "--offsets", "--balance", "--rotate",
                               "--flip", "--hsl", "--crop", "--resize", "--filter", "--deconvolve", "--deconvolve-filter", "--gains auto"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace talvenor
