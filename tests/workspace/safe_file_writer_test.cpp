// Saves replace a file completely or not at all, follow links to the file they name, keep the
// file's protection and permissions, say the system's reason when they fail, and clear what
// killed saves left.
#include "workspace/safe_file_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "support/temp_dir.h"
#include "workspace/error.h"
#include "workspace/save_temporaries.h"

namespace talvenor {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void Put(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}
void Save(const fs::path& target, const std::string& text, SafeWriteOptions options = {}) {
    SafeFileWriter out(target, options);
    out.Write(text);
    out.Commit();
}

TEST(SafeFileWriter, ReplacesTheFileALinkNamesAndKeepsItsPermissions) {
    const struct {
        const char* what;
        std::string name;      // what the user saves to
        std::string link;      // where `name` points; empty: a plain file
        bool existed;          // the file written existed before
        fs::perms mode;        // its permissions before, and after
    } cases[] = {
        {"new file", "a.bmp", "", false, fs::perms::none},
        {"0640 file", "b.bmp", "", true, fs::perms(0640)},
        {"link to a file", "c.bmp", "real/c.bmp", true, fs::perms(0600)},
        {"dangling link", "d.bmp", "real/d.bmp", false, fs::perms::none},
        {"250-byte name", std::string(246, 'n') + ".bmp", "", true, fs::perms(0644)},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        fs::create_directory(dir / "real");
        const fs::path written = c.link.empty() ? dir / c.name : dir / c.link;
        if (!c.link.empty()) fs::create_symlink(c.link, dir / c.name);
        if (c.existed) {
            Put(written, "old");
            fs::permissions(written, c.mode);
        }
        Save(dir / c.name, "new contents");
        EXPECT_EQ(Contents(written), "new contents") << c.what;
        EXPECT_EQ(fs::is_symlink(dir / c.name), !c.link.empty()) << c.what;
        if (c.existed) EXPECT_EQ(fs::status(written).permissions(), c.mode) << c.what;
        const std::set<std::string> expected = {c.name, "real"};
        EXPECT_EQ(Names(dir.path()), expected) << c.what;
        EXPECT_EQ(Names(dir / "real").size(), c.link.empty() ? 0u : 1u) << c.what;
    }
}

TEST(SafeFileWriter, AFailedSaveSaysWhyAndLeavesTheOldFileAndNoTemporary) {
    const struct {
        const char* what;
        fs::perms mode;
        SafeWriteOptions options;
        std::string said;  // after the file name
        bool replaced;
    } cases[] = {
        {"read-only", fs::perms(0444), {}, " is read-only", false},
        {"read-only, the user agreed", fs::perms(0444), {.ReplaceReadOnly = true}, "", true},
        {"disk full after 5 bytes", fs::perms(0644), {.ByteBudget = 5}, ": cannot write (No space left on device)", false},
        {"disk full at once", fs::perms(0644), {.ByteBudget = 0}, ": cannot write (No space left on device)", false},
        // A scratch file that need not reach the device is still written whole or not at all.
        {"not pushed to the device", fs::perms(0644), {.Durable = false}, "", true},
        {"not pushed, disk full", fs::perms(0644), {.ByteBudget = 5, .Durable = false},
         ": cannot write (No space left on device)", false},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const fs::path target = dir / "x.fit";
        Put(target, "old");
        fs::permissions(target, c.mode);
        std::string said;
        try {
            SafeFileWriter out(target, 4, c.options);  // a tiny buffer: the failure comes mid-write
            out.Write(std::string(100, 'n'));
            out.Commit();
        } catch (const Error& e) {
            said = e.what();
        }
        EXPECT_EQ(said, c.said.empty() ? "" : target.string() + c.said) << c.what;
        EXPECT_EQ(Contents(target), c.replaced ? std::string(100, 'n') : "old") << c.what;
        EXPECT_EQ(fs::status(target).permissions(), c.mode) << c.what;
        EXPECT_EQ(Names(dir.path()), std::set<std::string>{"x.fit"}) << c.what;
    }
}

TEST(SafeFileWriter, AFolderInTheWayIsNamedWithTheReason) {
    testing::TempDir dir;
    fs::create_directory(dir / "x.bmp");
    EXPECT_THROW(
        {
            try {
                Save(dir / "x.bmp", "new");
            } catch (const Error& e) {
                EXPECT_STREQ(e.what(), ((dir / "x.bmp").string() + ": cannot write (it is a directory)").c_str());
                throw;
            }
        },
        Error);
}

TEST(SafeFileWriter, TheNextSaveClearsOnlyStaleTemporariesOfItsOwnNaming) {
    testing::TempDir dir;
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(2);
    const struct {
        std::string name;
        bool stale;
        bool removed;
    } files[] = {
        {".tv0123abcd.tmp", true, true},
        {".tv89abcdef.tmp", false, false},          // a save still running
        {".tvzzzzzzzz.tmp", true, false},           // not hex
        {".tv0123abcd0.tmp", true, false},          // one digit too many
        {"notes.0123456789abcdef.tmp", true, false},
        {"result.bmp", true, false},
    };
    for (const auto& f : files) {
        Put(dir / f.name, "x");
        if (f.stale) fs::last_write_time(dir / f.name, old);
    }
    Save(dir / "result.bmp", "new");
    for (const auto& f : files) EXPECT_EQ(fs::exists(dir / f.name), !f.removed) << f.name;
    EXPECT_EQ(NewTemporaryName().size(), 15u);
    EXPECT_TRUE(IsSaveTemporaryName(NewTemporaryName()));
}

}  // namespace
}  // namespace talvenor
