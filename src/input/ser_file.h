#pragma once
// A SER video opened for reading: the 178-byte header, where every frame lies, the frames'
// raw samples and a 24-bit rendering of them, and the per-frame timestamps of the optional
// trailer.
//
// Layout: header, then FrameCount frames of Width * Height * planes * bytes-per-sample
// bytes each (rows top to bottom, planes interleaved per pixel), then optionally one
// little-endian 64-bit timestamp per frame.
//
// Opening does every check up front: a file that opens can be read frame by frame and
// every read stays inside the file. A malformed file is a talvenor::Error whose text starts
// with the file's name ("capture.ser: ..."). A file announcing more frames than it holds
// opens with the whole frames really present, and Warning() says so.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "workspace/bitmap24.h"
#include "workspace/frame_rows.h"

#include "imagefiles/file_info.h"

namespace talvenor {

// How the samples of a frame are arranged. Bayer frames are delivered raw (one plane);
// turning them into colour is a separate step.
enum class SerColour { Mono, BayerRggb, BayerGrbg, BayerGbrg, BayerBggr, Rgb, Bgr };

// "MONO", "RGGB", "GRBG", "GBRG", "BGGR", "RGB", "BGR".
const char* SerColourName(SerColour colour);

constexpr std::size_t kSerHeaderSize = 178;

struct SerHeader {
    int32_t LuId = 0;
    int32_t ColorId = 0;
    int32_t LittleEndian = 0;  // as written; see SerFile::SamplesLittleEndian for what counts
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t PixelDepth = 0;    // significant bits per sample, 1..16
    int32_t FrameCount = 0;    // as announced; SerFile::FrameCount() is what is there
    std::string Observer, Instrument, Telescope;  // up to the first NUL, trailing blanks removed
    int64_t DateTime = 0;
    int64_t DateTimeUtc = 0;

    SerColour Colour = SerColour::Mono;
    int Planes() const { return Colour == SerColour::Rgb || Colour == SerColour::Bgr ? 3 : 1; }
    int BytesPerSample() const { return PixelDepth <= 8 ? 1 : 2; }
    uint64_t SamplesPerFrame() const { return uint64_t(Width) * uint64_t(Height) * uint64_t(Planes()); }
    uint64_t FrameBytes() const { return SamplesPerFrame() * uint64_t(BytesPerSample()); }
};

// Parses and checks the header at the start of `bytes` (at least kSerHeaderSize of them).
// Throws talvenor::Error "<name>: <problem>" for a short header, a missing signature, an
// unknown or unsupported colour layout (the CYM patterns are named), a size of zero or
// beyond 1048576 in either direction, a depth outside 1..16 or a negative frame count.
SerHeader ReadSerHeader(std::span<const uint8_t> bytes, const std::string& name);

// Whether values read after the frames look like a capture's timestamps: between 1900 and
// 2200, never going back.
bool PlausibleTimestamps(const std::vector<int64_t>& stamps);

// Which byte order 16-bit samples are read in.
enum class SerByteOrder { Automatic, Little, Big };

// Decides the byte order of 16-bit samples from a stretch of frame data (see the .cpp for
// the rule); `flagSaysLittle` settles the cases the data cannot.
bool DetectSerLittleEndian(std::span<const uint8_t> data, int depth, int planes, bool flagSaysLittle);

class SerFile {
public:
    explicit SerFile(const std::filesystem::path& file, SerByteOrder order = SerByteOrder::Automatic);
    ~SerFile();
    SerFile(const SerFile&) = delete;
    SerFile& operator=(const SerFile&) = delete;

    // The name error texts use (the file name without its folder).
    const std::string& Name() const { return name_; }
    const SerHeader& Header() const { return header_; }
    int Width() const { return header_.Width; }
    int Height() const { return header_.Height; }
    SerColour Colour() const { return header_.Colour; }
    int PixelDepth() const { return header_.PixelDepth; }

    // Whole frames present in the file: the announced count, or fewer when the data ends
    // early (or all whole frames when the header announces none, as an interrupted
    // capture leaves it).
    int64_t FrameCount() const { return frames_; }
    // Empty, or why FrameCount() differs from the header's count.
    const std::string& Warning() const { return warning_; }

    // The byte order 16-bit samples are read in (true for 8-bit files), and whether it
    // follows the header's flag read as documented (non-zero = little-endian).
    bool SamplesLittleEndian() const { return little_; }
    bool FlagAgrees() const { return little_ == (header_.LittleEndian != 0); }

    // The trailer's timestamps, one per frame (100 ns ticks), when the file has one.
    bool HasTimestamps() const { return !timestamps_.empty(); }
    const std::vector<int64_t>& Timestamps() const { return timestamps_; }
    int64_t FirstTimestamp() const { return timestamps_.empty() ? 0 : timestamps_.front(); }
    int64_t LastTimestamp() const { return timestamps_.empty() ? 0 : timestamps_.back(); }

    // Frame i (0 .. FrameCount() - 1): its samples, planes interleaved as stored, resized
    // only when the size differs; and/or its picture: grey for one plane, colour for RGB
    // and BGR, 16-bit samples shifted down by (depth - 8) and held at 255. Throws
    // "<name>: ..." for a frame outside the file or a failed read.
    void ReadFrame(int64_t i, std::vector<uint16_t>& samples);
    void ReadFrame(int64_t i, Bitmap24& picture);
    void ReadFrame(int64_t i, std::vector<uint16_t>& samples, Bitmap24& picture);
    // Only rows rows.First .. rows.Last (clipped to the frame) of an 8-bit frame's picture, as
    // one read, into their rows of `picture`, whose other rows are left as they were; a wider
    // frame is read whole. Returns the rows read.
    FrameRows ReadFrameRows(int64_t i, const FrameRows& rows, Bitmap24& picture);

private:
    class Reader;

    [[noreturn]] void Fail(const std::string& problem) const;
    void ReadRaw(int64_t i, uint8_t* into = nullptr);  // into raw_ when null

    std::string name_;
    std::unique_ptr<Reader> reader_;
    SerHeader header_;
    int64_t frames_ = 0;
    std::string warning_;
    bool little_ = true;
    std::vector<int64_t> timestamps_;
    std::vector<uint8_t> raw_;
    std::vector<uint16_t> scratch_;
};

// What `talvenor-cli info` reports of a SER file: every header field, the frames really there,
// the byte order the samples are read in and the first and last timestamps.
FileInfo ProbeSer(const std::filesystem::path& file);

}  // namespace talvenor
