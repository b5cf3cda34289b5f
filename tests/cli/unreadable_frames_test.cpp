// A frame that cannot be read is left out of every pass and named, never stacked as another
// frame's picture or as black; input where nothing reads fails with the reason.
#include <gtest/gtest.h>

#include <fstream>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::TempDir;

// A FITS or BMP series of `frames` generated frames in `dir`, capture_00001 ... first.
std::vector<fs::path> Series(const fs::path& dir, capture::CaptureFormat format, int frames) {
    capture::CaptureOptions o;
    o.format = format;
    o.frames = frames;
    o.width = 96;
    o.height = 80;
    o.writeTruth = false;
    capture::WriteCapture(dir, o);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

void Truncate(const fs::path& file, std::size_t bytes) { fs::resize_file(file, bytes); }

TEST(CliUnreadableFrames, SeriesStacksTheReadableFramesAndNamesTheRest) {
    struct Case {
        capture::CaptureFormat format;
        std::string ext;
    };
    for (const Case& c : {Case{capture::CaptureFormat::Fits, ".fit"}, Case{capture::CaptureFormat::Bmp, ".bmp"}}) {
        SCOPED_TRACE(c.ext);
        TempDir t;
        std::vector<fs::path> files = Series(t / "series", c.format, 12);
        ASSERT_EQ(files.size(), 12u);
        // Removed, cut short, and a file of another kind under the series' name.
        fs::remove(files[3]);
        Truncate(files[6], 600);
        std::ofstream(files[9], std::ios::binary | std::ios::trunc) << "SIMPLE  = this is no picture";
        const fs::path list = t / "frames.rfl";
        {
            std::ofstream out(list);
            for (const fs::path& f : files) out << f.string() << "\n";
        }
        const auto r = Cli({"stack", list.string(), "-o", (t / "out.tif").string(), "--keep", "100%", "--ap", "off"});
        ASSERT_EQ(r.code, 0) << r.said();
        for (int k : {3, 6, 9}) EXPECT_NE(r.err.find("frame " + std::to_string(k + 1) + " skipped: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("skipped 3 unreadable frames: " + files[3].filename().string() + ", " +
                             files[6].filename().string() + ", " + files[9].filename().string()),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("stacked 9 of 12 frames"), std::string::npos) << r.out;
    }
}

TEST(CliUnreadableFrames, AVideoFrameTheCodecRefusesIsLeftOut) {
    TempDir t;
    const fs::path avi = testing::SmallMjpegCapture(t / "capture.avi");
    // The JPEG of frame 5 loses its start: no decoder can read it.
    std::string bytes = testing::FileBytes(avi);
    std::size_t at = 0;
    for (int k = 0; k <= 5; ++k) at = bytes.find("00dc", at + 4);
    ASSERT_NE(at, std::string::npos);
    std::fill_n(bytes.begin() + long(at) + 8, 16, '\0');
    std::ofstream(avi, std::ios::binary | std::ios::trunc) << bytes;

    const auto r = Cli({"stack", avi.string(), "-o", (t / "out.tif").string(), "--keep", "100%", "--ap", "off"});
    ASSERT_EQ(r.code, 0) << r.said();
    EXPECT_NE(r.err.find("frame 6 skipped: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("skipped 1 unreadable frame: frame 6"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("stacked 11 of 12 frames"), std::string::npos) << r.out;
}

TEST(CliUnreadableFrames, NothingReadableFailsWithTheReason) {
    TempDir t;
    std::vector<fs::path> files = Series(t / "series", capture::CaptureFormat::Fits, 3);
    for (const fs::path& f : files) Truncate(f, 100);
    std::vector<std::string> args{"stack"};
    for (const fs::path& f : files) args.push_back(f.string());
    args.insert(args.end(), {"-o", (t / "out.tif").string()});
    const auto all = Cli(args);
    EXPECT_NE(all.code, 0);
    EXPECT_NE(all.err.find("none of the 3 frames of the series can be read"), std::string::npos) << all.err;

    // A picture given alone, and convert, end with the reader's reason and write nothing.
    const auto alone = Cli({"stack", files[0].string(), "-o", (t / "one.tif").string()});
    EXPECT_NE(alone.code, 0);
    EXPECT_NE(alone.err.find(files[0].filename().string()), std::string::npos) << alone.err;
    const auto convert = Cli({"convert", files[0].string(), (t / "c.png").string()});
    EXPECT_NE(convert.code, 0);
    EXPECT_EQ(convert.out.find("wrote"), std::string::npos) << convert.out;
    EXPECT_FALSE(fs::exists(t / "c.png"));
}

}  // namespace
}  // namespace talvenor
