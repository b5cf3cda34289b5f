// SER captures as the command line reports and converts them.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "cli/cli_app.h"
#include "imagefiles/bmp_file.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

void Put32(std::string& b, int32_t v) {
    for (int k = 0; k < 4; ++k) b += char((uint32_t(v) >> (8 * k)) & 0xFF);
}
void Put64(std::string& b, int64_t v) {
    for (int k = 0; k < 8; ++k) b += char((uint64_t(v) >> (8 * k)) & 0xFF);
}
void PutText(std::string& b, const std::string& text) {
    std::string field(40, '\0');
    std::memcpy(field.data(), text.data(), std::min<std::size_t>(text.size(), 40));
    b += field;
}

// A 16-bit mono SER of 4 x 3 pixels and two frames, big-endian samples under a flag that says
// little-endian (as some capture programs write it), with a timestamp trailer.
fs::path WriteSer(const fs::path& dir) {
    std::string b = "LUCAM-RECORDER";
    Put32(b, 0);   // LuID
    Put32(b, 0);   // MONO
    Put32(b, 1);   // "little-endian"
    Put32(b, 4);
    Put32(b, 3);
    Put32(b, 12);  // 12 significant bits
    Put32(b, 2);
    PutText(b, "observer");
    PutText(b, "camera");
    PutText(b, "scope");
    Put64(b, 638000000000000000LL);
    Put64(b, 638000000000000001LL);
    for (int f = 0; f < 2; ++f)
        for (int i = 0; i < 12; ++i) {
            const int v = 1000 + 37 * i + 16 * f;  // below 4096; read the other way, far above
            b += char(v >> 8);
            b += char(v & 0xFF);
        }
    Put64(b, 638000000000000100LL);
    Put64(b, 638000000000000200LL);
    const fs::path file = dir / "capture.ser";
    std::ofstream(file, std::ios::binary) << b;
    return file;
}

TEST(CliSer, InfoReportsTheHeaderTheByteOrderAndTheTimestampsAndConvertReadsAFrame) {
    testing::TempDir dir;
    const fs::path ser = WriteSer(dir.path());
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"info", ser.string()}, out, err), 0) << err.str();
    const std::string text = out.str();
    for (const char* expected : {"format: SER", "size: 4 x 3", "MONO (ColorID 0)", "12 bits per sample", "frames: 2",
                                 "big-endian (the flag says otherwise", "observer: observer", "instrument: camera",
                                 "first timestamp: 638000000000000100", "last timestamp: 638000000000000200"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;

    const fs::path bmp = dir / "frame1.bmp";
    ASSERT_EQ(RunCli({"convert", ser.string(), bmp.string(), "--frame", "1"}, out, err), 0) << err.str();
    const Bitmap24 frame = ReadBmp(bmp);
    ASSERT_EQ(frame.Width(), 4);
    // Sample 1016 of 12 bits shown at 8 bits: 1016 >> 4 = 63.
    EXPECT_EQ(frame.Pixel(0, 0).g, 63);
}

}  // namespace
}  // namespace talvenor
