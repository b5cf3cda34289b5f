// A project saved by stack or process replays to the very same pixels whatever options made
// the picture: resampling, drizzling, sub-pixel shifts, the wavelet kernel, the channel
// shifts, the noise thresholds and their layers, the processing area's size and place, and
// the display settings. Captures of 640 x 480 and more, so the processing area matters.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"
#include "workspace/big_ini_file.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::CliStatus;
using testing::PlainCapture;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint16_t> samples;
};

Picture TiffPicture(const fs::path& file) {
    TTIFFBitMap image;
    LoadFromFile(image, file);
    Picture p{image.Width(), image.Height(), {}};
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            for (int c = 0; c < 3; ++c) p.samples.push_back(image.Sample(x, y, c));
    return p;
}

bool SamePicture(const Picture& a, const Picture& b) {
    return a.width == b.width && a.height == b.height && a.samples == b.samples;
}

// Runs `command` on `capture` with `options`, saving first.tif and the project, then opens the
// project and saves again.tif; the two pictures must be the same size and pixel for pixel equal.
// Returns the picture, so a case can show that its option changed it.
Picture ExpectReplaysTheSamePicture(const testing::TempDir& dir, const fs::path& capture, const std::string& command,
                                    const std::vector<std::string>& options, const std::string& name) {
    SCOPED_TRACE(command + " " + name);
    const std::string first = (dir / (name + "-first.tif")).string();
    const std::string again = (dir / (name + "-again.tif")).string();
    const std::string project = (dir / (name + ".rsp")).string();
    std::vector<std::string> args = {command, capture.string(), "-o", first, "--project", project};
    args.insert(args.end(), options.begin(), options.end());
    std::string said;
    EXPECT_EQ(CliStatus(args, &said), 0) << said;
    EXPECT_EQ(CliStatus({"project", project, "-o", again}, &said), 0) << said;
    const Picture a = TiffPicture(first), b = TiffPicture(again);
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    std::size_t differing = 0;
    for (std::size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i) differing += a.samples[i] != b.samples[i];
    EXPECT_EQ(differing, 0u) << "of " << a.samples.size() << " samples";
    return a;
}

TEST(CliProjectReplay, StacksReplayResampledDrizzledAndAtSubPixelShifts) {
    testing::TempDir dir;
    const fs::path avi = PlainCapture(dir / "moon.avi", 12, 640, 480);
    const Picture plain = ExpectReplaysTheSamePicture(dir, avi, "stack", {}, "plain");
    // A factor the "Input" section's rounded value would lose.
    ExpectReplaysTheSamePicture(dir, avi, "stack", {"--resample", "1.5"}, "resampled");
    const Picture drizzled = ExpectReplaysTheSamePicture(dir, avi, "stack", {"--drizzle"}, "drizzled");
    const Picture subpixel = ExpectReplaysTheSamePicture(dir, avi, "stack", {"--subpixel"}, "subpixel");
    // Sub-pixel drops of a drizzle.
    const Picture both = ExpectReplaysTheSamePicture(dir, avi, "stack", {"--drizzle", "--subpixel"}, "drizzled-subpixel");
    // Each option made a picture of its own, so the replays above carried it.
    EXPECT_FALSE(SamePicture(drizzled, plain));
    EXPECT_FALSE(SamePicture(subpixel, plain));
    EXPECT_FALSE(SamePicture(both, drizzled));
}

