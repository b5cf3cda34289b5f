#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "cli/cli_app.h"
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
}

TEST(Cli, InfoReportsEveryFileAndFailsWhenAnyFails) {
    testing::TempDir dir;
    std::ofstream(dir / "frame.bmp", std::ios::binary) << std::string("BM") + std::string(60, '\0');
    std::ofstream(dir / "notes.txt") << "clear skies\n";
    std::ofstream(dir / "capture.dat", std::ios::binary) << std::string("RIFF\x10\0\0\0AVI LIST", 16);

    CliRun ok = Cli({"info", (dir / "frame.bmp").string(), (dir / "capture.dat").string()});
    EXPECT_EQ(ok.code, 0) << ok.err;
    EXPECT_NE(ok.out.find("format: BMP"), std::string::npos);
    EXPECT_NE(ok.out.find("format: AVI"), std::string::npos);  // recognised by content, not by name

    CliRun mixed = Cli({"info", (dir / "missing.avi").string(), (dir / "notes.txt").string(), (dir / "frame.bmp").string()});
    EXPECT_EQ(mixed.code, 1);
    EXPECT_NE(mixed.err.find("missing.avi"), std::string::npos);
    EXPECT_NE(mixed.err.find("notes.txt: not a BMP, JPEG, FITS, TIFF or AVI file"), std::string::npos);
    EXPECT_NE(mixed.out.find("frame.bmp"), std::string::npos);
    EXPECT_EQ(Cli({"info", dir.path().string()}).code, 1);
    EXPECT_EQ(Cli({"info"}).code, 2);
}

TEST(Cli, TheInstalledProgramRunsAndExitsWithTheCommandsStatus) {
    const std::string cli = std::string(TALVENOR_BIN_DIR) + "/talvenor-cli";
    EXPECT_EQ(std::system((cli + " --help > /dev/null").c_str()), 0);
    EXPECT_NE(std::system((cli + " info /nonexistent/file.avi 2> /dev/null").c_str()), 0);
}

}  // namespace
}  // namespace talvenor
