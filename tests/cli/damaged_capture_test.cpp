// A capture whose index or format block is wrong while its frames are sound stacks exactly as
// the sound capture does, and `info` says what was wrong.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "cli_run.h"
#include "imagefiles/tiff_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::FileBytes;
using testing::TempDir;

// The stacked picture's 16-bit samples (the file also records where it came from).
LargeBytes Stacked(const fs::path& tif) {
    TTIFFBitMap bitmap;
    LoadFromFile(bitmap, tif);
    return bitmap.Wide;
}

void PutU32(std::string& bytes, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + std::size_t(i)] = char(v >> (8 * i));
}

TEST(CliDamagedCapture, StacksAsTheSoundCaptureDoes) {
    TempDir t;
    const fs::path sound = testing::SmallMjpegCapture(t / "sound.avi");
    const std::string bytes = FileBytes(sound);

    struct Case {
        const char* name;
        std::string bytes;
        const char* said;  // a line of `info`
    };
    // The fourth frame's 'idx1' entry points far past the end of the file.
    std::string idx1 = bytes;
    PutU32(idx1, idx1.rfind("idx1") + 8 + 3 * 16 + 8, 0x7FFFFF00);
    // The format block claims twice the frames' width and height.
    std::string header = bytes;
    PutU32(header, header.find("strf") + 8 + 4, 192);
    PutU32(header, header.find("strf") + 8 + 8, 160);
    const Case cases[] = {
        {"idx1.avi", idx1, "  index: rebuilt from the movi list (idx1 damaged: entry 3 points past the end of the file"},
        {"header.avi", header, "  frame size in header: 192 x 160\n"},
    };

    const auto stack = [&](const fs::path& avi, const fs::path& out) {
        return Cli({"stack", avi.string(), "-o", out.string(), "--keep", "100%", "--ap", "off"});
    };
    const auto want = stack(sound, t / "sound.tif");
    ASSERT_EQ(want.code, 0) << want.said();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path avi = t / c.name;
        std::ofstream(avi, std::ios::binary) << c.bytes;
        const auto info = Cli({"info", avi.string()});
        EXPECT_NE(info.out.find("  size: 96 x 80\n"), std::string::npos) << info.said();
        EXPECT_NE(info.out.find(c.said), std::string::npos) << info.said();
        const fs::path out = t / (std::string(c.name) + ".tif");
        const auto r = stack(avi, out);
        ASSERT_EQ(r.code, 0) << r.said();
        EXPECT_NE(r.out.find("stacked 12 of 12 frames (global stack) (96 x 80)"), std::string::npos) << r.out;
        EXPECT_TRUE(Stacked(out) == Stacked(t / "sound.tif")) << "the stack differs from the sound capture's";
    }
}

}  // namespace
}  // namespace talvenor