TEST(CliProjectReplay, ProcessedPicturesReplayWithTheirWaveletAndColourSettings) {
    testing::TempDir dir;
    // 800 x 600: the whole image takes the 1024 processing area, not the 512 one of start-up.
    const fs::path avi = PlainCapture(dir / "planet.avi", 12, 800, 600, true);
    ExpectReplaysTheSamePicture(dir, avi, "process", {"--gains", "3,2,1,1,1,1"}, "plain");
    // A small area around the feature, another kernel, channel shifts by hand.
    const std::vector<std::string> areaShift = {"--gains", "4,2,1,1,1,1", "--area", "256", "--rgb-shift", "2,-1,-3,1"};
    std::vector<std::string> kernel = areaShift;
    kernel.insert(kernel.end(), {"--kernel", "1,2,3,2,1,2,4,6,4,2,3,6,9,6,3,2,4,6,4,2,1,2,3,2,1"});
    const Picture withKernel = ExpectReplaysTheSamePicture(dir, avi, "process", kernel, "area-kernel-shift");
    EXPECT_FALSE(SamePicture(withKernel, ExpectReplaysTheSamePicture(dir, avi, "process", areaShift, "area-shift")));
    // Estimated noise thresholds on three layers, the estimated channel shift.
    ExpectReplaysTheSamePicture(dir, avi, "process",
                                {"--gains", "5,3,1,1,1,1", "--denoise", "B", "--denoise-layers", "1,2,3", "--rgb-shift",
                                 "auto"},
                                "denoise");
    // Thresholds by hand, anti-ringing, the stretch, the colour offsets and balances.
    ExpectReplaysTheSamePicture(dir, avi, "process",
                                {"--gains", "5,3,1,1,1,1", "--noise", "0.02,0.01,0,0,0,0", "--antiring", "20,20",
                                 "--stretch", "10,240", "--offsets", "5,-3,2", "--balance", "1.1,1,0.9"},
                                "noise-finish");
    // A resampled stack processed in a 512 area placed on the scaled feature.
    ExpectReplaysTheSamePicture(dir, avi, "process", {"--resample", "2", "--area", "512", "--gains", "3,2,1,1,1,1"},
                                "resampled-area");
}

TEST(CliProjectReplay, ACroppedFinalPictureReplaysCropped) {
    testing::TempDir dir;
    const fs::path avi = PlainCapture(dir / "planet.avi", 12, 640, 480, true);
    const std::string first = (dir / "first.bmp").string(), again = (dir / "again.bmp").string();
    const std::string project = (dir / "crop.rsp").string();
    std::string said;
    ASSERT_EQ(CliStatus({"process", avi.string(), "-o", first, "--project", project, "--rotate", "10", "--crop",
                         "30,40,200,150"},
                        &said),
              0)
        << said;
    ASSERT_EQ(CliStatus({"project", project, "-o", again}, &said), 0) << said;
    EXPECT_NE(said.find("page Final"), std::string::npos) << said;
    EXPECT_TRUE(testing::FileBytes(first) == testing::FileBytes(again));
    EXPECT_EQ(TBigIniFile(project).ReadString("Finish", "crop", ""), "30,40,230,190");
}

TEST(CliProjectReplay, OtherFilesAreNotReadAsProjects) {
    testing::TempDir dir;
    const fs::path avi = PlainCapture(dir / "grey.avi", 12, 120, 90);
    std::string said;
    // A fixed-point FITS stack carries its project like every FITS result.
    ASSERT_EQ(CliStatus({"stack", avi.string(), "-o", (dir / "s.fitr").string(), "--resample", "2"}, &said), 0) << said;
    ASSERT_EQ(CliStatus({"project", (dir / "s.fitr").string(), "-o", (dir / "again.tif").string()}, &said), 0) << said;
    EXPECT_NE(said.find("status 4"), std::string::npos) << said;
    EXPECT_EQ(TiffPicture(dir / "again.tif").width, 2 * 120 - 1);
    // So does a JPEG result; saved again, it is the same file.
    ASSERT_EQ(CliStatus({"stack", avi.string(), "-o", (dir / "s.jpg").string()}, &said), 0) << said;
    ASSERT_EQ(CliStatus({"project", (dir / "s.jpg").string(), "-o", (dir / "again.jpg").string()}, &said), 0) << said;
    EXPECT_TRUE(testing::FileBytes(dir / "s.jpg") == testing::FileBytes(dir / "again.jpg"));
    // Neither a text file nor a picture without a recipe is a project.
    std::ofstream(dir / "notes.txt") << "[Input]\r\n";
    EXPECT_EQ(CliStatus({"project", (dir / "notes.txt").string()}, &said), 1);
    EXPECT_NE(said.find("not a project file"), std::string::npos) << said;
    std::ofstream(dir / "empty.rsp") << "[Other]\r\nkey=1\r\n";
    EXPECT_EQ(CliStatus({"project", (dir / "empty.rsp").string()}, &said), 1);
    EXPECT_NE(said.find("not a project file"), std::string::npos) << said;
}

}  // namespace
}  // namespace talvenor
