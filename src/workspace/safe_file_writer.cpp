#include "workspace/safe_file_writer.h"

#include <cerrno>
#include <cstring>
#include <random>

#include "workspace/error.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace talvenor {

namespace fs = std::filesystem;

namespace {

// A name no other writer of the same file picks, even in another process.
std::string TempSuffix() {
    std::random_device rd;
    char text[32];
    std::snprintf(text, sizeof text, ".%08x%08x.tmp", unsigned(rd()), unsigned(rd()));
    return text;
}

// Pushes the data to the device before the rename makes it the real file, so a power cut
// cannot leave an empty file in its place. Returns an errno value, 0 when fine.
int SyncToDisk(const fs::path& path) {
#if defined(__unix__) || defined(__APPLE__)
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return errno;
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot sync at all; that is no reason to refuse the write.
    return (err == EINVAL || err == EROFS || err == ENOTSUP) ? 0 : err;
#else
    (void)path;
    return 0;
#endif
}

}  // namespace

SafeFileWriter::SafeFileWriter(const fs::path& target, std::size_t bufferSize) : target_(target), buffer_(bufferSize) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target_, ec))) {
        fs::path resolved = fs::canonical(target_, ec);
        if (!ec) target_ = resolved;
    }
    temp_ = target_.parent_path() / (target_.filename().string() + TempSuffix());
    out_.rdbuf()->pubsetbuf(buffer_.data(), std::streamsize(buffer_.size()));
    errno = 0;
    out_.open(temp_, std::ios::binary | std::ios::trunc);
    if (!out_) Fail(errno ? std::strerror(errno) : "cannot create file");
}

SafeFileWriter::~SafeFileWriter() {
    if (committed_) return;
    if (out_.is_open()) out_.close();
    std::error_code ec;
    fs::remove(temp_, ec);
}

void SafeFileWriter::Fail(const std::string& reason) {
    throw Error(target_.string() + ": cannot write (" + reason + ")");
}

void SafeFileWriter::Commit() {
    errno = 0;
    out_.close();
    if (out_.fail()) Fail(errno ? std::strerror(errno) : "write failed");
    if (int err = SyncToDisk(temp_)) Fail(std::strerror(err));
    std::error_code ec;
    const fs::file_status old = fs::status(target_, ec);
    if (fs::exists(old)) fs::permissions(temp_, old.permissions(), ec);
    fs::rename(temp_, target_, ec);
    if (ec) Fail(ec.message());
    committed_ = true;
}

}  // namespace talvenor
