// The commands' --json summaries are JSON whatever the paths hold, and the one-line summaries
// carry a long path whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;

// True when Python's JSON reader takes `text`.
bool ParsesAsJson(const fs::path& scratch, const std::string& text) {
    std::ofstream(scratch, std::ios::binary) << text;
    const std::string command =
        "/usr/bin/python3 -c 'import json,sys; json.load(sys.stdin)' < '" + scratch.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(CliJson, PathsWithQuotesBackslashesAndGreatLengthStayJson) {
    testing::TempDir dir;
    const fs::path avi = testing::PlainCapture(dir / "capture.avi", 8, 96, 80);
    fs::path deep = dir / std::string(120, 'a') / std::string(120, 'b');
    fs::create_directories(deep);
    const std::string outputs[] = {(dir / "say \"hi\" \\ there.bmp").string(), (deep / (std::string(60, 'c') + ".bmp")).string()};
    ASSERT_GT(outputs[1].size(), 300u);
    for (const char* command : {"stack", "process"})
        for (const std::string& out : outputs) {
            const auto json = Cli({command, avi.string(), "-o", out, "--json", "--force"});
            ASSERT_EQ(json.code, 0) << command << ": " << json.err;
            EXPECT_TRUE(ParsesAsJson(dir / "summary.json", json.out)) << json.out;
            const auto plain = Cli({command, avi.string(), "-o", out, "--force"});
            EXPECT_NE(plain.out.find(out), std::string::npos) << plain.out;
        }
}

// Where the time went, per stage: wall and CPU seconds and the bytes read. The alignment pass
// reads every frame, here every row of them (frames hardly taller than the boxes), so at least
// the capture's size; the stages add up to no more than the total.
TEST(CliJson, StagesReportWallAndCpuTimeAndTheBytesRead) {
    testing::TempDir dir;
    const fs::path avi = testing::PlainCapture(dir / "capture.avi", 8, 96, 80);
    const std::string check =
        "import json,sys; d=json.load(sys.stdin); s=d['seconds']; c=d['cpu_seconds']; b=d['bytes_read']; "
        "assert set(s) == set(c) == set(b) and 'total' in s and 'align' in s, d; "
        "assert b['align'] >= " + std::to_string(fs::file_size(avi)) + ", b; "
        "assert sum(v for k, v in b.items() if k != 'total') <= b['total'], b; "
        "assert c['total'] > 0 and all(v >= 0 for v in c.values()), c";
    for (const char* command : {"stack", "process"}) {
        const auto json = Cli({command, avi.string(), "-o", (dir / "out.bmp").string(), "--json", "--force"});
        ASSERT_EQ(json.code, 0) << command << ": " << json.err;
        std::ofstream(dir / "summary.json", std::ios::binary) << json.out;
        const std::string run = "/usr/bin/python3 -c \"" + check + "\" < '" + (dir / "summary.json").string() + "'";
        EXPECT_EQ(std::system(run.c_str()), 0) << command << ": " << json.out;
    }
}

// The alignment pass reads only the rows around its boxes of a frame much taller than they are:
// each frame more of a 640 x 480 24-bit capture adds less than half its bytes to what it reads.
TEST(CliJson, TheAlignmentPassReadsTheRowsAroundItsBoxes) {
    testing::TempDir dir;
    std::string summaries;
    for (const int frames : {8, 40}) {
        const fs::path avi = testing::PlainCapture(dir / ("capture" + std::to_string(frames) + ".avi"), frames, 640, 480);
        const auto json = Cli({"stack", avi.string(), "-o", (dir / "out.tif").string(), "--json", "--force", "--ap", "off"});
        ASSERT_EQ(json.code, 0) << json.err;
        const fs::path summary = dir / ("summary" + std::to_string(frames) + ".json");
        std::ofstream(summary, std::ios::binary) << json.out;
        summaries += " '" + summary.string() + "'";
    }
    const std::string check =
        "import json,sys; a=[json.load(open(f))['bytes_read']['align'] for f in sys.argv[1:]]; "
        "assert 0 < (a[1] - a[0]) / 32 < 640 * 480 * 3 / 2, a";
    const std::string run = "/usr/bin/python3 -c \"" + check + "\"" + summaries;
    EXPECT_EQ(std::system(run.c_str()), 0);
}

}  // namespace
}  // namespace talvenor
