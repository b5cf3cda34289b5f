#pragma once
// A file read at any 64-bit position through one handle, every read checked against the size
// found at opening: the way the video readers take their headers, indexes and frames.
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "workspace/error.h"

namespace talvenor {

// An I/O failure underneath a parser or a frame read; the caller names the file and says what
// it was doing.
class FileReadFailure : public Error {
public:
    using Error::Error;
};

class RandomAccessFile {
public:
    // Throws FileReadFailure with the system's reason when the file cannot be opened.
    explicit RandomAccessFile(const std::filesystem::path& file);
    ~RandomAccessFile();
    RandomAccessFile(const RandomAccessFile&) = delete;
    RandomAccessFile& operator=(const RandomAccessFile&) = delete;

    uint64_t Size() const { return size_; }
    // `n` bytes at `pos` into `dst`; FileReadFailure when they lie past the end or cannot be read.
    void Read(uint64_t pos, void* dst, std::size_t n);

private:
    bool SeekTo(uint64_t pos, int whence);
    int64_t Tell();

    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
};

}  // namespace talvenor
