#include "imagefiles/bmp_file.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
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

void Put16(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
    v[at] = uint8_t(x);
    v[at + 1] = uint8_t(x >> 8);
}
void Put32(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}

// A bitmap file with a BITMAPINFOHEADER, the masks (if any) after it, then the colour table
// (0xRRGGBB entries) and the pixel bytes exactly as given.
std::vector<uint8_t> MakeBmp(int width, int height, int bits, uint32_t compression, const std::vector<uint32_t>& palette,
                             const std::vector<uint8_t>& pixels, const std::vector<uint32_t>& masks = {}) {
    const std::size_t offset = 54 + 4 * masks.size() + 4 * palette.size();
    std::vector<uint8_t> f(offset, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, uint32_t(offset + pixels.size()));
    Put32(f, 10, uint32_t(offset));
    Put32(f, 14, 40);
    Put32(f, 18, uint32_t(width));
    Put32(f, 22, uint32_t(height));
    Put16(f, 26, 1);
    Put16(f, 28, uint32_t(bits));
    Put32(f, 30, compression);
    Put32(f, 46, uint32_t(palette.size()));
    for (std::size_t i = 0; i < masks.size(); ++i) Put32(f, 54 + 4 * i, masks[i]);
    for (std::size_t i = 0; i < palette.size(); ++i) Put32(f, 54 + 4 * masks.size() + 4 * i, palette[i]);
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

Bitmap24 Pattern(int width, int height) {
    Bitmap24 p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) p.SetPixel(x, y, Bgr{uint8_t(x * 19 + y), uint8_t(y * 37 + 1), uint8_t(x * y + 200)});
    return p;
}

