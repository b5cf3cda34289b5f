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
        EXPECT_EQ(details.at("readable").rfind("yes (pictures of at most 268 million pixels", 0), 0u) << details.at("readable");
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

// A JPEG of flat grey written by hand: one-symbol Huffman tables (a 1-bit code for "no
// change" and for "end of block"), so zero bytes are valid scan data. Progressive files have
// a DC scan and then `acScans` scans of the first component's AC band.
std::vector<uint8_t> FlatJpeg(int width, int height, int components, bool progressive, int acScans,
                              std::size_t scanBytes) {
    std::vector<uint8_t> f = {0xFF, 0xD8};
    auto segment = [&f](uint8_t marker, std::vector<uint8_t> body) {
        f.insert(f.end(), {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)});
        f.insert(f.end(), body.begin(), body.end());
    };
    std::vector<uint8_t> dqt(65, 1);
    dqt[0] = 0;
    segment(0xDB, dqt);
    std::vector<uint8_t> sof = {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                                uint8_t(components)};
    for (int c = 1; c <= components; ++c) sof.insert(sof.end(), {uint8_t(c), 0x11, 0});
    segment(progressive ? 0xC2 : 0xC0, sof);
    for (uint8_t table : {0x00, 0x10}) {
        std::vector<uint8_t> dht(18, 0);
        dht[0] = table;
        dht[1] = 1;  // one code of one bit, for symbol 0
        segment(0xC4, dht);
    }
    std::vector<uint8_t> sos = {uint8_t(components)};
    for (int c = 1; c <= components; ++c) sos.insert(sos.end(), {uint8_t(c), 0x00});
    sos.insert(sos.end(), {0, uint8_t(progressive ? 0 : 63), 0});
    segment(0xDA, sos);
    f.resize(f.size() + scanBytes, 0);
    for (int i = 0; i < acScans; ++i) {
        segment(0xDA, {1, 1, 0x00, 1, 63, 0});
        f.resize(f.size() + scanBytes, 0);
    }
    f.insert(f.end(), {0xFF, 0xD9});
    return f;
}

// Claims the data cannot back are refused before libjpeg allocates or decodes anything:
// every 8 x 8 block takes at least the shortest codes of its scan's tables (here two bits),
// counted in the scan's own bytes only, a multi-scan picture may not need more than 128 MB of
// buffers, and no file may be spread over more than 200 scans.
TEST(JpegFileTest, ClaimsTheDataCannotBackAreRefused) {
    // 64 blocks: 16 bytes of baseline scan (two bits a block), 8 per progressive scan.
    EXPECT_TRUE(SamePixels(DecodeJpeg(FlatJpeg(64, 64, 1, false, 0, 16), "flat.jpg"),
                           [] { Bitmap24 g(64, 64); g.Fill(Bgr{128, 128, 128}); return g; }()));
    const Bitmap24 fewScans = DecodeJpeg(FlatJpeg(64, 64, 1, true, 3, 8), "scans.jpg");
    EXPECT_EQ(fewScans.Pixel(63, 63), (Bgr{128, 128, 128}));

    // One byte short of the floor, with the missing byte after the end marker: it is no scan data.
    std::vector<uint8_t> trailing = FlatJpeg(64, 64, 1, false, 0, 15);
    trailing.resize(trailing.size() + 1000, 0);
    const struct {
        std::vector<uint8_t> file;
        const char* problem;
    } refused[] = {
        {FlatJpeg(4096, 4096, 1, false, 0, 64), "64 bytes of scan data cannot hold a 4096 x 4096 picture (scan 1 needs at least 65536)"},
        {trailing, "15 bytes of scan data cannot hold a 64 x 64 picture (scan 1 needs at least 16)"},
        {FlatJpeg(64, 64, 1, true, 2, 7), "7 bytes of scan data cannot hold a 64 x 64 picture (scan 1 needs at least 8)"},
        {FlatJpeg(16384, 16385, 1, false, 0, 8), "a 16384 x 16385 picture is too large to read (at most 268 million pixels)"},
        {FlatJpeg(8192, 8192, 3, true, 0, 3 << 17),
         "the 8192 x 8192 picture is stored in several scans and would need more than 128 MB of buffers"},
        {FlatJpeg(64, 64, 1, true, 250, 8), "the picture is spread over more than 200 scans"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.problem);
        try {
            DecodeJpeg(c.file, "claim.jpg");
            ADD_FAILURE() << "decoded";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(std::string("claim.jpg: ") + c.problem, 0), 0u) << e.what();
        }
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
        {"jpg-claims-20000-square.jpg", "a 20000 x 20000 picture is too large to read (at most 268 million pixels)"},
        {"jpg-progressive-claims-20000-square.jpg", "a 20000 x 20000 picture is too large to read (at most 268 million pixels)"},
        {"jpg-padded-claims-20000-square.jpg", "a 20000 x 20000 picture is too large to read (at most 268 million pixels)"},
        {"jpg-claims-65500-square.jpg", "a 65500 x 65500 picture is too large to read (at most 268 million pixels)"},
        // Within the picture limit: the padding is valid scan data, but far less than the
        // file's own tables need for a picture that size.
        {"jpg-padded-claims-16000-square.jpg",
         "800808 bytes of scan data cannot hold a 16000 x 16000 picture (scan 1 needs at least 3000000)"},
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
        // `info` still describes a refused claim, and says why it is not read.
        if (want.find("too large") != std::string::npos || want.find("scan data") != std::string::npos) {
            const FileInfo info = ProbeJpeg(path);
            const std::map<std::string, std::string> details(info.Details.begin(), info.Details.end());
            EXPECT_EQ(details.at("readable"), "no: " + want);
        }
    }
}

