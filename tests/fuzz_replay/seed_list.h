#pragma once
// fuzz/seeds.txt, the one list of which committed files each reader's fuzzer starts from:
// `make fuzz` copies them into its corpus and the replay test runs them through the harnesses.
#include <glob.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvenor::testing {

struct SeedLine {
    std::string reader;
    std::vector<std::string> globs;  // relative to the repository root
};

inline std::vector<SeedLine> ReadSeedList(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error(file.string() + ": cannot be read");
    std::vector<SeedLine> lines;
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream words(text);
        SeedLine line;
        if (!(words >> line.reader) || line.reader.starts_with('#')) continue;
        for (std::string glob; words >> glob;) line.globs.push_back(glob);
        lines.push_back(std::move(line));
    }
    return lines;
}

// The files one glob names under `root`, in name order; none when it matches nothing.
inline std::vector<std::filesystem::path> Expand(const std::filesystem::path& root, const std::string& pattern) {
    const std::string full = (root / pattern).string();
    glob_t found{};
    std::vector<std::filesystem::path> files;
    if (::glob(full.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i) {
            if (std::filesystem::is_regular_file(found.gl_pathv[i])) files.emplace_back(found.gl_pathv[i]);
        }
    }
    ::globfree(&found);
    return files;
}

}  // namespace talvenor::testing
