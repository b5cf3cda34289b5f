#include "capture/stream_file.h"

namespace talvenor::capture {

bool FinishStreamFile(std::FILE*& file) {
    const int flushed = std::fflush(file);
    const bool bad = std::ferror(file) != 0;
    const int closed = std::fclose(file);
    file = nullptr;
    return flushed == 0 && !bad && closed == 0;
}

void DiscardStreamFile(std::FILE*& file, const std::filesystem::path& path) {
    if (file) std::fclose(file);
    file = nullptr;
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) std::filesystem::remove(path, ec);
}

}  // namespace talvenor::capture
