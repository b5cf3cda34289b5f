#include "workspace/random_access_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <limits.h>
#include <sys/uio.h>
#endif

namespace talvenor {

namespace {
std::string Num(uint64_t v) { return std::to_string(v); }
std::string Reason(int e) { return e ? std::string(" (") + std::strerror(e) + ")" : std::string(); }
}  // namespace

RandomAccessFile::RandomAccessFile(const std::filesystem::path& file) {
    errno = 0;
#ifdef _WIN32
    file_ = _wfopen(file.c_str(), L"rb");
#else
    file_ = std::fopen(file.c_str(), "rb");
#endif
    if (!file_) {
        const int e = errno;
        throw FileReadFailure(e ? std::strerror(e) : "cannot be opened");
    }
    // Callers read whole frames or keep their own window; a buffer inside stdio would only copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    const int64_t end = SeekTo(0, SEEK_END) ? Tell() : -1;
    if (end < 0) {
        const int e = errno;
        std::fclose(file_);
        file_ = nullptr;
        throw FileReadFailure("cannot find the file's size" + Reason(e));
    }
    size_ = uint64_t(end);
}

RandomAccessFile::~RandomAccessFile() {
    if (file_) std::fclose(file_);
}

void RandomAccessFile::Read(uint64_t pos, void* dst, std::size_t n) {
    if (pos > size_ || n > size_ - pos)
        throw FileReadFailure("a read of " + Num(n) + " bytes at offset " + Num(pos) + " lies past the end of the file (" +
                              Num(size_) + " bytes)");
    if (n == 0) return;
    if (!SeekTo(pos, SEEK_SET) || std::fread(dst, 1, n, file_) != n) {
        const int e = errno;
        std::clearerr(file_);
        throw FileReadFailure("cannot read " + Num(n) + " bytes at offset " + Num(pos) +
                              (e ? Reason(e) : std::string(" (the file is shorter than it was)")));
    }
}

void RandomAccessFile::ReadPieces(uint64_t pos, std::span<const FilePiece> pieces) {
    std::size_t total = 0;
    for (const FilePiece& p : pieces) total += p.n;
    if (pos > size_ || total > size_ - pos)
        throw FileReadFailure("a read of " + Num(total) + " bytes at offset " + Num(pos) + " lies past the end of the file (" +
                              Num(size_) + " bytes)");
#ifdef _WIN32
    for (const FilePiece& p : pieces) {
        Read(pos, p.dst, p.n);
        pos += p.n;
    }
#else
    // preadv takes at most IOV_MAX pieces a call and may stop short; what it left is read on.
    std::vector<iovec> rest;
    rest.reserve(pieces.size());
    for (const FilePiece& p : pieces)
        if (p.n != 0) rest.push_back({p.dst, p.n});
    std::size_t first = 0;
    uint64_t at = pos;
    while (first < rest.size()) {
        const int count = int(std::min<std::size_t>(rest.size() - first, IOV_MAX));
        const ssize_t got = preadv(fileno(file_), rest.data() + first, count, off_t(at));
        const int e = got < 0 ? errno : 0;
        if (e == EINTR) continue;
        if (got <= 0)
            throw FileReadFailure("cannot read " + Num(total) + " bytes at offset " + Num(pos) +
                                  (e ? Reason(e) : std::string(" (the file is shorter than it was)")));
        at += uint64_t(got);
        for (std::size_t left = std::size_t(got); left > 0;) {
            iovec& v = rest[first];
            if (left < v.iov_len) {
                v.iov_base = static_cast<uint8_t*>(v.iov_base) + left;
                v.iov_len -= left;
                break;
            }
            left -= v.iov_len;
            ++first;
        }
    }
#endif
}

bool RandomAccessFile::SeekTo(uint64_t pos, int whence) {
#ifdef _WIN32
    return _fseeki64(file_, static_cast<long long>(pos), whence) == 0;
#else
    return fseeko(file_, static_cast<off_t>(pos), whence) == 0;
#endif
}

int64_t RandomAccessFile::Tell() {
#ifdef _WIN32
    return _ftelli64(file_);
#else
    return int64_t(ftello(file_));
#endif
}

}  // namespace talvenor
