// Every committed input of every reader's fuzzer, run through that fuzzer's own harness in the
// ordinary test suites: a finding fixed once stays fixed, and under `make test-sanitize` a bad
// access, a leak or undefined behaviour on any of them fails here without clang or libFuzzer.
// The harnesses are compiled into this program with their entry renamed to FuzzEntry_<reader>.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "seed_list.h"

#define TALVENOR_FUZZ_ENTRIES(X) \
    X(bmp) X(jpeg) X(fits) X(tiff) X(png) X(avi) X(ser) X(ini) X(frame_list) X(project) X(filter_file) X(recipe)

#define TALVENOR_DECLARE_ENTRY(reader) extern "C" int FuzzEntry_##reader(const uint8_t* data, std::size_t size);
TALVENOR_FUZZ_ENTRIES(TALVENOR_DECLARE_ENTRY)

namespace talvenor::testing {
namespace {

namespace fs = std::filesystem;

struct Harness {
    std::string reader;
    int (*entry)(const uint8_t*, std::size_t);
};

#define TALVENOR_ENTRY_ROW(reader) Harness{#reader, &FuzzEntry_##reader},
const std::vector<Harness> kHarnesses = {TALVENOR_FUZZ_ENTRIES(TALVENOR_ENTRY_ROW)};

const fs::path kRoot = TALVENOR_SOURCE_DIR;

// Exactly the file's size, as libFuzzer allocates an input: a read one byte past the end must
// leave the allocation for AddressSanitizer to see it, not land in a grown vector's spare room.
std::vector<uint8_t> Bytes(const fs::path& file) {
    std::vector<uint8_t> bytes(fs::file_size(file));
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_EQ(in.gcount(), std::streamsize(bytes.size())) << file << " could not be read";
    return bytes;
}

// The seed list, this program and fuzz/ agree on the readers, so a new harness or a new line
// in the list cannot go without its replay.
TEST(FuzzReplay, EveryHarnessHasItsSeedsAndItsEntry) {
    std::set<std::string> harnessFiles;
    for (const fs::directory_entry& e : fs::directory_iterator(kRoot / "fuzz")) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("fuzz_") && e.path().extension() == ".cpp") {
            harnessFiles.insert(name.substr(5, name.size() - 9));
        }
    }
    std::set<std::string> listed, entries;
    for (const SeedLine& line : ReadSeedList(kRoot / "fuzz/seeds.txt")) {
        EXPECT_TRUE(listed.insert(line.reader).second) << line.reader << " is listed twice";
    }
    for (const Harness& h : kHarnesses) entries.insert(h.reader);
    EXPECT_EQ(listed, harnessFiles);
    EXPECT_EQ(entries, harnessFiles);
}

// Every committed fuzzing input and damaged file starts some reader's fuzzer (and so is replayed).
TEST(FuzzReplay, EveryCommittedInputIsSomeReadersSeed) {
    std::set<fs::path> seeded;
    for (const SeedLine& line : ReadSeedList(kRoot / "fuzz/seeds.txt")) {
        for (const std::string& glob : line.globs) {
            for (const fs::path& file : Expand(kRoot, glob)) seeded.insert(file);
        }
    }
    for (const fs::path& folder : {kRoot / "fuzz/seeds", kRoot / "tests/data/corrupt"}) {
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder)) {
            if (!e.is_regular_file()) continue;
            EXPECT_TRUE(seeded.contains(e.path())) << e.path() << " seeds no reader";
        }
    }
}

class FuzzReplayReader : public ::testing::TestWithParam<Harness> {};

// A harness returns 0 for every input; a reader's fault aborts it (an unnamed refusal, another
// exception) or, in the sanitized suite, the sanitizer stops the program at the bad access.
TEST_P(FuzzReplayReader, RunsEveryCommittedInput) {
    const Harness& h = GetParam();
    const auto start = std::chrono::steady_clock::now();
    int ran = 0;
    bool listed = false;
    for (const SeedLine& line : ReadSeedList(kRoot / "fuzz/seeds.txt")) {
        if (line.reader != h.reader) continue;
        listed = true;
        for (const std::string& glob : line.globs) {
            const std::vector<fs::path> files = Expand(kRoot, glob);
            EXPECT_FALSE(files.empty()) << glob << " in fuzz/seeds.txt matches no file";
            for (const fs::path& file : files) {
                const std::vector<uint8_t> bytes = Bytes(file);
                EXPECT_EQ(h.entry(bytes.data(), bytes.size()), 0) << file;
                ++ran;
            }
        }
    }
    ASSERT_TRUE(listed) << h.reader << " has no line in fuzz/seeds.txt";
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ replayed ] %-12s %4d inputs in %.2f s\n", h.reader.c_str(), ran, seconds);
    RecordProperty("inputs", ran);
}

INSTANTIATE_TEST_SUITE_P(Readers, FuzzReplayReader, ::testing::ValuesIn(kHarnesses),
                         [](const ::testing::TestParamInfo<Harness>& info) { return info.param.reader; });

}  // namespace
}  // namespace talvenor::testing
