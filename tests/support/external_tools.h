#pragma once
// The other programs the tests cross-check against (ImageMagick, ffmpeg, libtiff's and libjpeg's
// tools, Python with astropy/PIL/numpy), found where the machine has them, and what it means when
// one is missing: a skip on a developer's machine, a failure where TALVENOR_REQUIRE_TOOLS=1 says
// the cross-checks must run (CI), so a lost package cannot turn the strongest tests into passes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unistd.h>

namespace talvenor::testing {

// Whether this run insists on every external tool (TALVENOR_REQUIRE_TOOLS=1).
inline bool ToolsRequired() {
    const char* value = std::getenv("TALVENOR_REQUIRE_TOOLS");
    return value != nullptr && std::string_view(value) == "1";
}

// The executable `name` as the shell would find it on PATH (a name with a '/' is taken as a
// path); empty when there is none.
inline std::string FindTool(const std::string& name) {
    namespace fs = std::filesystem;
    const auto runnable = [](const fs::path& p) {
        std::error_code ec;
        return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos) return runnable(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = dirs.find(':');
        const std::string dir(dirs.substr(0, colon));
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
        if (runnable(candidate)) return candidate.string();
        if (colon == std::string_view::npos) return {};
        dirs.remove_prefix(colon + 1);
    }
}

// A Python interpreter that imports every module given: the system one first (the one the
// fixture scripts are written for), then python3 on PATH; empty when neither does.
inline std::string FindPython(std::initializer_list<const char*> modules = {}) {
    std::string imports;
    for (const char* m : modules) imports += std::string(imports.empty() ? "import " : ", ") + m;
    for (const std::string& candidate : {FindTool("/usr/bin/python3"), FindTool("python3")}) {
        if (candidate.empty()) continue;
        const std::string probe = "'" + candidate + "' -c '" + imports + "' >/dev/null 2>&1";
        if (imports.empty() || std::system(probe.c_str()) == 0) return candidate;
    }
    return {};
}

// For one case of a table whose tool is missing: a failure when tools are required, otherwise
// a note naming the case; the caller goes on with the next case either way.
inline void ReportMissingToolForCase(const std::string& what) {
    if (ToolsRequired())
        ADD_FAILURE() << what << " not found, and TALVENOR_REQUIRE_TOOLS=1 requires it";
    else
        std::cout << "[  SKIPPED ] one case: " << what << " not found\n";
}

}  // namespace talvenor::testing

// Ends the test when `found` is false: skipped normally, failed under TALVENOR_REQUIRE_TOOLS=1.
#define TALVENOR_REQUIRE_TOOL(found, what)                                                         \
    do {                                                                                           \
        if (!(found)) {                                                                            \
            if (::talvenor::testing::ToolsRequired())                                              \
                GTEST_FAIL() << (what) << " not found, and TALVENOR_REQUIRE_TOOLS=1 requires it";  \
            else                                                                                   \
                GTEST_SKIP() << (what) << " not found";                                            \
        }                                                                                          \
    } while (0)
