#include "workspace/safe_file_set.h"

#include <unistd.h>

#include <cerrno>

#include "workspace/save_temporaries.h"

namespace talvenor {

namespace fs = std::filesystem;

SafeFileSet::~SafeFileSet() = default;  // each writer removes its own temporary

SafeFileWriter& SafeFileSet::Add(const fs::path& target, SafeWriteOptions options) {
    writers_.push_back(std::make_unique<SafeFileWriter>(target, options));
    return *writers_.back();
}

void SafeFileSet::Commit() {
    for (auto& w : writers_) w->Finish();

    // A second name for each old file, in its folder and named as our temporaries (so a save
    // killed from here on leaves nothing the next save does not clear), to put it back with.
    std::vector<Backup> backups(writers_.size());
    for (std::size_t i = 0; i < writers_.size(); ++i) {
        const fs::path& target = writers_[i]->Target();
        std::error_code ec;
        backups[i].Existed = fs::exists(fs::symlink_status(target, ec));
        if (!backups[i].Existed) continue;
        for (int attempt = 0; attempt < 16; ++attempt) {
            const fs::path link = target.parent_path() / NewTemporaryName();
            if (::link(target.c_str(), link.c_str()) == 0) {
                backups[i].Path = link;
                break;
            }
            if (errno != EEXIST) break;
        }
    }

    std::size_t done = 0;
    try {
        for (; done < writers_.size(); ++done) writers_[done]->Replace();
    } catch (...) {
        Restore(done, backups);
        throw;
    }
    for (const Backup& b : backups)
        if (!b.Path.empty()) ::unlink(b.Path.c_str());
}

void SafeFileSet::Restore(std::size_t count, const std::vector<Backup>& backups) {
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path& target = writers_[i]->Target();
        if (!backups[i].Path.empty()) ::rename(backups[i].Path.c_str(), target.c_str());
        else if (!backups[i].Existed) ::unlink(target.c_str());
    }
    for (std::size_t i = count; i < backups.size(); ++i)
        if (!backups[i].Path.empty()) ::unlink(backups[i].Path.c_str());
}

}  // namespace talvenor
