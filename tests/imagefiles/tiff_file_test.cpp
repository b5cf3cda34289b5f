#include "imagefiles/tiff_file.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imagefiles/tiff_lzw.h"
#include "pnm_reference.h"
#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::PnmImage;
using testing::ReadPnm;
using testing::SamePixels;
using testing::TempDir;

const fs::path kData = fs::path(TALVENOR_SOURCE_DIR) / "tests" / "data";
const fs::path kTiff = kData / "tiff";

struct Rgb16 {
    uint16_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb16&, const Rgb16&) = default;
};

// What a file should decode to: the display picture and the wide samples.
struct Expected {
    Bitmap24 display;
    std::vector<Rgb16> wide;  // row by row
};

Expected FromColours(int w, int h, const std::function<Bgr(int, int)>& colour) {
    Expected e{Bitmap24(w, h), {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Bgr c = colour(x, y);
            e.display.SetPixel(x, y, c);
            e.wide.push_back({uint16_t(c.r << 8), uint16_t(c.g << 8), uint16_t(c.b << 8)});
        }
    return e;
}

// 8-bit sources: the display is the source, the wide samples are its bytes times 256.
Expected From8Bit(const std::string& source, bool invert = false) {
    const PnmImage p = ReadPnm(kTiff / source);
    return FromColours(p.width, p.height, [&](int x, int y) {
        const int c3 = p.channels == 3;
        auto v = [&](int ch) { return uint8_t(invert ? 255 - p.At(x, y, ch * c3) : p.At(x, y, ch * c3)); };
        return Bgr{v(2), v(1), v(0)};
    });
}

// 16-bit sources: the wide samples are the source, the display their high bytes.
Expected From16Bit(const std::string& source) {
    const PnmImage p = ReadPnm(kTiff / source);
    Expected e{p.ToBitmap24(), {}};
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int c3 = p.channels == 3;
            e.wide.push_back({p.At(x, y, 0), p.At(x, y, c3), p.At(x, y, 2 * c3)});
        }
    return e;
}

