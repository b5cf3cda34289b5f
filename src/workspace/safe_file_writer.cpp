#include "workspace/safe_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <streambuf>
#include <vector>

#include "workspace/error.h"
#include "workspace/read_only_files.h"
#include "workspace/save_temporaries.h"

namespace talvenor {

namespace fs = std::filesystem;

// The temporary file behind the stream. It keeps the first error the system gave, so a full
// disk is reported as such however many writes come after it.
class SafeFileWriter::FileBuffer : public std::streambuf {
public:
    FileBuffer(std::size_t size, std::uint64_t budget) : data_(size < 16 ? 16 : size), budget_(budget) {
        setp(data_.data(), data_.data() + data_.size());
    }
    ~FileBuffer() override { Close(); }

    int fd = -1;
    int Error() const { return error_; }

    // Writes out the buffer; false after any failure.
    bool Drain() {
        const std::size_t n = std::size_t(pptr() - pbase());
        setp(data_.data(), data_.data() + data_.size());
        return Put(data_.data(), n);
    }
    int Close() {
        if (fd < 0) return 0;
        const int err = ::close(fd) == 0 ? 0 : errno;
        fd = -1;
        return err;
    }

protected:
    int_type overflow(int_type c) override {
        if (!Drain()) return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (error_) return 0;
        if (n <= epptr() - pptr()) {
            std::memcpy(pptr(), s, std::size_t(n));
            pbump(int(n));
            return n;
        }
        // Larger than what is left: the buffered part first, then the block straight through.
        if (!Drain()) return 0;
        if (std::size_t(n) < data_.size()) return xsputn(s, n);
        return Put(s, std::size_t(n)) ? n : 0;
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Put(const char* p, std::size_t n) {
        if (error_) return false;
        if (n > budget_ - written_) {
            n = std::size_t(budget_ - written_);
            error_ = ENOSPC;
        }
        while (n > 0) {
            const ssize_t done = ::write(fd, p, n);
            if (done < 0) {
                if (errno == EINTR) continue;
                error_ = errno;
                return false;
            }
            p += done, n -= std::size_t(done), written_ += std::uint64_t(done);
        }
        return error_ == 0;
    }

    std::vector<char> data_;
    std::uint64_t budget_, written_ = 0;
    int error_ = 0;
};

namespace {

// The file a save replaces: `path` with its symbolic links followed, also the last one when it
// names a file that does not exist yet. ELOOP for a chain that never ends.
fs::path FollowLinks(fs::path path, int& error) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
        const fs::path link = fs::read_symlink(path, ec);
        if (ec) return path;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    error = ELOOP;
    return path;
}

// The folder's entry for the renamed file is on the device too, not only its data.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

SafeFileWriter::SafeFileWriter(const fs::path& target, std::size_t bufferSize, SafeWriteOptions options)
    : shown_(target),
      buffer_(std::make_unique<FileBuffer>(bufferSize, options.ByteBudget)),
      out_(buffer_.get()),
      durable_(options.Durable) {
    int loop = 0;
    target_ = FollowLinks(target, loop);
    if (loop) Fail(loop);
    std::error_code ec;
    if (fs::is_directory(target_, ec)) Fail("it is a directory");
    if (!options.ReplaceReadOnly && IsReadOnlyFile(target_)) throw Error(shown_.string() + " is read-only");
    const fs::path folder = target_.parent_path();
    RemoveStaleTemporaries(folder);
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp_ = folder / NewTemporaryName();
        buffer_->fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (buffer_->fd >= 0 || errno != EEXIST) break;
    }
    if (buffer_->fd < 0) {
        const int err = errno;
        temp_.clear();  // not ours: never removed
        Fail(err);
    }
}

SafeFileWriter::~SafeFileWriter() {
    if (replaced_ || temp_.empty()) return;
    buffer_->Close();
    ::unlink(temp_.c_str());
}

void SafeFileWriter::Fail(const std::string& reason) const {
    throw Error(shown_.string() + ": cannot write (" + reason + ")");
}

void SafeFileWriter::Fail(int error) const { Fail(std::strerror(error)); }

void SafeFileWriter::Write(const void* data, std::size_t size) {
    out_.write(static_cast<const char*>(data), std::streamsize(size));
}

void SafeFileWriter::Finish() {
    if (buffer_->fd < 0) return;  // finished before
    buffer_->Drain();
    if (int err = buffer_->Error()) Fail(err);
    if (!out_) Fail("write failed");
    const int fd = buffer_->fd;
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0) {
        // A replaced file keeps who may read and write it (a 0640 file stays 0640).
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the administrator may give a file away; the user's own group is enough.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) Fail(errno);
    }
    // The data is on the device before the rename makes it the real file, so a power cut
    // cannot leave an empty file in its place. Some file systems cannot sync at all; that is no
    // reason to refuse the save.
    if (durable_ && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) Fail(errno);
    if (int err = buffer_->Close()) Fail(err);
}

void SafeFileWriter::Replace() {
    if (replaced_) return;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail(errno);
    replaced_ = true;
    if (durable_) SyncFolder(target_.parent_path());
}

void SafeFileWriter::Commit() {
    Finish();
    Replace();
}

}  // namespace talvenor
