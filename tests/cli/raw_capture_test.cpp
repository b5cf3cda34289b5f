// Raw captures as users bring them to `talvenor-cli stack`: SER videos, raw colour mosaics in
// SER and grey AVI files, and 16-bit samples, judged against the generated truth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "capture/avi_writer.h"
#include "capture/capture.h"
#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "cli_run.h"
#include "imagefiles/bmp_file.h"
#include "input/ser_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;

// One scene written in several formats: the frames differ only by how each format stores them.
struct RawCapture {
    testing::TempDir dir;
    capture::CaptureOptions options = capture::RealisticCaptureOptions();

    explicit RawCapture(bool colour, int frames = 60) {
        options.colour = colour;
        options.frames = frames;
        options.width = 320;
        options.height = 240;
        options.seed = 77;
    }
    fs::path Write(const std::string& name, capture::CaptureFormat format, int depth = 8) {
        capture::CaptureOptions o = options;
        o.format = format;
        o.bitDepth = depth;
        const fs::path file = dir / name;
        capture::WriteCapture(file, o);
        return file;
    }
    std::string Out(const std::string& name) const { return (dir / name).string(); }
    capture::GroundTruth Truth() const { return capture::ReadGroundTruth(dir.path()); }
    double Psnr(const std::string& stacked) const {
        return capture::DiskPsnr(capture::ReadFloatImage(Out(stacked)), Truth()).psnr;
    }
};

void Stack(const fs::path& input, const std::string& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"stack", input.string(), "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    const CliRun r = Cli(args);
    ASSERT_EQ(r.code, 0) << r.err;
}

bool IsGrey(const Bitmap24& picture) {
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const Bgr p = picture.Pixel(x, y);
            if (p.r != p.g || p.g != p.b) return false;
        }
    return true;
}

TEST(CliRawCapture, AnRgbSerStacksAsTheAviAndABayerMosaicComesCloseToFullColour) {
    RawCapture c(true);
    const fs::path avi = c.Write("capture.avi", capture::CaptureFormat::AviRgb);
    const fs::path rgb = c.Write("rgb.ser", capture::CaptureFormat::SerRgb);
    const fs::path bayer = c.Write("bayer.ser", capture::CaptureFormat::SerBayer);
    Stack(avi, c.Out("avi.bmp"));
    Stack(rgb, c.Out("rgb.bmp"));
    EXPECT_EQ(ReadBmp(c.Out("avi.bmp")), ReadBmp(c.Out("rgb.bmp")));

    Stack(rgb, c.Out("rgb.tif"));
    Stack(bayer, c.Out("edge.tif"));  // the default method
    Stack(bayer, c.Out("bilinear.tif"), {"--debayer", "bilinear"});
    const double full = c.Psnr("rgb.tif"), edge = c.Psnr("edge.tif"), bilinear = c.Psnr("bilinear.tif");
    std::printf("disk PSNR: RGB %.2f dB, Bayer edge %.2f dB, Bayer bilinear %.2f dB\n", full, edge, bilinear);
    EXPECT_GT(edge, full - 1.5);
    EXPECT_GT(bilinear, full - 1.5);
}

TEST(CliRawCapture, TheBayerOptionsPickPatternAndMethodForSerAndGreyAviMosaics) {
    RawCapture c(true, 12);
    const fs::path bayer = c.Write("bayer.ser", capture::CaptureFormat::SerBayer);
    Stack(bayer, c.Out("auto.bmp"));
    Stack(bayer, c.Out("rggb.bmp"), {"--bayer", "rggb"});
    Stack(bayer, c.Out("none.bmp"), {"--bayer", "none"});
    Stack(bayer, c.Out("bilinear.bmp"), {"--debayer", "bilinear"});
    const Bitmap24 automatic = ReadBmp(c.Out("auto.bmp"));
    EXPECT_FALSE(IsGrey(automatic));
    EXPECT_EQ(ReadBmp(c.Out("rggb.bmp")), automatic);  // the header said RGGB
    EXPECT_TRUE(IsGrey(ReadBmp(c.Out("none.bmp"))));
    EXPECT_NE(ReadBmp(c.Out("bilinear.bmp")), automatic);

    // The same mosaics in a grey AVI: grey unless the user names the pattern.
    {
        SerFile ser(bayer);
        capture::AviWriter avi(c.dir / "mosaic.avi", {.width = ser.Width(), .height = ser.Height(),
                                                      .codec = capture::AviCodec::Grey8});
        Bitmap24 frame;
        for (int64_t i = 0; i < ser.FrameCount(); ++i) {
            ser.ReadFrame(i, frame);
            avi.AddFrame(frame);
        }
        avi.Close();
    }
    Stack(c.dir / "mosaic.avi", c.Out("avi-grey.bmp"));
    EXPECT_TRUE(IsGrey(ReadBmp(c.Out("avi-grey.bmp"))));
    Stack(c.dir / "mosaic.avi", c.Out("avi-rggb.bmp"), {"--bayer", "RGGB"});
    EXPECT_EQ(ReadBmp(c.Out("avi-rggb.bmp")), automatic);

    std::string said;
    EXPECT_EQ(testing::CliStatus({"stack", bayer.string(), "-o", c.Out("x.bmp"), "--bayer", "RGBG"}, &said), 1);
    EXPECT_NE(said.find("--bayer must be none, auto, RGGB, GRBG, GBRG or BGGR"), std::string::npos) << said;
    EXPECT_EQ(testing::CliStatus({"stack", bayer.string(), "-o", c.Out("x.bmp"), "--debayer", "vng"}, &said), 1);
    EXPECT_NE(said.find("--debayer must be bilinear or edge"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(c.Out("x.bmp")));
}

TEST(CliRawCapture, A16BitSerOfAFaintTargetStacksCloserToTheTruthThanIts8BitRendering) {
    RawCapture c(false, 60);
    // Full brightness at 600 ADU of 65535: at 8 bits the planet is two or three levels deep.
    c.options.fullScale = 600;
    const fs::path deep = c.Write("deep.ser", capture::CaptureFormat::SerMono, 16);
    const fs::path shallow = c.Write("shallow.ser", capture::CaptureFormat::SerMono, 8);
    const std::string feature = std::to_string(c.options.width / 2) + "," + std::to_string(c.options.height / 2);
    Stack(deep, c.Out("deep.tif"));
    Stack(shallow, c.Out("shallow.tif"), {"--feature", feature});
    const double wide = c.Psnr("deep.tif"), narrow = c.Psnr("shallow.tif");
    std::printf("disk PSNR of a faint capture: 16-bit %.2f dB, 8-bit %.2f dB\n", wide, narrow);
    EXPECT_GT(wide, narrow + 3);
}

}  // namespace
}  // namespace talvenor
