#pragma once
// The end of a video the capture writers stream to disk: closed with every write checked, or
// given up and deleted, so a half-written file never passes for a capture.
#include <cstdio>
#include <filesystem>

namespace talvenor::capture {

// Flushes and closes `file` (set to null); false when a write or the close failed.
bool FinishStreamFile(std::FILE*& file);

// Closes `file` if open (set to null) and deletes `path`.
void DiscardStreamFile(std::FILE*& file, const std::filesystem::path& path);

}  // namespace talvenor::capture
