#pragma once
// The parsed index of the capture being worked on, kept while it stays the input, so that a
// preview move or a single-frame read opens the file without parsing its index again.
//
// It is keyed by the file's path, size and modification time: a file written to since, or
// another file, no longer matches and is parsed afresh. The readers that make indexes sit
// above the workspace, so the slot holds the index as a shared object of a type it does not
// know, and hands it back only to a caller asking for that same type.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <typeinfo>
#include <utility>

namespace talvenor {

struct FileIdentity {
    std::filesystem::path Path;
    uintmax_t Size = 0;
    std::filesystem::file_time_type Modified{};
    bool operator==(const FileIdentity&) const = default;
};

// The file as it is on disk now; none when it cannot be looked at.
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& file);

class KeptIndex {
public:
    // The index kept for exactly this file, as a T; null when there is none.
    template <class T>
    std::shared_ptr<const T> Find(const FileIdentity& file) const {
        if (!index_ || *type_ != typeid(T) || !(file_ == file)) return nullptr;
        return std::static_pointer_cast<const T>(index_);
    }
    // Keeps `index` for `file`, in place of whatever was kept.
    template <class T>
    void Keep(const FileIdentity& file, std::shared_ptr<const T> index) {
        file_ = file;
        type_ = &typeid(T);
        index_ = std::move(index);
    }
    void Drop() {
        index_.reset();
        type_ = nullptr;
        file_ = {};
    }
    bool Empty() const { return !index_; }

private:
    FileIdentity file_;
    const std::type_info* type_ = nullptr;
    std::shared_ptr<const void> index_;
};

}  // namespace talvenor
