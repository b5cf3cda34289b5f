#pragma once
// Whole-file input and output shared by every reader and writer of user files.
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace talvenor {

// The whole file in one read. Error "<file>: cannot open (...)" / "<file>: cannot read (...)".
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& file);
// The same into a buffer the caller keeps from frame to frame (its capacity is reused).
void ReadFileBytes(const std::filesystem::path& file, std::vector<uint8_t>& bytes);
class SafeFileSet;

// Writes through SafeFileWriter: the old file stays intact unless the new one is complete.
// With a `set`, the file joins it and is replaced only when the set is committed.
void WriteFileReplacing(const std::filesystem::path& file, std::span<const uint8_t> bytes,
                        SafeFileSet* set = nullptr);

}  // namespace talvenor
