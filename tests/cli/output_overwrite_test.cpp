// No command writes over a file of its own run, however the file is spelled, and an existing
// output is replaced only when --force (-y) says so; both are settled before any work starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_run.h"
#include "support/temp_dir.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using testing::Cli;
using testing::FileBytes;

struct Files {
    testing::TempDir dir;
    fs::path avi, list;
    std::vector<std::string> stills;
    Files() {
        avi = testing::PlainCapture(dir / "capture.avi", 6, 128, 96);
        fs::create_directories(dir / "frames" / "sub");
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            std::ofstream(dir / "frames" / name, std::ios::binary) << "BM not read: refused before";
            stills.push_back((dir / "frames" / name).string());
        }
        list = dir / "frames.rfl";
        std::ofstream out(list, std::ios::binary);
        for (const std::string& s : stills) out << s << "\r\n";
        fs::create_symlink(stills[0], dir / "link.bmp");
        std::ofstream(dir / "dark.bmp", std::ios::binary) << "dark";
        std::ofstream(dir / "run.rsp", std::ios::binary) << "[Project]\r\n";
    }
    std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

TEST(CliOutputs, AnOutputThatIsAnInputIsRefusedBeforeAnyWork) {
    Files f;
    const std::string a = f.stills[0], b = f.stills[1], c = f.stills[2];
    const struct {
        std::vector<std::string> args;
        std::string guarded;  // the input that must keep its bytes
        std::string said;     // the option named in the refusal
    } cases[] = {
        {{"align", f.list.string(), "--shifts-csv", f.list.string()}, f.list.string(), "--shifts-csv"},
        {{"stack", a, b, c, "-o", f / "st.bmp", "--project", b}, b, "--project"},
        {{"stack", a, b, c, "-o", b}, b, "-o"},
        {{"stack", a, b, c, "-o", f / "link.bmp"}, a, "-o"},  // a link to an input
        {{"stack", f.list.string(), "-o", f / "frames/sub/../a.bmp"}, a, "-o"},   // a frame the list names
        {{"stack", f.avi.string(), "-o", f / "st.bmp", "--dark", f / "dark.bmp", "--ap-csv", f / "./dark.bmp"},
         f / "dark.bmp", "--ap-csv"},
        {{"process", f.avi.string(), "-o", f / "st.bmp", "--shifts-csv", f / "frames/../capture.avi"}, f.avi.string(),
         "--shifts-csv"},
        {{"convert", a, f / "frames/./a.bmp"}, a, "OUT"},
        {{"project", f / "run.rsp", "-o", f / "run.rsp", "--force"}, f / "run.rsp", "-o"},
        {{"stack", f.avi.string(), "-o", f / "st.bmp", "--shifts-csv", f / "st.bmp"}, "", "--shifts-csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.said);
        const std::string before = c.guarded.empty() ? "" : FileBytes(c.guarded);
        const auto r = Cli(c.args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.said + " "), std::string::npos) << r.err;
        EXPECT_TRUE(r.err.find("is one of the inputs") != std::string::npos ||
                    r.err.find("one file cannot hold both") != std::string::npos)
            << r.err;
        if (!c.guarded.empty()) {
            EXPECT_EQ(FileBytes(c.guarded), before);
        }
        EXPECT_FALSE(fs::exists(f / "st.bmp"));
        EXPECT_EQ(r.err.find("feature:"), std::string::npos);  // the frames were not even opened
    }
}

TEST(CliOutputs, AnExistingOutputIsReplacedOnlyWithForce) {
    Files f;
    const std::string stack = f / "st.bmp", csv = f / "shifts.csv", project = f / "old.rsp";
    const struct {
        std::string option;  // the one existing output
        std::string file;
        std::string question;
    } asked[] = {
        {"-o", stack, "Overwrite existing file ? -> No"},
        {"--shifts-csv", csv, "Overwrite existing file ? -> No"},
        {"--project", project, "Overwrite existing projectfile ? -> No"},
    };
    for (const auto& c : asked) {
        SCOPED_TRACE(c.option);
        std::ofstream(c.file, std::ios::binary) << "keep me";
        std::vector<std::string> args{"stack", f.avi.string(), "-o", stack};
        if (c.option != "-o") args.insert(args.end(), {c.option, c.file});
        const auto r = Cli(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.question), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.option + " " + c.file + " exists"), std::string::npos) << r.err;
        EXPECT_EQ(FileBytes(c.file), "keep me");
        EXPECT_EQ(r.err.find("feature:"), std::string::npos);
        fs::remove(c.file);
    }
    for (const char* force : {"--force", "-y"}) {
        SCOPED_TRACE(force);
        for (const std::string& file : {stack, csv, project}) std::ofstream(file, std::ios::binary) << "keep me";
        const auto r = Cli({"stack", f.avi.string(), "-o", stack, "--shifts-csv", csv, "--project", project, force});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find("Overwrite existing file ? -> Yes"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Overwrite existing projectfile ? -> Yes"), std::string::npos) << r.err;
        for (const std::string& file : {stack, csv, project}) EXPECT_NE(FileBytes(file), "keep me") << file;
    }
    // Not even --force replaces a read-only output, and that is said before any work.
    const std::string kept = FileBytes(csv);
    fs::permissions(csv, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const auto r = Cli({"stack", f.avi.string(), "-o", stack, "--shifts-csv", csv, "--force"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find(csv + " is read-only"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("feature:"), std::string::npos) << r.err;
    EXPECT_EQ(FileBytes(csv), kept);
}

// The result, the tables and the project of one run are one save: when the project cannot be
// written, the result and the table written before it keep their old bytes too.
TEST(CliOutputs, ARunsOutputsAreReplacedTogetherOrNotAtAll) {
    Files f;
    const std::string stack = f / "st.bmp", csv = f / "shifts.csv", project = f / "missing/run.rsp";
    for (const std::string& file : {stack, csv}) std::ofstream(file, std::ios::binary) << "keep me";
    const auto r = Cli({"stack", f.avi.string(), "-o", stack, "--shifts-csv", csv, "--project", project, "--force"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("run.rsp"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
    for (const std::string& file : {stack, csv}) EXPECT_EQ(FileBytes(file), "keep me") << file;
    for (const auto& entry : fs::directory_iterator(f.dir.path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

}  // namespace
}  // namespace talvenor
