#include <gtest/gtest.h>

#include <cstdio>
#include <cmath>
#include <iterator>
#include <sstream>
#include <fstream>
#include <sstream>

#include "cli/cli_app.h"
#include "support/external_tools.h"
#include "support/temp_dir.h"
#include "workspace/build_info.h"

namespace talvenor {
namespace {

struct CliRun {
    int code;
    std::string out, err;
};

CliRun Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = RunCli(args, out, err);
    return {code, out.str(), err.str()};
}

TEST(Cli, HelpAndVersion) {
    CliRun help = Cli({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("info FILE..."), std::string::npos);
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    CliRun version = Cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "talvenor-cli " TALVENOR_VERSION "\n");

    CliRun none = Cli({});
    EXPECT_EQ(none.code, 2);
    EXPECT_NE(none.err.find("Commands:"), std::string::npos);
    CliRun unknown = Cli({"frobnicate"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);

    // Every command explains itself, without needing its arguments.
    for (const char* command : {"info", "convert", "align", "stack", "compare"}) {
        SCOPED_TRACE(command);
        CliRun own = Cli({command, "--help"});
        EXPECT_EQ(own.code, 0);
        EXPECT_EQ(own.out.rfind(std::string("Usage: talvenor-cli ") + command, 0), 0u);
    }
    EXPECT_NE(Cli({"stack", "-h"}).out.find("--subpixel"), std::string::npos);
    EXPECT_NE(Cli({"align", "--help"}).out.find("--mono"), std::string::npos);
}

std::string Data(const std::string& name) { return std::string(TALVENOR_SOURCE_DIR) + "/tests/data/" + name; }

TEST(Cli, InfoReportsFormatSizeDepthAndTheFormatsDetails) {
    const struct {
        std::string file;
        std::vector<std::string> lines;
    } cases[] = {
        {"bmp/bmp3-rgb24.bmp", {"  format: BMP", "  size: 13 x 7", "  bits: 24", "  compression: BI_RGB"}},
        {"bmp/bmp3-rle8.bmp", {"  bits: 8", "  compression: BI_RLE8"}},
        {"jpeg/colour.jpg", {"  format: JPEG", "  bits: 24"}},
        {"fits/u16.fit", {"  format: FITS", "  bits: 16", "  BITPIX: 16", "  BZERO: 32768", "  NAXIS: 2"}},
        {"tiff/rgb24-mm-strips-lzw-pred.tif",
         {"  format: TIFF", "  bits: 24", "  byte order: MM big-endian", "  compression: LZW"}},
        {"avi/dropped.avi", {"  format: AVI", "  dropped: 3,7", "  OpenDML: no", "  dwStart: 0"}},
        // Every file names its reader and what decoding changes.
        {"fits/kind-cube3.fit", {"  reader: cfitsio", "  decoding: read by cfitsio (colour cube)"}},
        {"png/rgba16.png", {"  format: PNG", "  bits: 64", "  reader: libpng", "  decoding: alpha dropped"}},
        {"corpus/tiff/pil_g4-multi.tiff", {"  reader: libtiff (not the own reader: compression 4)", "  pages: 3"}},
        {"bmp/bmp3-rle8.bmp", {"  reader: own"}},
    };
    for (const auto& c : cases) {
        CliRun r = Cli({"info", Data(c.file)});
        EXPECT_EQ(r.code, 0) << r.err;
        for (const auto& line : c.lines) EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << c.file << ": " << line << "\n" << r.out;
    }
}

TEST(Cli, InfoReportsEveryFileAndFailsWhenAnyFails) {
    testing::TempDir dir;
    std::ofstream(dir / "notes.txt") << "clear skies\n";
    std::filesystem::copy_file(Data("bmp/bmp3-rgb24.bmp"), dir / "frame.dat");  // recognised by content, not name

    CliRun mixed = Cli({"info", (dir / "missing.avi").string(), (dir / "notes.txt").string(), (dir / "frame.dat").string(),
                        Data("corrupt/bmp-truncated-pixels.bmp")});
    EXPECT_EQ(mixed.code, 1);
    EXPECT_NE(mixed.err.find("missing.avi"), std::string::npos);
    EXPECT_NE(mixed.err.find("notes.txt: not a BMP, JPEG, PNG, FITS, TIFF, AVI or SER file"), std::string::npos);
    EXPECT_NE(mixed.err.find("bmp-truncated-pixels.bmp"), std::string::npos);
    EXPECT_NE(mixed.out.find("frame.dat\n  format: BMP"), std::string::npos);
    EXPECT_EQ(Cli({"info", dir.path().string()}).code, 1);
    EXPECT_EQ(Cli({"info"}).code, 2);
}

// Decoded pixels as ImageMagick sees them, for comparing files in different formats.
std::string Pixels(const std::filesystem::path& file) {
    const std::string cmd = "'" + testing::FindTool("convert") + "' '" + file.string() + "' -depth 8 rgb:- 2>/dev/null";
    std::string data;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) data.append(buf, n);
        pclose(p);
    }
    return data;
}

