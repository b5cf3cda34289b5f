#include "imagefiles/jpeg_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "pnm_reference.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::SamePixels;
using testing::TempDir;

const fs::path kData = fs::path(TALVENOR_SOURCE_DIR) / "tests" / "data";

std::vector<uint8_t> FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A small planet-like picture: a bright disc with texture on a dark gradient.
Bitmap24 Planet(int w, int h) {
    Bitmap24 p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int dx = x - w / 2, dy = y - h / 2;
            const bool disc = dx * dx + dy * dy < (w * w) / 9;
            p.SetPixel(x, y, disc ? Bgr{uint8_t(90 + (x * y) % 40), uint8_t(170 + x % 30), uint8_t(220 - y)}
                                  : Bgr{uint8_t(y), uint8_t(x / 2), uint8_t(10)});
        }
    return p;
}

// cjpeg's files decode exactly as djpeg decodes them, grey replicated into all three bytes.
TEST(JpegFileTest, DecodesExactlyAsDjpeg) {
    struct Case {
        const char* file;
        const char* reference;
        int components;
        const char* space;
        const char* progressive;
    };
    const Case cases[] = {
        {"colour.jpg", "colour.ppm", 3, "YCbCr", "no"},
        {"colour444.jpg", "colour444.ppm", 3, "YCbCr", "no"},
        {"progressive.jpg", "progressive.ppm", 3, "YCbCr", "yes"},
        {"rgb.jpg", "rgb.ppm", 3, "RGB", "no"},
        {"grey.jpg", "grey.pgm", 1, "greyscale", "no"},
        {"grey-progressive.jpg", "grey-progressive.pgm", 1, "greyscale", "yes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = kData / "jpeg" / c.file;
        const Bitmap24 want = testing::ReadPnm(kData / "jpeg" / c.reference).ToBitmap24();
        EXPECT_TRUE(SamePixels(ReadJpeg(file), want));
        Bitmap24 reused(37, 23);  // as the passes decode: into the last frame's storage
        reused.Fill(ColourOf(0xFFFFFF));
        DecodeJpeg(FileBytes(file), c.file, reused);
        EXPECT_TRUE(SamePixels(reused, want));
        const FileInfo info = ProbeJpeg(file);
        EXPECT_EQ(info.Format, "JPEG");
        EXPECT_EQ(info.Width, 37);
        EXPECT_EQ(info.Height, 23);
        EXPECT_EQ(info.Bits, 8 * c.components);
        const std::map<std::string, std::string> details(info.Details.begin(), info.Details.end());
        EXPECT_EQ(details.at("components"), std::to_string(c.components));
        EXPECT_EQ(details.at("colour space"), c.space);
        EXPECT_EQ(details.at("progressive"), c.progressive);
    }
}

TEST(JpegFileTest, AMissingEndMarkerAfterTheLastPixelIsHarmless) {
    std::vector<uint8_t> bytes = FileBytes(kData / "jpeg" / "colour.jpg");
    ASSERT_EQ(bytes[bytes.size() - 2], 0xFF);
    ASSERT_EQ(bytes.back(), 0xD9);
    bytes.resize(bytes.size() - 2);
    EXPECT_TRUE(SamePixels(DecodeJpeg(bytes, "cut.jpg"), testing::ReadPnm(kData / "jpeg" / "colour.ppm").ToBitmap24()));
}

// Cut anywhere, a file either gives an error or, when only its end marker is gone, every
// pixel: never a picture with a grey or blurred part.
TEST(JpegFileTest, EveryTruncationIsAnErrorOrLosesNothing) {
    for (const char* name : {"colour", "grey", "progressive", "rgb"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> whole = FileBytes(kData / "jpeg" / (std::string(name) + ".jpg"));
        const Bitmap24 full = DecodeJpeg(whole, name);
        int decoded = 0;
        for (std::size_t size = 1; size < whole.size(); ++size) {
            const std::vector<uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(size));
            try {
                EXPECT_TRUE(SamePixels(DecodeJpeg(cut, "cut.jpg"), full)) << "cut to " << size << " bytes";
                ++decoded;
            } catch (const Error& e) {
                EXPECT_EQ(std::string(e.what()).rfind("cut.jpg: ", 0), 0u) << e.what();
            }
        }
        EXPECT_LE(decoded, 2);
    }
}

// Damaged and unsupported files give an error naming the file and libjpeg's reason, and
// never a half-grey picture.
TEST(JpegFileTest, DamagedFilesGiveAnErrorNamingFileAndReason) {
    const std::map<std::string, std::string> expected = {
        {"jpg-empty.jpg", "empty file"},
        {"jpg-not-a-jpeg.jpg", "Not a JPEG file"},
        {"jpg-header-only.jpg", "Premature end of JPEG file"},
        {"jpg-truncated.jpg", "Premature end of JPEG file"},
        {"jpg-no-end-marker-mid-scan.jpg", "Premature end of JPEG file"},
        {"jpg-zero-width.jpg", "Empty JPEG image"},
        {"jpg-bad-huffman-table.jpg", "Bogus Huffman table definition"},
        {"jpg-marker-in-scan.jpg", "premature end of data segment"},
        {"jpg-bad-component-count.jpg", "Bogus marker length"},
    };
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::directory_iterator(kData / "corrupt")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("jpg-", 0) == 0) files[entry.path()] = name;
    }
    EXPECT_EQ(files.size(), expected.size());
    files[kData / "jpeg" / "cmyk.jpg"] = "cmyk.jpg";
    for (const auto& [path, name] : files) {
        SCOPED_TRACE(name);
        const std::string want = name == "cmyk.jpg" ? "JPEG files with 4 components are not supported"
                                                    : expected.count(name) ? expected.at(name) : "(not listed)";
        try {
            ReadJpeg(path);
            ADD_FAILURE() << "read without error";
        } catch (const Error& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind(path.string() + ": ", 0), 0u) << text;
            EXPECT_NE(text.find(want), std::string::npos) << text;
        }
    }
}

