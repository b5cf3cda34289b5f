// A save killed at any moment (power cut, the program killed) leaves the old file or the new
// one under the target name, never a part of one; a save that cannot be done says which file
// and why and changes nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli_run.h"
#include "imagefiles/bmp_file.h"
#include "support/temp_dir.h"

extern char** environ;

namespace talvenor {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs talvenor-cli with `args`; kills it after `after` unless it ended first. Returns how long
// it ran.
Clock::duration RunCliKilledAfter(const std::vector<std::string>& args, Clock::duration after) {
    const std::string program = std::string(TALVENOR_BIN_DIR) + "/talvenor-cli";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto start = Clock::now();
    const int spawned = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return {};
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() - start >= after) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return Clock::now() - start;
}

TEST(KilledSave, TheTargetIsAlwaysTheOldFileOrTheNewOne) {
    testing::TempDir dir;
    const fs::path big = dir / "big.bmp", target = dir / "result.bmp";
    Bitmap24 picture(3000, 2000);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) picture.SetPixel(x, y, Bgr{uint8_t(x), uint8_t(y), uint8_t(x ^ y)});
    WriteBmp24(big, picture);
    Bitmap24 small(8, 8);
    small.Fill(Bgr{1, 2, 3});
    WriteBmp24(target, small);
    const std::string before = testing::FileBytes(target), after = testing::FileBytes(big);

    // How long an uninterrupted save takes, then kills spread over it.
    const std::vector<std::string> args = {"convert", big.string(), target.string(), "--force"};
    const Clock::duration whole = RunCliKilledAfter(args, std::chrono::seconds(60));
    ASSERT_EQ(testing::FileBytes(target), after);
    int old = 0, complete = 0;
    for (int round = 0; round < 16; ++round) {
        WriteBmp24(target, small);
        RunCliKilledAfter(args, whole * (round + 1) / 16);
        const std::string now = testing::FileBytes(target);
        ASSERT_TRUE(now == before || now == after) << "round " << round << ": " << now.size() << " bytes";
        (now == before ? old : complete) += 1;
    }
    EXPECT_GT(old, 0);  // some kills came before the new file was in place
    // What a kill leaves are temporary files beside the target, never the target's name.
    for (const auto& e : fs::directory_iterator(dir.path())) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "big.bmp" || name == "result.bmp" || name.ends_with(".tmp")) << name;
    }
}

TEST(KilledSave, ASaveThatCannotBeDoneNamesTheFileAndTheReasonAndChangesNothing) {
    testing::TempDir dir;
    Bitmap24 small(8, 8);
    small.Fill(Bgr{1, 2, 3});
    const fs::path source = dir / "a.bmp";
    WriteBmp24(source, small);
    const std::string before = testing::FileBytes(source);
    ASSERT_FALSE(before.empty());
    // A folder that is a file: the save cannot even begin.
    const fs::path blocked = source / "out.bmp";
    std::string said;
    EXPECT_EQ(testing::CliStatus({"convert", source.string(), blocked.string()}, &said), 1);
    EXPECT_NE(said.find(blocked.string() + ": cannot write ("), std::string::npos) << said;
    EXPECT_EQ(testing::FileBytes(source), before);  // the source is untouched, byte for byte
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);
}

}  // namespace
}  // namespace talvenor
