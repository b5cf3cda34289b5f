#pragma once
// Writes a file so that a crash, a full disk or a failed write never leaves a half-written
// file or destroys the old one: the data goes to a temporary file beside the target, is
// flushed to the device, and only then renamed over the target. Every writer of user files
// (settings, projects, frame lists, images) goes through this.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace talvenor {

class SafeFileWriter {
public:
    // Opens the temporary file; throws Error "<target>: cannot write (reason)" when it cannot
    // be created. A symbolic link as target is written through, not replaced.
    explicit SafeFileWriter(const std::filesystem::path& target, std::size_t bufferSize = 1 << 16);
    // Removes the temporary file unless Commit succeeded.
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    std::ofstream& Stream() { return out_; }
    void Write(const void* data, std::size_t size) { out_.write(static_cast<const char*>(data), std::streamsize(size)); }
    void Write(std::string_view text) { Write(text.data(), text.size()); }

    // Flushes, syncs and renames over the target (keeping the old file's permissions);
    // throws Error naming the target when any of it fails.
    void Commit();

private:
    [[noreturn]] void Fail(const std::string& reason);
    std::filesystem::path target_, temp_;
    std::vector<char> buffer_;
    std::ofstream out_;
    bool committed_ = false;
};

}  // namespace talvenor