TEST(JpegFileTest, OurFilesAreWhatDjpegDecodesAndCjpegWrites) {
    TALVENOR_REQUIRE_TOOL(!testing::FindTool("djpeg").empty() && !testing::FindTool("cjpeg").empty(),
                          "libjpeg's djpeg and cjpeg");
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

TEST(JpegFileTest, CommentsGoInSegmentsOtherProgramsRead) {
    TempDir dir;
    const Bitmap24 picture = Planet(40, 30);
    // Longer than two segments hold, with line ends and bytes above ASCII.
    std::string comment;
    for (int i = 0; comment.size() < 2 * kCommentSegment + 1000; ++i) comment += "line " + std::to_string(i) + " \xc3\xa9\r\n";
    const fs::path file = dir / "commented.jpg";
    WriteJpeg(file, picture, comment);
    EXPECT_EQ(JpegComment(FileBytes(file)), comment);
    EXPECT_TRUE(SamePixels(ReadJpeg(file), ReadJpeg([&] {
        const fs::path plain = dir / "plain.jpg";
        WriteJpeg(plain, picture);
        return plain;
    }())));
    EXPECT_EQ(JpegComment(FileBytes(dir / "plain.jpg")), "");
    EXPECT_EQ(JpegComment(std::vector<uint8_t>{0x42, 0x4D, 0, 0}), "");  // not a JPEG file

    TALVENOR_REQUIRE_TOOL(!testing::FindTool("rdjpgcom").empty() && !testing::FindTool("wrjpgcom").empty(),
                          "libjpeg's rdjpgcom and wrjpgcom");
    // rdjpgcom shows each segment followed by a line end: the segments hold the text in order.
    const std::string shortText = "stacked from capture.avi\nframes 1-200";
    WriteJpeg(file, picture, shortText);
    const auto shown = testing::RunCommand("rdjpgcom -raw " + testing::ShellQuoted(file));
    ASSERT_EQ(shown.status, 0);
    EXPECT_EQ(std::string(shown.bytes.begin(), shown.bytes.end()), shortText + "\n");
    // A comment another program wrote is read.
    const auto written = testing::RunCommand("wrjpgcom -comment 'from elsewhere' " + testing::ShellQuoted(dir / "plain.jpg"));
    ASSERT_EQ(written.status, 0);
    EXPECT_EQ(JpegComment(written.bytes), "from elsewhere");
}

}  // namespace
}  // namespace talvenor
