#pragma once
// Where the program keeps its files: the settings file beside the program when that
// directory is writable, otherwise in the per-user configuration directory, which also
// holds the per-user store.
#include <filesystem>

namespace talvenor {

// $XDG_CONFIG_HOME/talvenor, else ~/.config/talvenor (not created here).
std::filesystem::path DefaultUserConfigDir();

// True when files can be created in `dir`.
bool DirectoryWritable(const std::filesystem::path& dir);

// appDir/talvenor.ini when appDir is writable, else userConfigDir/talvenor.ini.
std::filesystem::path SettingsFilePath(const std::filesystem::path& appDir, const std::filesystem::path& userConfigDir);

}  // namespace talvenor
