#pragma once
// Writes SER videos the way planetary capture programs do: the 178-byte header, the frames
// one after another (rows top first, planes interleaved per pixel, one byte per sample up
// to 8 bits, else two little-endian bytes), and the trailer of one 64-bit timestamp per
// frame. The frame count in the header is patched when the file is closed, so frames are
// streamed to disk as they come and captures of any length can be written.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "capture/frames.h"
#include "input/ser_file.h"

namespace talvenor::capture {

struct SerWriterOptions {
    int width = 0;
    int height = 0;
    SerColour colour = SerColour::Mono;  // Bayer layouts get the mosaic of a colour frame
    int depth = 8;                       // significant bits per sample, 1..16
    std::string observer;
    std::string instrument;
    std::string telescope;
    int64_t dateTime = 0;     // 100 ns ticks since 1 January of year 1, local time
    int64_t dateTimeUtc = 0;  // the same, UTC
};

// The SER ColorID of a layout: MONO 0, RGGB 8, GRBG 9, GBRG 10, BGGR 11, RGB 100, BGR 101.
int32_t SerColorId(SerColour colour);

// 100 ns ticks of midnight, 1 January 2024 UTC: where generated captures begin, so that the
// same options give the same bytes.
constexpr int64_t kSerEpoch2024 = 638396640000000000LL;

class SerWriter {
public:
    // Creates the file and writes the header (frame count 0 until Close). Throws
    // talvenor::Error naming the file when it cannot be created or the options are unusable.
    SerWriter(const std::filesystem::path& path, const SerWriterOptions& options);
    // Closes a file that was not closed; errors are swallowed there, so call Close().
    ~SerWriter();
    SerWriter(const SerWriter&) = delete;
    SerWriter& operator=(const SerWriter&) = delete;

    // Adds a frame of samples, planes interleaved, rows top first; each sample below
    // 2^depth. `timestamp` goes to the trailer.
    void AddSamples(std::span<const uint16_t> samples, int64_t timestamp);
    // Quantises a rendered frame to the writer's layout and depth (8 or 16 bits, see
    // SerFrameSamples), then adds it.
    void AddFrame(const FloatImage& frame, int64_t timestamp);

    // Writes the trailer and the frame count. Throws Error naming the file on failure.
    void Close();
    // Gives up a file that could not be finished: closes and deletes it.
    void Discard();

    int Frames() const { return int(timestamps_.size()); }
    int Planes() const { return opt_.colour == SerColour::Rgb || opt_.colour == SerColour::Bgr ? 3 : 1; }
    std::size_t SamplesPerFrame() const { return std::size_t(opt_.width) * std::size_t(opt_.height) * std::size_t(Planes()); }

private:
    void Put(const void* data, std::size_t n);
    void Fail(const char* what);

    std::filesystem::path path_;
    SerWriterOptions opt_;
    std::FILE* file_ = nullptr;
    bool closed_ = false;
    std::vector<int64_t> timestamps_;
    std::vector<uint16_t> samples_;  // conversion scratch, reused
    std::vector<uint8_t> bytes_;
};

// The samples a SER frame of `colour` at `depth` bits holds for a rendered frame: the grey
// frame (or the luminance of a colour one) for Mono, red-green-blue or blue-green-red per
// pixel, or for the Bayer layouts at each pixel the channel its filter passes. `depth` is 8
// (rounded as the 8-bit outputs round, so the samples are those of Frame8) or 16 (the
// frame's full precision, 0..65535, as the 16-bit FITS and TIFF outputs quantise).
void SerFrameSamples(const FloatImage& frame, SerColour colour, int depth, std::vector<uint16_t>& out);

}  // namespace talvenor::capture