// The 13 x 7 bilevel source (PBM, 1 = black). IM stores it black-is-zero; the twin file
// declares white-is-zero over the same bits, so it shows the source inverted.
Expected FromBilevel(bool whiteIsZero) {
    std::ifstream in(kTiff / "bilevel.pbm", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t start = bytes.size() - 2 * 7;  // header "P4\n13 7\n", rows of 2 bytes
    return FromColours(13, 7, [&](int x, int y) {
        const bool black = (bytes[start + 2 * y + x / 8] >> (7 - x % 8)) & 1;
        const uint8_t v = black != whiteIsZero ? 0 : 255;
        return Bgr{v, v, v};
    });
}

uint8_t Ink(int c, int k) {
    const double v = (255 - c) * 0.3 + (255 - k) * 0.2 + (255 - c) * (255 - k) * 0.5 / 255;
    return uint8_t(std::clamp(std::lrint(v), 0L, 255L));
}

Expected FromInks() {
    std::ifstream in(kTiff / "ink.cmyk", std::ios::binary);
    std::vector<uint8_t> ink((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return FromColours(13, 7, [&](int x, int y) {
        const uint8_t* p = &ink[std::size_t(y * 13 + x) * 4];
        return Bgr{Ink(p[2], p[3]), Ink(p[1], p[3]), Ink(p[0], p[3])};
    });
}

::testing::AssertionResult SameWide(const TTIFFBitMap& got, const std::vector<Rgb16>& want) {
    const int w = got.Width();
    if (std::size_t(w) * got.Height() != want.size()) return ::testing::AssertionFailure() << "wide image size differs";
    for (int y = 0; y < got.Height(); ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb16 g{got.Sample(x, y, 0), got.Sample(x, y, 1), got.Sample(x, y, 2)};
            const Rgb16 e = want[std::size_t(y) * w + x];
            if (!(g == e))
                return ::testing::AssertionFailure() << "wide pixel (" << x << "," << y << ") is " << g.r << "," << g.g
                                                     << "," << g.b << ", expected " << e.r << "," << e.g << "," << e.b;
        }
    return ::testing::AssertionSuccess();
}

struct FixtureCase {
    const char* file;
    int bits;
    std::function<Expected()> expected;
    bool library = false;  // a layout the own reader leaves to libtiff
};

TEST(TiffFileTest, FilesOfOtherWritersDecodeToTheirSources) {
    const FixtureCase cases[] = {
        {"rgb24.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-mm.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-lzw.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-lzw-pred.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-strips.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-mm-strips-lzw-pred.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-fillorder2.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"two-pages.tif", 24, [] { return From8Bit("rgb8.ppm"); }},
        {"noise-lzw.tif", 24, [] { return From8Bit("noise.ppm"); }},
        {"noise-lzw-pred.tif", 24, [] { return From8Bit("noise.ppm"); }},
        {"grey8.tif", 8, [] { return From8Bit("grey8.pgm"); }},
        {"grey8-lzw-pred.tif", 8, [] { return From8Bit("grey8.pgm"); }},
        {"grey8-white-is-zero.tif", 8, [] { return From8Bit("grey8.pgm", true); }},
        {"grey4.tif", 4, [] { return From8Bit("grey4.pgm"); }},
        {"grey16.tif", 16, [] { return From16Bit("grey16.pgm"); }},
        {"grey16-mm.tif", 16, [] { return From16Bit("grey16.pgm"); }},
        {"grey16-lzw-pred.tif", 16, [] { return From16Bit("grey16.pgm"); }},
        {"rgb48.tif", 48, [] { return From16Bit("rgb16.ppm"); }},
        {"rgb48-mm.tif", 48, [] { return From16Bit("rgb16.ppm"); }},
        {"rgb48-mm-lzw-pred.tif", 48, [] { return From16Bit("rgb16.ppm"); }},
        {"palette8.tif", 8, [] { return From8Bit("rgb8.ppm"); }},
        {"palette4.tif", 4, [] { return From8Bit("pal4.ppm"); }},
        {"palette4-lzw.tif", 4, [] { return From8Bit("pal4.ppm"); }},
        {"bilevel.tif", 1, [] { return FromBilevel(false); }},
        {"bilevel-white-is-zero.tif", 1, [] { return FromBilevel(true); }},
        {"cmyk.tif", 32, FromInks},
        {"rgba.tif", 32, [] { return From8Bit("rgb8.ppm"); }},
        {"rgb24-zip.tif", 24, [] { return From8Bit("rgb8.ppm"); }, true},
    };
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.file);
        TTIFFBitMap bmp;
        std::string decoding;
        LoadFromFile(bmp, kTiff / c.file, &decoding);
        const Expected e = c.expected();
        EXPECT_EQ(decoding, c.library ? "read by libtiff" : "read by Talvenor's own TIFF reader");
        EXPECT_EQ(bmp.BitsPerPixel, c.bits);
        EXPECT_TRUE(bmp.HasWide);
        EXPECT_TRUE(SamePixels(bmp.Picture, e.display));
        EXPECT_TRUE(SameWide(bmp, e.wide));
    }
}

TEST(TiffFileTest, SixteenBitGreyAndEightBitRgbSamplesReachBothImages) {
    for (const char* file : {"grey16.tif", "grey16-mm.tif"}) {
        SCOPED_TRACE(file);
        TTIFFBitMap bmp;
        LoadFromFile(bmp, kTiff / file);
        EXPECT_EQ(bmp.Picture.Pixel(0, 0), (Bgr{0x12, 0x12, 0x12}));
        EXPECT_EQ(bmp.Sample(0, 0, 0), 0x1234);
        EXPECT_EQ(bmp.Sample(0, 0, 1), 0x1234);
        EXPECT_EQ(bmp.Sample(0, 0, 2), 0x1234);
    }
    TTIFFBitMap bmp;
    LoadFromFile(bmp, kTiff / "rgb24.tif");
    EXPECT_EQ(bmp.Picture.Pixel(0, 0), (Bgr{30, 20, 10}));
    EXPECT_EQ(bmp.Sample(0, 0, 0), 2560);
    EXPECT_EQ(bmp.Sample(0, 0, 1), 5120);
    EXPECT_EQ(bmp.Sample(0, 0, 2), 7680);
}

TEST(TiffFileTest, EachReaderReplacesTheFrameBeforeIt) {
    // Frames of one size reuse the bitmap's buffers, whichever reader decodes them.
    TTIFFBitMap bmp;
    LoadFromFile(bmp, kTiff / "grey16.tif");
    LoadFromFile(bmp, kTiff / "rgb24-zip.tif");
    EXPECT_TRUE(SameWide(bmp, From8Bit("rgb8.ppm").wide));
    EXPECT_EQ(bmp.BitsPerPixel, 24);
    LoadFromFile(bmp, kTiff / "grey16.tif");
    LoadFromFile(bmp, kTiff / "rgb24-strips.tif");
    EXPECT_TRUE(SameWide(bmp, From8Bit("rgb8.ppm").wide));
}

// --- Files made here -------------------------------------------------------------------

struct Field {
    uint16_t tag, type;
    uint32_t count;
    uint32_t value;  // or the offset of the values
};

// A classic TIFF: header, one directory at offset 8, then the given payload (pixel data,
// colour maps); offsets in the fields are absolute.
std::vector<uint8_t> MakeTiff(const std::vector<Field>& fields, const std::vector<uint8_t>& payload, bool big = false) {
    std::vector<uint8_t> f;
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.push_back(uint8_t(big ? v >> (8 * (bytes - 1 - i)) : v >> (8 * i)));
    };
    f.push_back(big ? 'M' : 'I');
    f.push_back(big ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    put(uint32_t(fields.size()), 2);
    for (const Field& fd : fields) {
        put(fd.tag, 2);
        put(fd.type, 2);
        put(fd.count, 4);
        if (fd.type == 3 && fd.count == 1) {
            put(fd.value, 2);
            put(0, 2);
        } else {
            put(fd.value, 4);
        }
    }
    put(0, 4);
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

std::size_t DataOffset(std::size_t fieldCount) { return 8 + 2 + 12 * fieldCount + 4; }

std::vector<Field> Uncompressed(uint32_t w, uint32_t h, uint16_t spp, uint16_t bps, uint16_t photometric,
                                uint32_t bytes) {
    return {{256, 4, 1, w},   {257, 4, 1, h},           {258, 3, 1, bps}, {259, 3, 1, 1}, {262, 3, 1, photometric},
            {273, 4, 1, uint32_t(DataOffset(9))}, {277, 3, 1, spp}, {278, 4, 1, h}, {279, 4, 1, bytes}};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TiffFileTest, LayoutsOnlyThisTestWrites) {
    TempDir dir;
    TTIFFBitMap bmp;
    // 16-bit grey stored white-is-zero reads inverted, like 8-bit grey.
    WriteBytes(dir / "w.tif", MakeTiff(Uncompressed(2, 1, 1, 16, 0, 4), {0x34, 0x12, 0xFF, 0xFF}));
    LoadFromFile(bmp, dir / "w.tif");
    EXPECT_EQ(bmp.Sample(0, 0, 1), 0xEDCB);
    EXPECT_EQ(bmp.Picture.Pixel(1, 0), (Bgr{0, 0, 0}));

    // Two short strip offsets fit in the entry's value field and are stored there.
    std::vector<Field> f = Uncompressed(2, 2, 1, 8, 1, 2);
    f[5] = {273, 3, 2, uint32_t(DataOffset(9)) | uint32_t(DataOffset(9) + 2) << 16};
    f[7] = {278, 3, 1, 1};
    f[8] = {279, 3, 2, 2 | 2 << 16};
    WriteBytes(dir / "s.tif", MakeTiff(f, {1, 2, 3, 4}));
    LoadFromFile(bmp, dir / "s.tif");
    EXPECT_EQ(bmp.Picture.Pixel(0, 1), (Bgr{3, 3, 3}));
    EXPECT_EQ(bmp.Picture.Pixel(1, 1), (Bgr{4, 4, 4}));

    // Without a photometric interpretation three samples are red, green and blue.
    std::vector<Field> rgb = Uncompressed(1, 1, 3, 8, 2, 3);
    rgb.erase(rgb.begin() + 4);
    rgb[4].value = uint32_t(DataOffset(8));
    WriteBytes(dir / "rgb.tif", MakeTiff(rgb, {10, 20, 30}));
    LoadFromFile(bmp, dir / "rgb.tif");
    EXPECT_EQ(bmp.Picture.Pixel(0, 0), (Bgr{30, 20, 10}));

    // A big-endian palette: 16-bit map entries scale to 8 bits linearly (0xFFFF is 255,
    // 0x8080 is 128), and the map has one entry per index for each channel.
    std::vector<Field> p = Uncompressed(2, 1, 1, 1, 3, 1);
    p.push_back({320, 3, 6, uint32_t(DataOffset(10) + 1)});
    for (Field& fd : p)
        if (fd.tag == 273) fd.value = uint32_t(DataOffset(10));
    WriteBytes(dir / "p.tif", MakeTiff(p, {0x40, 0x00, 0x00, 0x80, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00}, true));
    LoadFromFile(bmp, dir / "p.tif");
    EXPECT_EQ(bmp.Picture.Pixel(0, 0), (Bgr{0, 255, 0}));    // index 0: red 0, green 0xFFFF, blue 0
    EXPECT_EQ(bmp.Picture.Pixel(1, 0), (Bgr{16, 0, 128}));   // index 1: red 0x8080, green 0, blue 0x1000
    EXPECT_EQ(bmp.Sample(1, 0, 0), 128 << 8);
}

TEST(TiffFileTest, FramesLargerThanTheWorkingSizeAreReadWhole) {
    TempDir dir;
    for (const auto& [w, h] : {std::pair{4100u, 3u}, std::pair{3u, 4100u}}) {
        std::vector<uint8_t> pixels(std::size_t(w) * h);
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i % 251);
        WriteBytes(dir / "big.tif", MakeTiff(Uncompressed(w, h, 1, 8, 1, uint32_t(pixels.size())), pixels));
        TTIFFBitMap bmp;
        const TIFD ifd = LoadFromFile(bmp, dir / "big.tif");
        EXPECT_EQ(ifd.ImageWidth, w);
        EXPECT_EQ(bmp.Picture.Width(), int(w));
        EXPECT_EQ(bmp.Picture.Height(), int(h));
        EXPECT_EQ(bmp.Width(), bmp.Picture.Width());
        const int x = bmp.Picture.Width() - 1, y = bmp.Picture.Height() - 1;
        EXPECT_EQ(bmp.Picture.Pixel(x, y).g, pixels[std::size_t(y) * w + x]);
    }
}

// --- Writing ---------------------------------------------------------------------------

TTIFFBitMap Wide48(int w, int h, unsigned seed) {
    TTIFFBitMap bmp;
    bmp.CreateWide(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) bmp.SetSample(x, y, c, uint16_t(rng()));
    return bmp;
}

TEST(TiffFileTest, WritesTheFixedDirectoryAndTheRowsFromTheTop) {
    TempDir dir;
    TTIFFBitMap bmp;
    bmp.CreateWide(2, 1);
    bmp.SetSample(0, 0, 0, 0x0102);
    bmp.SetSample(1, 0, 2, 0xA0B0);
    SaveToFile(bmp, dir / "two.tif");
    const std::vector<uint8_t> f = ReadBytes(dir / "two.tif");
    ASSERT_EQ(f.size(), 182u);
    const std::vector<uint8_t> head = {'I', 'I', 42, 0, 8, 0, 0, 0, 13, 0};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), f.begin()));
    // No Predictor entry: the data is not compressed, and readers warn about one.
    const uint32_t entries[13][3] = {{254, 4, 0}, {256, 3, 2}, {257, 3, 1}, {258, 3, 16}, {259, 3, 1},
                                     {262, 3, 2}, {266, 3, 1}, {273, 4, 170}, {274, 3, 1}, {277, 3, 3},
                                     {278, 3, 1}, {279, 4, 12}, {284, 3, 1}};
    auto u16 = [&](std::size_t at) { return uint32_t(f[at] | f[at + 1] << 8); };
    auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    for (int i = 0; i < 13; ++i) {
        const std::size_t at = 10 + 12 * std::size_t(i);
        SCOPED_TRACE(entries[i][0]);
        EXPECT_EQ(u16(at), entries[i][0]);
        EXPECT_EQ(u16(at + 2), entries[i][1]);
        EXPECT_EQ(u32(at + 4), 1u);
        EXPECT_EQ(u32(at + 8), entries[i][2]);
    }
    EXPECT_EQ(u32(166), 0u);
    const std::vector<uint8_t> data = {0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0xB0, 0xA0};
    EXPECT_TRUE(std::equal(data.begin(), data.end(), f.begin() + 170));
}

