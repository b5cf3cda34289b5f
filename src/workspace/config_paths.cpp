#include "workspace/config_paths.h"

#include <unistd.h>

#include <cstdlib>

namespace talvenor {

std::filesystem::path DefaultUserConfigDir() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::filesystem::path(xdg) / "talvenor";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".config" / "talvenor";
    return std::filesystem::temp_directory_path() / "talvenor";
}

bool DirectoryWritable(const std::filesystem::path& dir) {
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::filesystem::path SettingsFilePath(const std::filesystem::path& appDir, const std::filesystem::path& userConfigDir) {
    if (DirectoryWritable(appDir)) return appDir / "talvenor.ini";
    return userConfigDir / "talvenor.ini";
}

}  // namespace talvenor
