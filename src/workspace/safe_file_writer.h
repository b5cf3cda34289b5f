#pragma once
// Writes a file so that a crash, a full disk or a failed write never leaves a half-written
// file or destroys the old one: the data goes to a temporary file beside the target, is
// flushed to the device, and only then renamed over the target. Every writer of user files
// (settings, projects, frame lists, images) goes through this; a save of several files at
// once goes through SafeFileSet (safe_file_set.h).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace talvenor {

struct SafeWriteOptions {
    // The user agreed to replace a read-only target; the new file is read-only again.
    bool ReplaceReadOnly = false;
    // Writing more bytes than this fails as a full disk does ("No space left on device"), so
    // the failure paths of a save can be run without filling a disk.
    std::uint64_t ByteBudget = std::numeric_limits<std::uint64_t>::max();
    // False: the file is not pushed to the device before the rename, nor the folder's entry
    // after it, for a file in a folder that goes when the process ends (the command line's
    // settings). The rename still never shows a half-written file.
    bool Durable = true;
};

class SafeFileWriter {
public:
    // Clears the stale temporaries of killed saves from the target's folder and opens a new
    // temporary there. A symbolic link is followed to the file it names (existing or not),
    // which is the one replaced. Throws Error "<target> is read-only" for a protected target
    // unless options.ReplaceReadOnly, "<target>: cannot write (reason)" when the temporary
    // cannot be created or the target is a folder.
    explicit SafeFileWriter(const std::filesystem::path& target, std::size_t bufferSize = 1 << 16,
                            SafeWriteOptions options = {});
    SafeFileWriter(const std::filesystem::path& target, SafeWriteOptions options)
        : SafeFileWriter(target, std::size_t(1) << 16, options) {}
    // Removes the temporary file unless it replaced the target.
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    std::ostream& Stream() { return out_; }
    void Write(const void* data, std::size_t size);
    void Write(std::string_view text) { Write(text.data(), text.size()); }

    // Finish() then Replace().
    void Commit();
    // Writes out what is buffered, gives the temporary the old file's permissions and owner, and
    // pushes it to the device; throws Error "<target>: cannot write (system's reason)" when any
    // write failed.
    void Finish();
    // Renames the finished temporary over the target; throws Error naming it on failure.
    void Replace();

    // The file that is replaced: the target with its symbolic links followed.
    const std::filesystem::path& Target() const { return target_; }
    const std::filesystem::path& TemporaryPath() const { return temp_; }

private:
    class FileBuffer;
    [[noreturn]] void Fail(const std::string& reason) const;
    [[noreturn]] void Fail(int error) const;
    std::filesystem::path shown_, target_, temp_;
    std::unique_ptr<FileBuffer> buffer_;
    std::ostream out_;
    bool replaced_ = false;
    bool durable_ = true;
};

}  // namespace talvenor
