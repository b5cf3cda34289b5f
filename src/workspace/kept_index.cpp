#include "workspace/kept_index.h"

namespace talvenor {

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& file) {
    std::error_code ec;
    FileIdentity id;
    id.Path = std::filesystem::absolute(file, ec).lexically_normal();
    if (ec) return std::nullopt;
    id.Size = std::filesystem::file_size(file, ec);
    if (ec) return std::nullopt;
    id.Modified = std::filesystem::last_write_time(file, ec);
    if (ec) return std::nullopt;
    return id;
}

}  // namespace talvenor