// Every variant ImageMagick writes, and the header variants made from its files, decodes to
// the known pattern (lossless variants) or to ImageMagick's own decode (where it chose the
// colours); the probe reports what the headers say.
TEST(BmpFileTest, EveryVariantDecodesToItsReference) {
    struct Case {
        const char* file;
        const char* reference;
        int bits;
        const char* header;
        const char* compression;
        const char* rows;
    };
    const Case cases[] = {
        {"bmp3-rgb24.bmp", "pattern.ppm", 24, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
        {"os2-rgb24.bmp", "pattern.ppm", 24, "12 (BITMAPCOREHEADER)", "BI_RGB", "bottom-up"},
        {"v5-rgb24.bmp", "pattern.ppm", 24, "124 (BITMAPV5HEADER)", "BI_RGB", "bottom-up"},
        {"topdown-rgb24.bmp", "pattern.ppm", 24, "40 (BITMAPINFOHEADER)", "BI_RGB", "top-down"},
        {"v5-argb32.bmp", "pattern.ppm", 32, "124 (BITMAPV5HEADER)", "BI_BITFIELDS", "bottom-up"},
        {"v4-argb32.bmp", "pattern.ppm", 32, "108 (BITMAPV4HEADER)", "BI_BITFIELDS", "bottom-up"},
        {"v2-xrgb32.bmp", "pattern.ppm", 32, "52 (BITMAPV2INFOHEADER)", "BI_BITFIELDS", "bottom-up"},
        {"bmp3-rgb32.bmp", "pattern.ppm", 32, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
        {"v5-rgb565.bmp", "pattern.ppm", 16, "124 (BITMAPV5HEADER)", "BI_BITFIELDS", "bottom-up"},
        {"v3-rgb565.bmp", "pattern.ppm", 16, "56 (BITMAPV3INFOHEADER)", "BI_BITFIELDS", "bottom-up"},
        {"bmp3-bitfields565.bmp", "pattern.ppm", 16, "40 (BITMAPINFOHEADER)", "BI_BITFIELDS", "bottom-up"},
        {"v5-rgb555.bmp", "pattern.ppm", 16, "124 (BITMAPV5HEADER)", "BI_BITFIELDS", "bottom-up"},
        {"bmp3-rgb555.bmp", "pattern.ppm", 16, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
        {"bmp3-pal8.bmp", "pattern.ppm", 8, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
        {"bmp3-pal8-short.bmp", "pattern.ppm", 8, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
        {"bmp3-rle8.bmp", "pattern.ppm", 8, "40 (BITMAPINFOHEADER)", "BI_RLE8", "bottom-up"},
        {"os2-pal8.bmp", "pattern.ppm", 8, "12 (BITMAPCOREHEADER)", "BI_RGB", "bottom-up"},
        {"bmp3-pal4.bmp", "bmp3-pal4.ppm", 4, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
        {"bmp3-rle4.bmp", "bmp3-pal4.ppm", 4, "40 (BITMAPINFOHEADER)", "BI_RLE4", "bottom-up"},
        {"os2-pal4.bmp", "os2-pal4.ppm", 4, "12 (BITMAPCOREHEADER)", "BI_RGB", "bottom-up"},
        {"bmp3-pal1.bmp", "bmp3-pal1.ppm", 1, "40 (BITMAPINFOHEADER)", "BI_RGB", "bottom-up"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path file = kData / "bmp" / c.file;
        const Bitmap24 want = testing::ReadPnm(kData / "bmp" / c.reference).ToBitmap24();
        EXPECT_TRUE(SamePixels(ReadBmp(file), want));
        // Decoding into a picture of the same size (as the passes do) overwrites every pixel.
        Bitmap24 reused(13, 7);
        reused.Fill(ColourOf(0xFFFFFF));
        DecodeBmp(ReadFileBytes(file), c.file, reused);
        EXPECT_TRUE(SamePixels(reused, want));

        const FileInfo info = ProbeBmp(file);
        EXPECT_EQ(info.Format, "BMP");
        EXPECT_EQ(info.Width, 13);
        EXPECT_EQ(info.Height, 7);
        EXPECT_EQ(info.Bits, c.bits);
        std::map<std::string, std::string> details(info.Details.begin(), info.Details.end());
        EXPECT_EQ(details["header"], c.header);
        EXPECT_EQ(details["compression"], c.compression);
        EXPECT_EQ(details["rows"], c.rows);
        EXPECT_EQ(details.count("palette"), c.bits <= 8 ? 1u : 0u);
    }
    const FileInfo shortPalette = ProbeBmp(kData / "bmp" / "bmp3-pal8-short.bmp");
    EXPECT_LT(std::stoi(shortPalette.Details[3].second), 256);
}

// RLE streams by hand: expected pictures as rows of colour-table indices, top row first.
// Table entry i is grey i * 17, so one hex digit names each pixel.
TEST(BmpFileTest, RleEscapesRunsAndClipping) {
    struct Case {
        const char* what;
        bool rle4;
        int width, height;  // negative height: rows stored top-down
        std::vector<uint8_t> stream;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"runs and end of line", false, 4, 3, {3, 1, 1, 2, 0, 0, 4, 3, 0, 0, 2, 4, 0, 1}, {"4400", "3333", "1112"}},
        {"absolute block with pad, empty row", false, 4, 3, {0, 3, 5, 6, 7, 0, 1, 8, 0, 0, 0, 0, 0, 1},
         {"0000", "0000", "5678"}},
        {"delta skips pixels", false, 4, 3, {1, 9, 0, 2, 2, 1, 1, 10, 0, 1}, {"0000", "000a", "9000"}},
        {"run past the row end is clipped", false, 4, 2, {6, 5, 0, 0, 2, 6, 0, 1}, {"6600", "5555"}},
        {"block past the row end is clipped", false, 4, 1, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, {"1234"}},
        {"no end-of-bitmap after the last row", false, 2, 2, {2, 1, 0, 0, 2, 2, 0, 0}, {"22", "11"}},
        {"last row full, stream simply ends", false, 2, 2, {2, 1, 0, 0, 2, 2}, {"22", "11"}},
        {"rows past the last are ignored", false, 2, 1, {2, 1, 0, 0, 2, 2, 0, 0, 2, 3}, {"11"}},
        {"top-down", false, 3, -2, {3, 7, 0, 1}, {"777", "000"}},
        {"RLE4 alternating run", true, 5, 1, {5, 0x12, 0, 1}, {"12121"}},
        {"RLE4 odd absolute block", true, 5, 1, {0, 5, 0x34, 0x56, 0x70, 0, 0, 1}, {"34567"}},
        {"RLE4 delta then run", true, 4, 2, {0, 2, 1, 1, 3, 0xFF, 0, 1}, {"0fff", "0000"}},
    };
    std::vector<uint32_t> greys;
    for (uint32_t i = 0; i < 16; ++i) greys.push_back(i * 17 * 0x010101u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto file = MakeBmp(c.width, c.height, c.rle4 ? 4 : 8, c.rle4 ? 2 : 1, greys, c.stream);
        const Bitmap24 got = DecodeBmp(file, "rle.bmp");
        ASSERT_EQ(got.Width(), c.width);
        ASSERT_EQ(got.Height(), int(c.rows.size()));
        for (int y = 0; y < got.Height(); ++y)
            for (int x = 0; x < got.Width(); ++x) {
                const int index = std::stoi(std::string(1, c.rows[y][x]), nullptr, 16);
                EXPECT_EQ(got.Pixel(x, y).g, index * 17) << "at (" << x << "," << y << ")";
            }
    }
}

// An RLE stream's two-byte codes each cover at most 255 pixels or the rest of a row, so a
// size the stream cannot describe is refused before the picture is made, as is one beyond
// the program's side limit however long the stream.
TEST(BmpFileTest, RleSizesAreHeldToTheStreamAndTheSideLimit) {
    const std::vector<uint32_t> greys = {0, 0x111111};
    auto rows = [](int count) {
        std::vector<uint8_t> s;
        for (int i = 0; i < count; ++i) s.insert(s.end(), {0, 0});  // an end of line per row
        s.insert(s.end(), {0, 1});
        return s;
    };
    // One end of line per row describes a row of any width.
    const Bitmap24 sparse = DecodeBmp(MakeBmp(3000, 40, 8, 1, greys, rows(40)), "sparse.bmp");
    EXPECT_EQ(sparse.Width(), 3000);
    EXPECT_EQ(sparse.Height(), 40);
    const struct {
        int width, height;
        std::vector<uint8_t> stream;
        const char* problem;
    } refused[] = {
        {100, 100, {0, 1}, "RLE data of 2 bytes cannot hold a 100 x 100 picture"},
        {3000, 40, rows(10), "RLE data of 22 bytes cannot hold a 3000 x 40 picture"},
        {4097, 2, rows(2), "RLE picture size 4097 x 2 is too large (at most 4096 pixels per side)"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.problem);
        try {
            DecodeBmp(MakeBmp(c.width, c.height, 8, 1, greys, c.stream), "claim.bmp");
            ADD_FAILURE() << "decoded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), std::string("claim.bmp: ") + c.problem);
        }
    }
}

// Bit-field channels scale to the nearest 8-bit level, whatever their width and position:
// pixel i holds level i (or the channel's top level) in every channel.
TEST(BmpFileTest, BitFieldsScaleToTheNearestLevel) {
    const std::vector<std::pair<int, std::vector<uint32_t>>> cases = {
        {16, {0xF800, 0x07E0, 0x001F}},     {16, {0x7C00, 0x03E0, 0x001F}}, {16, {0xF000, 0x0F00, 0x00F0}},
        {32, {0x3FF00000, 0x000FFC00, 0x3FF}}, {32, {0xFF000000, 0xFF0000, 0xFF00}}, {16, {0xF800, 0, 0x001F}},
    };
    auto top = [](uint32_t mask) { return mask ? mask >> std::countr_zero(mask) : 0u; };
    for (const auto& [bits, masks] : cases) {
        SCOPED_TRACE(std::to_string(bits) + " bits, red mask " + std::to_string(masks[0]));
        const int width = int(std::max({top(masks[0]), top(masks[1]), top(masks[2])})) + 1;
        std::vector<uint8_t> pixels;
        for (int i = 0; i < width; ++i) {
            uint32_t word = 0;
            for (uint32_t m : masks)
                if (m) word |= std::min(uint32_t(i), top(m)) << std::countr_zero(m);
            for (int k = 0; k < bits / 8; ++k) pixels.push_back(uint8_t(word >> (8 * k)));
        }
        pixels.resize((pixels.size() + 3) / 4 * 4);
        const Bitmap24 got = DecodeBmp(MakeBmp(width, 1, bits, 3, {}, pixels, masks), "fields.bmp");
        for (int i = 0; i < width; ++i) {
            const uint8_t levels[3] = {got.Pixel(i, 0).r, got.Pixel(i, 0).g, got.Pixel(i, 0).b};
            for (int c = 0; c < 3; ++c) {
                const uint32_t t = top(masks[c]);
                const int want = t ? int(std::nearbyint(std::min(uint32_t(i), t) * 255.0 / t)) : 0;
                ASSERT_EQ(levels[c], want) << "pixel " << i << ", channel " << c;
            }
        }
    }
}

TEST(BmpFileTest, IndicesPastAShortColourTableReadAsBlack) {
    const auto file = MakeBmp(4, 1, 8, 0, {0x102030, 0xA0B0C0}, {1, 0, 2, 255});
    const Bitmap24 got = DecodeBmp(file, "short.bmp");
    EXPECT_EQ(RgbOf(got.Pixel(0, 0)), 0xA0B0C0u);
    EXPECT_EQ(RgbOf(got.Pixel(1, 0)), 0x102030u);
    EXPECT_EQ(RgbOf(got.Pixel(2, 0)), 0u);
    EXPECT_EQ(RgbOf(got.Pixel(3, 0)), 0u);
}

TEST(BmpFileTest, ToleratesAMissingPadAfterTheLastRow) {
    std::ifstream in(kData / "bmp" / "bmp3-rgb24.bmp", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.pop_back();  // 13 pixels = 39 bytes, padded to 40
    EXPECT_TRUE(SamePixels(DecodeBmp(bytes, "short.bmp"), testing::ReadPnm(kData / "bmp" / "pattern.ppm").ToBitmap24()));
    bytes.pop_back();
    EXPECT_THROW(DecodeBmp(bytes, "short.bmp"), Error);
}

// Each malformed file gives an error that names the file and the problem found.
TEST(BmpFileTest, MalformedFilesGiveAnErrorNamingFileAndProblem) {
    const std::map<std::string, std::string> expected = {
        {"bmp-empty.bmp", "not a BMP file"},
        {"bmp-bad-magic.bmp", "not a BMP file"},
        {"bmp-truncated-header.bmp", "file ends inside its BITMAPINFOHEADER"},
        {"bmp-unknown-header-size.bmp", "unsupported bitmap header size 20"},
        {"bmp-zero-width.bmp", "invalid picture size 0 x 2"},
        {"bmp-zero-height.bmp", "invalid picture size 4 x 0"},
        {"bmp-huge-width.bmp", "at most 65535 pixels per side"},
        {"bmp-absurd-size.bmp", "pixel data ends early (needs 10800000000 bytes, has 64)"},
        {"bmp-truncated-pixels.bmp", "pixel data ends early (needs 279 bytes, has 146)"},
        {"bmp-pixel-offset-past-end.bmp", "pixel data offset 5000 is past the end of the file (78 bytes)"},
        {"bmp-pixel-offset-in-header.bmp", "pixel data offset 30 lies inside the headers"},
        {"bmp-palette-past-end.bmp", "colour table runs past the end of the file"},
        {"bmp-no-palette.bmp", "has no colour table"},
        {"bmp-bad-bit-count.bmp", "unsupported bit count 7"},
        {"bmp-jpeg-compression.bmp", "compression BI_JPEG"},
        {"bmp-png-compression.bmp", "compression BI_PNG"},
        {"bmp-cmyk-compression.bmp", "unsupported compression BI_CMYK"},
        {"bmp-rle8-with-24-bits.bmp", "BI_RLE8 cannot store 24 bits per pixel"},
        {"bmp-rle8-truncated.bmp", "RLE data ends early (at row 1 of 2"},
        {"bmp-rle8-block-past-end.bmp", "RLE data runs past the end of the file"},
        {"bmp-rle8-delta-cut.bmp", "RLE data ends inside a delta escape"},
        {"bmp-rle8-absurd-size.bmp", "cannot hold a 65535 x 65535 picture"},
        {"bmp-rle8-claims-65535-square.bmp", "RLE picture size 65535 x 65535 is too large (at most 4096"},
        {"bmp-rle4-truncated.bmp", "RLE data ends early (at row 1 of 2"},
        {"bmp-bitfields-masks-missing.bmp", "file ends inside its bit-field masks"},
        {"bmp-bitfields-offset-in-masks.bmp", "pixel data offset 54 lies inside the headers (they end at 66)"},
        {"bmp-bitfields-zero-masks.bmp", "bit-field masks are all zero"},
        {"bmp-bitfields-broken-mask.bmp", "bit-field mask 0xF0F0 is not one run of bits"},
        {"bmp-bitfields-mask-too-wide.bmp", "does not fit a 16-bit pixel"},
    };
    const std::set<std::string> streamDamage = {"bmp-rle8-truncated.bmp", "bmp-rle8-block-past-end.bmp",
                                                "bmp-rle8-delta-cut.bmp", "bmp-rle4-truncated.bmp"};
    int seen = 0;
    for (const auto& entry : fs::directory_iterator(kData / "corrupt")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("bmp-", 0) != 0) continue;
        SCOPED_TRACE(name);
        ++seen;
        ASSERT_TRUE(expected.count(name)) << "no expected problem listed for this file";
        const std::string want = entry.path().string() + ": ";
        try {
            ReadBmp(entry.path());
            ADD_FAILURE() << "read without error";
        } catch (const Error& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind(want, 0), 0u) << text;
            EXPECT_NE(text.find(expected.at(name)), std::string::npos) << text;
        }
        // The probe checks the same headers; only damage inside an RLE stream needs decoding.
        if (!streamDamage.count(name)) {
            EXPECT_THROW(ProbeBmp(entry.path()), Error);
        }
    }
    EXPECT_EQ(seen, int(expected.size()));
}

TEST(BmpFileTest, WriteThenReadGivesTheSamePictureAndTheStandardSize) {
    TempDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {4, 3}, {13, 7}, {5, 2}, {6, 1}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const Bitmap24 picture = Pattern(w, h);
        const fs::path file = dir / "out.bmp";
        WriteBmp24(file, picture);
        const std::size_t stride = (std::size_t(w) * 3 + 3) / 4 * 4;
        EXPECT_EQ(fs::file_size(file), 54 + stride * h);
        EXPECT_TRUE(SamePixels(ReadBmp(file), picture));
        const FileInfo info = ProbeBmp(file);
        EXPECT_EQ(info.Bits, 24);
        EXPECT_EQ(info.Details[0].second, "40 (BITMAPINFOHEADER)");
        EXPECT_EQ(info.Details[2].second, "bottom-up");
    }
    // Nothing but the file itself is left in the directory.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(BmpFileTest, ImageMagickReadsOurFilesAsWeWroteThem) {
    const std::string convert = testing::FindTool("convert");
    TALVENOR_REQUIRE_TOOL(!convert.empty(), "ImageMagick's convert");
    TempDir dir;
    const Bitmap24 picture = Pattern(13, 7);
    const fs::path file = dir / "ours.bmp";
    WriteBmp24(file, picture);
    const auto out =
        testing::RunCommand(testing::ShellQuoted(convert) + " " + testing::ShellQuoted(file) + " ppm:- 2>/dev/null");
    ASSERT_EQ(out.status, 0);
    EXPECT_TRUE(SamePixels(testing::ParsePnm(out.bytes, "convert output").ToBitmap24(), picture));
}

TEST(BmpFileTest, AFailedSaveReportsTheFileAndKeepsTheOldOne) {
    TempDir dir;
    const fs::path file = dir / "keep.bmp";
    WriteBmp24(file, Pattern(3, 2));
    const auto before = fs::file_size(file);
    try {
        WriteBmp24(file, Bitmap24());
        ADD_FAILURE() << "an empty picture was saved";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs::file_size(file), before);

    fs::create_directory(dir / "sub.bmp");
    EXPECT_THROW(WriteBmp24(dir / "sub.bmp", Pattern(3, 2)), Error);
    EXPECT_THROW(WriteBmp24(dir / "missing" / "x.bmp", Pattern(3, 2)), Error);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace talvenor
