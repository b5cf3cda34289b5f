// Alignment points from the command line: the default stack of a capture whose seeing moves
// and blurs each area on its own beats one shift per frame, the options are checked and
// documented, and the per-point measures can be written out.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "capture/capture.h"
#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "cli/cli_run.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::CliRun;

std::vector<std::vector<std::string>> ReadCsv(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::vector<std::vector<std::string>> rows;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, ',')) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

TEST(CliAlignmentPoints, BendingSeeingIsStackedAreaByArea) {
    testing::TempDir dir;
    capture::CaptureOptions o = capture::RealisticCaptureOptions();
    o.format = capture::CaptureFormat::AviGrey;
    o.frames = 150;
    o.width = 400;
    o.height = 320;
    o.seed = 41;
    o.seeing.distortion = 0.8;
    o.seeing.patchiness = 0.35;
    const fs::path avi = dir / "capture.avi";
    capture::WriteCapture(avi, o);
    const capture::GroundTruth truth = capture::ReadGroundTruth(dir.path());

    const CliRun points = Cli({"stack", avi.string(), "-o", (dir / "points.tif").string(), "--ap-csv",
                               (dir / "points.csv").string(), "--json"});
    ASSERT_EQ(points.code, 0) << points.err;
    ASSERT_EQ(Cli({"stack", avi.string(), "-o", (dir / "global.tif").string(), "--ap", "off"}).code, 0);
    const double withPoints = capture::DiskPsnr(capture::ReadFloatImage(dir / "points.tif"), truth).psnr;
    const double global = capture::DiskPsnr(capture::ReadFloatImage(dir / "global.tif"), truth).psnr;
    std::printf("[ figures ] bending seeing: global stack %.2f dB, alignment points %.2f dB\n", global, withPoints);
    EXPECT_GE(withPoints, global + 1.0);

    // The summary names the points; the table has a row per measured frame and point, and
    // every point stacked as many frames as the global stack.
    const std::size_t at = points.out.find("\"alignment_points\": ");
    ASSERT_NE(at, std::string::npos) << points.out;
    const int count = std::stoi(points.out.substr(at + 20));
    const int stacked = std::stoi(points.out.substr(points.out.find("\"stacked\": ") + 11));
    EXPECT_GT(count, 20);
    const auto rows = ReadCsv(dir / "points.csv");
    std::map<std::pair<int, int>, int> used;
    std::set<int> frames;
    double sq = 0;
    int measured = 0;
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 8u);
        frames.insert(std::stoi(r[0]));
        used[{std::stoi(r[1]), std::stoi(r[2])}] += std::stoi(r[6]);
        if (r[7] == "0") {
            sq += std::stod(r[3]) * std::stod(r[3]) + std::stod(r[4]) * std::stod(r[4]);
            ++measured;
        }
    }
    EXPECT_EQ(int(used.size()), count);
    for (const auto& [point, n] : used) EXPECT_EQ(n, stacked);
    EXPECT_GE(int(frames.size()), o.frames / 2 - 1);
    // Local shifts of the order of the bending, not of the frame's jitter.
    EXPECT_LT(std::sqrt(sq / (2 * measured)), 2.0);
}

TEST(CliAlignmentPoints, OptionsAreCheckedAndDocumented) {
    testing::TempDir dir;
    const fs::path avi = testing::PlainCapture(dir / "c.avi", 6, 160, 120);
    const std::string out = (dir / "s.bmp").string();
    const struct {
        std::vector<std::string> extra;
        std::string says;
    } refused[] = {
        {{"--ap", "maybe"}, "--ap must be on or off"},
        {{"--ap-size", "4"}, "--ap-size needs a box side"},
        {{"--ap-keep", "0"}, "--ap-keep needs"},
        {{"--ap-keep", "120%"}, "--ap-keep needs"},
        {{"--ap-min-brightness", "-1"}, "--ap-min-brightness needs"},
        {{"--ap-search", "40"}, "--ap-search needs"},
        {{"--ap", "on", "--drizzle"}, "alignment points do not work with drizzle"},
        {{"--ap", "on", "--expand"}, "\"Expand image\""},
    };
    for (const auto& r : refused) {
        std::vector<std::string> args{"stack", avi.string(), "-o", out, "--force"};
        args.insert(args.end(), r.extra.begin(), r.extra.end());
        const CliRun run = Cli(args);
        EXPECT_NE(run.code, 0) << r.says;
        EXPECT_NE(run.said().find(r.says), std::string::npos) << run.said();
    }
    // Without --ap on, drizzle stacks globally and says so in its summary.
    const CliRun drizzled = Cli({"stack", avi.string(), "-o", out, "--drizzle"});
    EXPECT_EQ(drizzled.code, 0) << drizzled.err;
    EXPECT_NE(drizzled.out.find("(global stack)"), std::string::npos);
    for (const char* command : {"stack", "process"}) {
        const std::string help = Cli({command, "--help"}).out;
        for (const char* option : {"--ap on|off", "--ap-size", "--ap-keep", "--ap-min-brightness", "--ap-min-structure",
                                   "--ap-search", "--ap-csv"})
            EXPECT_NE(help.find(option), std::string::npos) << command << " " << option;
    }
}

TEST(CliAlignmentPoints, AGlobalStackOfALargeObjectAlignsOnALargerBox) {
    // A planet about 400 pixels across.
    testing::TempDir dir;
    const fs::path avi = testing::PlainCapture(dir / "c.avi", 6, 800, 700);
    const std::string out = (dir / "s.bmp").string();
    const struct {
        std::vector<std::string> extra;
        bool larger;
    } cases[] = {
        {{"--ap", "off"}, true},
        {{"--drizzle"}, true},  // a global stack whatever the points say
        {{}, false},            // the points follow the bending themselves
        {{"--ap", "off", "--box", "64"}, false},
        {{"--ap", "off", "--set", "FFTsizeGroup.ItemIndex=0"}, false},
        {{"--ap", "off", "--feature", "400,350"}, false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"stack", avi.string(), "-o", out, "--force"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliRun run = Cli(args);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.err.find("box: 128") != std::string::npos, c.larger) << run.err;
    }
}

}  // namespace
}  // namespace talvenor
