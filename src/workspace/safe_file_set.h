#pragma once
// A save of several files (the three channel files of a colour FITS save) is one save: every
// file is written to its temporary first, and only when all are complete are they renamed over
// their targets. A failure anywhere, even in a rename, leaves every old file as it was and no
// temporary behind.
#include <filesystem>
#include <memory>
#include <vector>

#include "workspace/safe_file_writer.h"

namespace talvenor {

class SafeFileSet {
public:
    SafeFileSet() = default;
    SafeFileSet(const SafeFileSet&) = delete;
    SafeFileSet& operator=(const SafeFileSet&) = delete;
    // Unless committed, removes every temporary; the targets are untouched.
    ~SafeFileSet();

    // Opens the temporary of one more file of the save (SafeFileWriter's errors); the caller
    // writes into it.
    SafeFileWriter& Add(const std::filesystem::path& target, SafeWriteOptions options = {});
    bool Empty() const { return writers_.empty(); }

    // Finishes every file, then renames them over their targets in the order added. When a
    // rename fails, the files already renamed are put back (the old ones from hard links taken
    // just before; ones that did not exist before are removed) and the Error is thrown. On a
    // file system without hard links, a file renamed before the failing one stays new.
    void Commit();

private:
    struct Backup {
        std::filesystem::path Path;  // empty when the target did not exist (or could not be linked)
        bool Existed = false;
    };
    void Restore(std::size_t count, const std::vector<Backup>& backups);
    std::vector<std::unique_ptr<SafeFileWriter>> writers_;
};

}  // namespace talvenor
