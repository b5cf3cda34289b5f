#include "workspace/save_temporaries.h"

#include <cstdio>
#include <random>

namespace talvenor {

namespace fs = std::filesystem;

namespace {
constexpr std::string_view kPrefix = ".tv", kSuffix = ".tmp";
constexpr std::size_t kDigits = 8;
}  // namespace

std::string NewTemporaryName() {
    std::random_device rd;  // another process saving into the same folder picks another name
    char text[16];
    std::snprintf(text, sizeof text, ".tv%08x.tmp", unsigned(rd()));
    return text;
}

bool IsSaveTemporaryName(const std::string& name) {
    if (name.size() != kPrefix.size() + kDigits + kSuffix.size()) return false;
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
    for (std::size_t i = kPrefix.size(); i < kPrefix.size() + kDigits; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

int RemoveStaleTemporaries(const fs::path& folder, std::chrono::seconds age) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    if (ec) return 0;
    const fs::file_time_type now = fs::file_time_type::clock::now();
    int removed = 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (!IsSaveTemporaryName(it->path().filename().string())) continue;
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc) || it->is_symlink(fileEc)) continue;
        const fs::file_time_type written = it->last_write_time(fileEc);
        if (fileEc || now - written < age) continue;
        if (fs::remove(it->path(), fileEc)) ++removed;
    }
    return removed;
}

}  // namespace talvenor
