// The source folders form layers: each may include only itself and the layers below it,
// the core never includes Qt, and the two front-ends never include each other. This test
// reads every include of every source file, so a shortcut fails the build's tests at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kCoreLayers = {"workspace", "imagefiles", "input",   "registration", "stacking",
                                              "wavelets",  "final",      "project", "session"};

int CoreRank(const std::string& folder) {
    for (std::size_t i = 0; i < kCoreLayers.size(); ++i)
        if (kCoreLayers[i] == folder) return int(i);
    return -1;
}

// May a file in folder `from` include a header of folder `to`?
bool Allowed(const std::string& from, const std::string& to) {
    if (from == to) return true;
    const int f = CoreRank(from), t = CoreRank(to);
    if (f >= 0) return t >= 0 && t <= f;
    if (from == "ui" || from == "cli") return t >= 0;
    if (from == "app") return t >= 0 || to == "ui";
    return false;
}

struct Include {
    fs::path file;
    int line;
    std::string target;
};

std::vector<Include> IncludesUnder(const fs::path& root) {
    std::vector<Include> out;
    const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const auto ext = entry.path().extension();
        if (ext != ".h" && ext != ".cpp" && ext != ".in") continue;
        std::ifstream in(entry.path());
        std::string text;
        int n = 0;
        while (std::getline(in, text)) {
            ++n;
            std::smatch m;
            if (std::regex_search(text, m, include)) out.push_back({entry.path(), n, m[1]});
        }
    }
    return out;
}

TEST(LayerRules, EveryIncludeRespectsTheLayers) {
    const fs::path src = fs::path(TALVENOR_SOURCE_DIR) / "src";
    const auto includes = IncludesUnder(src);
    ASSERT_GT(includes.size(), 50u);
    std::vector<std::string> violations;
    for (const Include& inc : includes) {
        const std::string from = fs::relative(inc.file, src).begin()->string();
        const std::string where = fs::relative(inc.file, src).string() + ":" + std::to_string(inc.line) + " includes " + inc.target;
        const bool qt = inc.target.rfind("Q", 0) == 0 || inc.target.rfind("qt", 0) == 0;
        if (qt && CoreRank(from) >= 0) violations.push_back(where + " (the core never includes Qt)");
        const auto slash = inc.target.find('/');
        if (slash == std::string::npos) continue;
        const std::string to = inc.target.substr(0, slash);
        const bool ours = CoreRank(to) >= 0 || to == "ui" || to == "cli" || to == "app";
        if (ours && !Allowed(from, to)) violations.push_back(where);
    }
    EXPECT_TRUE(violations.empty()) << [&] {
        std::string all;
        for (const auto& v : violations) all += v + "\n";
        return all;
    }();
}

TEST(LayerRules, TheRuleItselfCatchesUpwardAndSidewaysIncludes) {
    EXPECT_TRUE(Allowed("stacking", "registration"));
    EXPECT_FALSE(Allowed("registration", "stacking"));
    EXPECT_FALSE(Allowed("workspace", "session"));
    EXPECT_FALSE(Allowed("ui", "cli"));
    EXPECT_FALSE(Allowed("cli", "ui"));
    EXPECT_FALSE(Allowed("session", "ui"));
    EXPECT_TRUE(Allowed("app", "ui"));
}

}  // namespace
