#pragma once
// Writes AVI files the way capture programs do, so the reader has realistic input of every
// kind it must handle: raw 24-bit BGR, raw 8-bit grey with a grey palette, or MJPEG; one
// '00dc' chunk per frame; zero-length chunks for dropped frames; an idx1 index while the
// file fits in one RIFF, and OpenDML (AVI 2.0) beyond it: 'RIFF AVIX' extensions, an 'indx'
// super index in the stream header, an 'ix00' standard index per RIFF and the 'dmlh'
// total frame count.
//
// Frames are streamed to disk as they come; only the index (a few bytes per frame) is
// kept in memory, so captures of many gigabytes can be written.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <vector>

#include "workspace/bitmap24.h"

namespace talvenor::capture {

enum class AviCodec {
    Rgb24,  // uncompressed bottom-up 24-bit DIB (BGR)
    Grey8,  // uncompressed bottom-up 8-bit DIB with a 256-entry grey palette
    Mjpeg,  // one JPEG per frame ('MJPG')
};

struct AviWriterOptions {
    int width = 0;
    int height = 0;
    AviCodec codec = AviCodec::Rgb24;
    uint32_t rate = 30;  // frames per second = rate / scale
    uint32_t scale = 1;
    // Size at which a RIFF is closed and the next one ('AVIX') started. Files that stay
    // below it are plain AVI 1.0 with idx1; a smaller limit makes small OpenDML files.
    uint64_t riffLimit = uint64_t(1) << 30;
};

class AviWriter {
public:
    // Creates the file and writes placeholder headers. Throws talvenor::Error naming the
    // file when it cannot be created or the size is not 1..32767 pixels.
    AviWriter(const std::filesystem::path& path, const AviWriterOptions& options);
    // Closes a file that was not closed; errors are swallowed there, so call Close().
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Adds a picture of the writer's size: as BGR rows (Rgb24), as its green channel, which
    // is the grey value of a grey picture (Grey8), or JPEG-encoded (Mjpeg).
    void AddFrame(const Bitmap24& picture);
    // Adds a grey frame, rows top first, `width` bytes each (Grey8 only).
    void AddGreyFrame(std::span<const uint8_t> grey);
    // Adds an already encoded frame: DIB rows bottom-up for the raw codecs, a JPEG for MJPEG.
    void AddEncodedFrame(std::span<const uint8_t> payload);
    // A frame the camera dropped: a zero-length chunk, indexed with size 0.
    void AddDroppedFrame();

    // Writes the indexes and the final header values. Throws Error naming the file when
    // anything could not be written.
    void Close();
    // Gives up a file that could not be finished: closes and deletes it.
    void Discard();

    int Frames() const { return int(index_.size()); }
    int Riffs() const { return riffCount_; }
    // Bytes of one raw frame (DIB rows padded to 4 bytes).
    std::size_t RawFrameBytes() const;

private:
    struct Entry {
        uint64_t offset;  // file position of the chunk header
        uint32_t size;    // payload bytes
        bool dropped;
    };
    struct RiffPart {
        uint64_t ixOffset;  // file position of its ix00 chunk
        uint32_t ixSize;    // ix00 chunk size including its header
        uint32_t frames;
    };

    void WriteHeaders();
    void WriteChunk(const char fourcc[4], std::span<const uint8_t> payload);
    void BeginRiff(bool first);
    void FinishRiff();  // ix00 (OpenDML), end of movi, idx1 (first RIFF), RIFF size
    void PatchHeaders();
    void Put(const void* data, std::size_t n);
    void Put32(uint32_t v);
    void Put16(uint16_t v);
    void Put64(uint64_t v);
    void PutFourcc(const char* f);
    void Patch32(uint64_t at, uint32_t v);
    void PatchFourcc(uint64_t at, const char* f);
    uint64_t Tell() const { return pos_; }
    void Fail(const char* what);

    std::filesystem::path path_;
    AviWriterOptions opt_;
    std::FILE* file_ = nullptr;
    uint64_t pos_ = 0;
    bool closed_ = false;
    bool openDml_ = false;
    int riffCount_ = 1;

    std::vector<Entry> index_;       // every frame
    std::size_t riffFirstFrame_ = 0;  // first frame of the RIFF being written
    std::vector<RiffPart> riffs_;    // finished RIFFs (OpenDML)
    uint64_t riffStart_ = 0;         // position of the current 'RIFF'
    uint64_t moviStart_ = 0;         // position of the current movi list's 'LIST'
    uint32_t firstRiffFrames_ = 0;
    uint32_t maxChunk_ = 0;

    // Header fields patched on Close.
    uint64_t avihAt_ = 0, strhAt_ = 0, indxAt_ = 0, odmlAt_ = 0;
    std::vector<uint8_t> buffer_;    // frame conversion scratch, reused
};

// Bytes per DIB row: rows are padded to a multiple of four.
constexpr std::size_t DibStride(int width, int bitsPerPixel) {
    return ((std::size_t(width) * std::size_t(bitsPerPixel) + 31) / 32) * 4;
}

}  // namespace talvenor::capture