TEST(TiffFileTest, WrittenFilesReadBackAndReplaceOlderOnes) {
    TempDir dir;
    const TTIFFBitMap first = Wide48(7, 5, 1), second = Wide48(31, 9, 2);
    SaveToFile(first, dir / "r.tif");
    SaveToFile(second, dir / "r.tif");
    TTIFFBitMap back;
    LoadFromFile(back, dir / "r.tif");
    EXPECT_EQ(back.BitsPerPixel, 48);
    EXPECT_EQ(back.Wide, second.Wide);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 31; ++x)
            ASSERT_EQ(back.Picture.Pixel(x, y), (Bgr{uint8_t(second.Sample(x, y, 2) >> 8), uint8_t(second.Sample(x, y, 1) >> 8),
                                                    uint8_t(second.Sample(x, y, 0) >> 8)}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);  // no temporary left
}

TEST(TiffFileTest, AFailedSaveNamesTheFileAndKeepsTheOldOne) {
    TempDir dir;
    const TTIFFBitMap bmp = Wide48(3, 2, 3);
    try {
        SaveToFile(bmp, dir / "missing" / "moon.tif");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("moon.tif"), std::string::npos) << e.what();
    }
    SaveToFile(bmp, dir / "old.tif");
    TTIFFBitMap empty;
    EXPECT_THROW(SaveToFile(empty, dir / "old.tif"), Error);
    EXPECT_THROW(SaveToFile(bmp, dir / "old.tif", 24), Error);
    EXPECT_EQ(fs::file_size(dir / "old.tif"), 170u + 36u);
}