TEST(Cli, ConvertKeepsThePixelsThroughEveryFormat) {
    TALVENOR_REQUIRE_TOOL(!testing::FindTool("convert").empty(), "ImageMagick's convert");
    testing::TempDir dir;
    const std::string source = Data("bmp/bmp3-rgb24.bmp");
    ASSERT_EQ(Cli({"convert", source, (dir / "a.tif").string()}).code, 0);
    ASSERT_EQ(Cli({"convert", (dir / "a.tif").string(), (dir / "b.bmp").string()}).code, 0);
    EXPECT_EQ(Pixels(dir / "b.bmp"), Pixels(source));
    EXPECT_FALSE(Pixels(source).empty());

    // A colour picture to FITS gives one file per channel.
    CliRun fits = Cli({"convert", source, (dir / "c.fit").string()});
    EXPECT_EQ(fits.code, 0) << fits.err;
    EXPECT_NE(fits.out.find("c_R.fit"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir / "c_B.fit"));

    // Frame 2 of an AVI is the frame ffmpeg decodes there.
    CliRun avi = Cli({"convert", Data("avi/bgr24.avi"), (dir / "f2.bmp").string(), "--frame", "2"});
    EXPECT_EQ(avi.code, 0) << avi.err;
    std::ifstream ref(Data("avi/bgr24.bgr"), std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(ref)), {});
    const std::size_t frameBytes = 32 * 24 * 3;
    ASSERT_GE(all.size(), 3 * frameBytes);
    std::string bgr = all.substr(2 * frameBytes, frameBytes), rgb = bgr;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) std::swap(rgb[i], rgb[i + 2]);
    EXPECT_EQ(Pixels(dir / "f2.bmp"), rgb);

    EXPECT_EQ(Cli({"convert", Data("avi/bgr24.avi"), (dir / "x.bmp").string(), "--frame", "99"}).code, 1);
    // PNG keeps an 8-bit picture's pixels as they are.
    ASSERT_EQ(Cli({"convert", source, (dir / "p.png").string()}).code, 0);
    EXPECT_EQ(Pixels(dir / "p.png"), Pixels(source));
    EXPECT_EQ(Cli({"convert", source, (dir / "x.gif").string()}).code, 1);
    EXPECT_EQ(Cli({"convert", source}).code, 2);
}

TEST(Cli, TheInstalledProgramRunsAndExitsWithTheCommandsStatus) {
    const std::string cli = std::string(TALVENOR_BIN_DIR) + "/talvenor-cli";
    EXPECT_EQ(std::system((cli + " --help > /dev/null").c_str()), 0);
    EXPECT_NE(std::system((cli + " info /nonexistent/file.avi 2> /dev/null").c_str()), 0);
    // It starts without the codec and FITS libraries (loaded when a file needs them), which
    // with what they bring took 70 ms of every start.
    const std::string readelf = testing::FindTool("readelf");
    TALVENOR_REQUIRE_TOOL(!readelf.empty(), "readelf");
    const std::string needed = readelf + " -d " + cli + " | grep NEEDED";
    EXPECT_EQ(std::system((needed + " > /dev/null").c_str()), 0);
    EXPECT_NE(std::system((needed + " | grep -E 'libavcodec|libswscale|libcfitsio' > /dev/null").c_str()), 0);
}

}  // namespace
}  // namespace talvenor

namespace talvenor {
namespace {

// Rows of a CSV file, split at commas, without the header.
std::vector<std::vector<std::string>> CsvRows(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        for (std::string cell; std::getline(ss, cell, ',');) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

TEST(CliAlign, FindsAFeatureAndRecoversTheMotionOfPlanetMoonAndSun) {
    for (const char* mode : {"planet", "moon", "sun"}) {
        SCOPED_TRACE(mode);
        testing::TempDir dir;
        const std::string capture = (dir / "capture.avi").string();
        const std::string make = std::string(TALVENOR_BIN_DIR) + "/talvenor-capture " + capture + " --mode " + mode +
                                 " --format avi-grey --frames 40 --size 320x240 --seed 21 > /dev/null";
        ASSERT_EQ(std::system(make.c_str()), 0);
        const std::string csv = (dir / "shifts.csv").string();
        CliRun r = Cli({"align", capture, "--shifts-csv", csv});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("aligned 40 of 40 frames"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("(found automatically)"), std::string::npos);
        const auto shifts = CsvRows(csv), truth = CsvRows(dir / "truth.csv");
        ASSERT_EQ(shifts.size(), 40u);
        int good = 0;
        for (std::size_t k = 0; k < shifts.size(); ++k) {
            const double dx = std::stod(truth[k][1]), dy = std::stod(truth[k][2]);
            if (std::fabs(std::stoi(shifts[k][1]) - dx) <= 1 && std::fabs(std::stoi(shifts[k][2]) - dy) <= 1) ++good;
        }
        EXPECT_GE(good, 38) << good << " of 40 within one pixel";
    }
}

TEST(CliAlign, OptionsAndErrors) {
    testing::TempDir dir;
    const std::string capture = (dir / "c.avi").string();
    ASSERT_EQ(std::system((std::string(TALVENOR_BIN_DIR) + "/talvenor-capture " + capture +
                           " --format avi-grey --frames 5 --size 160x120 > /dev/null")
                              .c_str()),
              0);
    CliRun json = Cli({"align", capture, "--box", "32", "--feature", "80,60", "--json"});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_NE(json.out.find("\"box\": 32"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"feature\": [80, 60]"), std::string::npos);

    CliRun border = Cli({"align", capture, "--feature", "5,5"});
    EXPECT_EQ(border.code, 1);
    EXPECT_NE(border.err.find("Alignment feature too close to image border"), std::string::npos);
    EXPECT_NE(border.err.find("could not be used"), std::string::npos);
    EXPECT_EQ(Cli({"align", capture, "--box", "48"}).code, 1);
    EXPECT_EQ(Cli({"align", capture, "--frobnicate"}).code, 1);
    EXPECT_EQ(Cli({"align", (dir / "missing.avi").string()}).code, 1);
    CliRun set = Cli({"align", capture, "--set", "Nothing.Value=3"});
    EXPECT_NE(set.err.find("Unknown control Nothing"), std::string::npos);
}

}  // namespace
}  // namespace talvenor
