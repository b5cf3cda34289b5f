#pragma once
// The temporary files a save writes before renaming them over their targets: how they are
// named, and how the ones a killed save left behind are cleared away.
#include <chrono>
#include <filesystem>
#include <string>

namespace talvenor {

// A fresh temporary name: ".tv" + 8 random hex digits + ".tmp", 15 bytes whatever the target is
// called, so a target name of up to 255 bytes still has a temporary that the folder accepts.
std::string NewTemporaryName();

// Whether `name` has exactly the shape NewTemporaryName gives; nothing else is ever removed.
bool IsSaveTemporaryName(const std::string& name);

// Removes the regular files in `folder` named as our temporaries and last written longer than
// `age` ago: what saves killed mid-write left. A save still running writes its temporary
// continuously, so a minute-old one is no longer anybody's. Errors are ignored (a file that
// cannot be removed is tried again by the next save). Returns how many were removed.
int RemoveStaleTemporaries(const std::filesystem::path& folder,
                           std::chrono::seconds age = std::chrono::seconds(60));

}  // namespace talvenor