TEST(TiffFileTest, OtherProgramsReadOurFiles) {
    const std::string tiffinfo = testing::FindTool("tiffinfo"), tiffdump = testing::FindTool("tiffdump");
    const std::string convert = testing::FindTool("convert");
    TALVENOR_REQUIRE_TOOL(!tiffinfo.empty() && !tiffdump.empty() && !convert.empty(),
                          "libtiff's tiffinfo/tiffdump or ImageMagick's convert (scripts/setup installs them)");
    TempDir dir;
    const TTIFFBitMap bmp = Wide48(5, 3, 4);
    SaveToFile(bmp, dir / "ours.tif");
    const std::string file = testing::ShellQuoted(dir / "ours.tif");
    const testing::CommandOutput info = testing::RunCommand(testing::ShellQuoted(tiffinfo) + " " + file + " 2>&1");
    const std::string text(info.bytes.begin(), info.bytes.end());
    EXPECT_EQ(info.status, 0) << text;
    EXPECT_NE(text.find("Bits/Sample: 16"), std::string::npos) << text;
    EXPECT_NE(text.find("Samples/Pixel: 3"), std::string::npos) << text;
    EXPECT_EQ(testing::RunCommand(testing::ShellQuoted(tiffdump) + " " + file).status, 0);
    const testing::CommandOutput raw =
        testing::RunCommand(testing::ShellQuoted(convert) + " " + file + " -depth 16 -endian LSB rgb:- 2>/dev/null");
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.bytes, std::vector<uint8_t>(bmp.Wide.begin(), bmp.Wide.end()));
}

