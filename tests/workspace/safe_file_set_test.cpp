// The channel files of one save are replaced together or not at all.
#include "workspace/safe_file_set.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/temp_dir.h"
#include "workspace/error.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
int FileCount(const fs::path& dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

TEST(SafeFileSet, ASaveOfThreeFilesReplacesAllOrNone) {
    const char* names[3] = {"x_R.fit", "x_G.fit", "x_B.fit"};
    const struct {
        const char* what;
        bool greenExisted;   // the green file is new with this save
        bool fullOnBlue;     // the disk fills while the blue file is written
        bool blueInTheWay;   // a folder takes the blue file's name before the renames
        bool saved;
    } cases[] = {
        {"all written", true, false, false, true},
        {"a new file among old ones", false, false, false, true},
        {"disk full on the third", true, true, false, false},
        {"third rename fails", true, false, true, false},
        {"third rename fails, second file was new", false, false, true, false},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        for (int i = 0; i < 3; ++i)
            if (i != 1 || c.greenExisted) std::ofstream(dir / names[i]) << "old " << i;
        std::string said;
        try {
            SafeFileSet set;
            for (int i = 0; i < 3; ++i) {
                SafeWriteOptions options;
                if (i == 2 && c.fullOnBlue) options.ByteBudget = 3;
                set.Add(dir / names[i], options).Write("new " + std::to_string(i));
            }
            if (c.blueInTheWay) {
                fs::remove(dir / names[2]);
                fs::create_directory(dir / names[2]);
                std::ofstream(dir / names[2] / "inside") << "keep";
            }
            set.Commit();
        } catch (const Error& e) {
            said = e.what();
        }
        EXPECT_EQ(said.empty(), c.saved) << c.what << ": " << said;
        if (!said.empty()) EXPECT_EQ(said.rfind((dir / names[2]).string() + ": cannot write (", 0), 0u) << said;
        for (int i = 0; i < 2; ++i) {
            const std::string before = i == 1 && !c.greenExisted ? "" : "old " + std::to_string(i);
            EXPECT_EQ(fs::exists(dir / names[i]), c.saved || !before.empty()) << c.what << " " << names[i];
            EXPECT_EQ(Contents(dir / names[i]), c.saved ? "new " + std::to_string(i) : before) << c.what << " " << names[i];
        }
        // Nothing else in the folder: no temporaries, no second names of the old files.
        EXPECT_EQ(FileCount(dir.path()), c.saved || c.greenExisted ? 3 : 2) << c.what;
    }
}

}  // namespace
}  // namespace talvenor