TEST(JpegFileTest, OurFilesAreWhatDjpegDecodesAndCjpegWrites) {
    if (!testing::HaveProgram("djpeg") || !testing::HaveProgram("cjpeg"))
        GTEST_SKIP() << "libjpeg's djpeg and cjpeg are not installed";
    TempDir dir;
    for (auto [w, h] : {std::pair{37, 23}, {16, 16}, {1, 1}, {64, 48}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Bitmap24 picture = Planet(w, h);
        const fs::path file = dir / "ours.jpg";
        WriteJpeg(file, picture);

        const Bitmap24 ours = ReadJpeg(file);
        const auto djpeg = testing::RunCommand("djpeg -pnm " + testing::ShellQuoted(file) + " 2>&1");
        ASSERT_EQ(djpeg.status, 0);
        EXPECT_TRUE(SamePixels(ours, testing::ParsePnm(djpeg.bytes, "djpeg output").ToBitmap24()));

        const FileInfo info = ProbeJpeg(file);
        EXPECT_EQ(info.Width, w);
        EXPECT_EQ(info.Height, h);
        EXPECT_EQ(info.Bits, 24);

        // The encoder's defaults and nothing else: the same bytes cjpeg writes by default.
        const fs::path ppm = dir / "source.ppm";
        {
            std::ofstream out(ppm, std::ios::binary);
            out << "P6\n" << w << " " << h << "\n255\n";
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const Bgr p = picture.Pixel(x, y);
                    out.put(char(p.r)).put(char(p.g)).put(char(p.b));
                }
        }
        const auto cjpeg = testing::RunCommand("cjpeg " + testing::ShellQuoted(ppm));
        ASSERT_EQ(cjpeg.status, 0);
        EXPECT_EQ(FileBytes(file), cjpeg.bytes);
    }
}

TEST(JpegFileTest, AnEmptyPictureIsNotSaved) {
    TempDir dir;
    EXPECT_THROW(WriteJpeg(dir / "empty.jpg", Bitmap24()), Error);
    EXPECT_FALSE(fs::exists(dir / "empty.jpg"));
}

}  // namespace
}  // namespace talvenor