// --- Malformed files -------------------------------------------------------------------

std::string LoadError(const fs::path& file) {
    try {
        TTIFFBitMap bmp;
        LoadFromFile(bmp, file);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TiffFileTest, MalformedFilesGiveErrorsNamingFileAndProblem) {
    const std::pair<const char*, const char*> cases[] = {
        {"tif-bad-magic.tif", "tif-bad-magic.tif: Invalid TIFF header"},
        {"tif-short-header.tif", "Invalid TIFF header: the file is only 6 bytes"},
        {"tif-no-dimension.tif", "tif-no-dimension.tif: Invalid TIFF header: no dimension"},
        {"tif-zero-height.tif", "Invalid TIFF header: no dimension"},
        {"tif-ifd-past-end.tif", "offset 4000 lies outside the file"},
        {"tif-ifd-truncated.tif", "ends past the end of the file"},
        {"tif-value-past-end.tif", "BitsPerSample values"},
        {"tif-strip-offsets-past-end.tif", "StripOffsets values"},
        {"tif-text-width.tif", "ImageWidth has field type 2"},
        {"tif-huge-width.tif", "70000 x 2 is out of range"},
        {"tif-zero-bits.tif", "BitsPerSample 0"},
        {"tif-no-strip-offsets.tif", "no StripOffsets"},
        {"tif-zero-rows-per-strip.tif", "RowsPerStrip is 0"},
        {"tif-too-few-strips.tif", "lists 1 strips, but 2 rows in strips of 1 need 2"},
        {"tif-byte-counts-missing-strips.tif", "StripByteCounts lists 1 strips"},
        {"tif-strip-past-end.tif", "strip 0 (8 bytes at offset 3000) lies past the end"},
        {"tif-truncated-pixels.tif", "lies past the end of the file (125 bytes)"},
        {"tif-strip-too-short.tif", "strip 0 holds 5 bytes, but its 2 rows need 8"},
        {"tif-palette-no-colormap.tif", "without a ColorMap"},
        {"tif-colormap-past-end.tif", "ColorMap values"},
        {"tif-colormap-short.tif", "ColorMap has 48 entries, 8-bit pixels need 768"},
        {"tif-lzw-bad-code.tif", "strip 0: LZW code 300 is out of range"},
        {"tif-lzw-ends-early.tif", "strip 0 ends early (3 of 8 bytes)"},
        {"tif-lzw-old-style.tif", "old-style LZW"},
        {"tif-unknown-compression-claims-65535-square.tif", "a 65535 x 65535 picture is too large to read"},
    };
    std::size_t listed = 0;
    for (const auto& [file, problem] : cases) {
        SCOPED_TRACE(file);
        const std::string message = LoadError(kData / "corrupt" / file);
        EXPECT_EQ(message.rfind(std::string(file) + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(problem), std::string::npos) << message;
        ++listed;
    }
    // Every malformed TIFF kept with the test data is one of the cases above.
    std::size_t present = 0;
    for (const auto& entry : fs::directory_iterator(kData / "corrupt"))
        present += entry.path().filename().string().rfind("tif-", 0) == 0;
    EXPECT_EQ(present, listed);
}

TEST(TiffFileTest, ABitmapFileIsNotATiff) {
    TempDir dir;
    std::vector<uint8_t> bmp(64, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    WriteBytes(dir / "moon.tif", bmp);
    EXPECT_EQ(LoadError(dir / "moon.tif"), "moon.tif: Invalid TIFF header");
    EXPECT_NE(LoadError(dir / "absent.tif").find("absent.tif: cannot open"), std::string::npos);
}

// --- LZW -------------------------------------------------------------------------------

// Packs codes MSB first with the widths a TIFF encoder uses (growing one code early).
std::vector<uint8_t> PackCodes(const std::vector<int>& codes) {
    std::vector<uint8_t> out;
    uint32_t buffer = 0;
    int bits = 0, width = 9, next = TLZW::kFirstFree;
    bool first = true;
    for (int code : codes) {
        buffer = buffer << width | uint32_t(code);
        bits += width;
        while (bits >= 8) out.push_back(uint8_t(buffer >> (bits -= 8)));
        if (code == TLZW::kClear) {
            width = 9, next = TLZW::kFirstFree, first = true;
        } else if (first) {
            first = false;
        } else if (next < TLZW::kTableSize && ++next >= (1 << width) - 1 && width < 12) {
            ++width;
        }
    }
    if (bits > 0) out.push_back(uint8_t(buffer << (8 - bits)));
    return out;
}

TEST(TiffLzwTest, DecodesWithinBoundsAndRejectsAnOverflowingTable) {
    TLZW lzw;
    // "abababa": a, b, then the strings 258 = ab and 260 = aba, the code being defined.
    const std::vector<uint8_t> in = PackCodes({256, 'a', 'b', 258, 260, 257});
    std::array<uint8_t, 12> out;
    out.fill(0xEE);
    EXPECT_EQ(lzw.Decode(in.data(), in.size(), out.data(), 10), 7u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 7), "abababa");
    // A short buffer takes what fits and nothing beyond.
    out.fill(0xEE);
    EXPECT_EQ(lzw.Decode(in.data(), in.size(), out.data(), 5), 5u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "ababa");
    EXPECT_EQ(out[5], 0xEE);

    // Literal codes fill the table; past it (and the slack for late Clear codes) the
    // stream is corrupt. After a Clear the same stream decodes.
    std::vector<int> codes = {256};
    for (int i = 0; i < 3840 + 1100; ++i) codes.push_back(i % 256);
    std::vector<uint8_t> full = PackCodes(codes);
    std::vector<uint8_t> big(codes.size());
    EXPECT_THROW(lzw.Decode(full.data(), full.size(), big.data(), big.size()), Error);
    codes.resize(3000);
    codes.push_back(256);
    for (int i = 0; i < 100; ++i) codes.push_back(i);
    full = PackCodes(codes);
    EXPECT_EQ(lzw.Decode(full.data(), full.size(), big.data(), big.size()), 3099u);
    EXPECT_EQ(big[3098], 99);
}

// --- Probing ---------------------------------------------------------------------------

TEST(TiffFileTest, ProbeReportsTheDirectory) {
    const FileInfo info = ProbeTiff(kTiff / "rgb24-mm-strips-lzw-pred.tif");
    EXPECT_EQ(info.Format, "TIFF");
    EXPECT_EQ(info.Width, 13);
    EXPECT_EQ(info.Height, 7);
    EXPECT_EQ(info.Bits, 24);
    const std::vector<std::pair<std::string, std::string>> details = {
        {"byte order", "MM big-endian"},
        {"offsets", "32-bit"},
        {"compression", "LZW"},
        {"predictor", "horizontal differencing"},
        {"photometric", "2 (RGB)"},
        {"samples per pixel", "3"},
        {"bits per sample", "8"},
        {"sample format", "unsigned integer"},
        {"planar configuration", "1 (chunky)"},
        {"strips", "3"},
        {"pages", "1"},
        {"reader", "own"}};
    EXPECT_EQ(info.Details, details);
    const FileInfo zip = ProbeTiff(kTiff / "rgb24-zip.tif");
    EXPECT_EQ(zip.Details[2].second, "Deflate (8)");
    EXPECT_EQ(zip.Details.back(), (std::pair<std::string, std::string>{"changes", "none"}));
    EXPECT_THROW(ProbeTiff(kData / "corrupt" / "tif-bad-magic.tif"), Error);
}

}  // namespace
}  // namespace talvenor
