#pragma once
// A file read at any 64-bit position through one handle, every read checked against the size
// found at opening: the way the video readers take their headers, indexes and frames.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>

#include "workspace/error.h"

namespace talvenor {

// An I/O failure underneath a parser or a frame read; the caller names the file and says what
// it was doing.
class FileReadFailure : public Error {
public:
    using Error::Error;
};

// A run of bytes of the file and where it goes.
struct FilePiece {
    void* dst;
    std::size_t n;
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
    // The pieces one after the other from `pos`, each into its own place: a frame's rows straight
    // into a picture, bottom row first, without a copy in between. Fails as Read does.
    void ReadPieces(uint64_t pos, std::span<const FilePiece> pieces);

private:
    bool SeekTo(uint64_t pos, int whence);
    int64_t Tell();

    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
};

}  // namespace talvenor
