#pragma once
// An AVI video opened for reading: the first video stream's header (start and length), its
// format, where every frame lies in the file, and a decoder that turns a frame position
// into a 24-bit picture.
//
// The container reader is our own. It takes classic files with an 'idx1' index, OpenDML
// (AVI 2.0) files with an 'indx' super index, 'ix##' standard or field indexes and
// 'RIFF AVIX' extensions (captures over 1, 2 and 4 GB), and files without any index, whose
// 'movi' lists are scanned. Offsets are 64-bit throughout. The frame table (offset and size
// of each frame) is built once when the file is opened; a frame is then one seek, one read
// and one conversion into a picture that is only reallocated when its size changes.
//
// Positions are stream positions: the stream's first frame is at Start() (the stream
// header's dwStart, usually 0) and Length() (dwLength) frames follow. A position whose
// chunk is empty, or which the index does not list at all, is a dropped frame.
//
// The index (format, start, length, every frame's place) can be kept and handed to a later
// opening of the same file, which then reads nothing but the frames: see SharedIndex().
//
// An 'idx1' index that lists a frame outside the file is damage, not a reason to refuse the
// capture: the frame table is then rebuilt by walking the 'movi' lists, and Probe() says so.
// Compressed frames carry their own size; when the first frame's differs from the format
// block's, the frames' size is the one reported (and the format block's is named by Probe()).
//
// Opening does every check up front, so a file that opens can be read frame by frame
// without surprises other than damaged frame data. Failures are talvenor::Error with one of
// the texts below, followed by the file's name and the problem:
//   "Failed to open AVI file"               the file cannot be read or is no sound AVI file
//   "Failed to open AVI stream"             it holds no video stream
//   "Failed to get AVI stream info"         the video stream's header is unusable
//   "Failed to get AVI stream format size"  the stream has no format block
//   "Failed to get AVI stream format"       the format block is too short or nonsensical
//   "Failed to start AVI decompression"     no decoder for the codec (named by its FourCC)
//   "Failed to decompress AVI frame"        a frame cannot be decoded
// The file is held open until the object goes away, on every path.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imagefiles/file_info.h"
#include "input/avi_decoders.h"
#include "workspace/bitmap24.h"

namespace talvenor {

// Everything opening an AVI learns from its headers and indexes. Immutable once parsed, so
// several openings of the file (and a read-ahead thread) may share it.
struct AviIndex {
    // Where the frame table came from: the OpenDML indexes, the classic 'idx1', or a scan
    // of the 'movi' lists (no usable index).
    enum class Kind { OpenDml, Idx1, Scanned };
    struct Sample {
        uint64_t offset = 0;  // of the chunk's data, from the start of the file
        uint32_t size = 0;
        bool key = false;
    };
    uint64_t fileSize = 0;  // of the file parsed
    AviVideoFormat format;  // Width and Height: the frames' size (see headerWidth)
    // The format block's frame size when the coded frames have another; 0 when they agree.
    int headerWidth = 0, headerHeight = 0;
    // Why an index was set aside for a scan of the 'movi' lists ("idx1 damaged: ...", "OpenDML
    // index damaged: ..."); empty when none was.
    std::string indexDamage;
    int64_t start = 0;      // dwStart
    int64_t length = 0;     // dwLength
    int64_t dmlFrames = 0;  // dmlh total frames, 0 when absent
    bool openDml = false;
    Kind kind = Kind::Scanned;
    std::vector<Sample> samples;
};

class AviFile {
public:
    explicit AviFile(const std::filesystem::path& file);
    // Opens the file with an index parsed before from it; parses afresh when the file's size
    // is no longer the one the index was made from.
    AviFile(const std::filesystem::path& file, std::shared_ptr<const AviIndex> index);
    ~AviFile();
    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;

    // The name error texts use (the file name without its folder).
    const std::string& Name() const { return name_; }

    int64_t Start() const { return index_->start; }    // dwStart
    int64_t Length() const { return index_->length; }  // dwLength
    int Width() const { return index_->format.Width; }
    int Height() const { return index_->format.Height; }  // always positive; TopDown() tells the order
    bool TopDown() const { return index_->format.TopDown; }
    int BitCount() const { return index_->format.BitCount; }
    uint32_t CompressionCode() const { return index_->format.Compression; }
    std::string Compression() const { return FourCCText(index_->format.Compression); }
    // The format's colour table, biClrUsed entries.
    const std::vector<Bgr>& Palette() const { return index_->format.Palette; }
    // An OpenDML file: it has an 'indx' super index, an 'odml' header list or extension RIFFs.
    bool IsOpenDml() const { return index_->openDml; }
    // The dmlh total frame count of an OpenDML file; 0 when absent.
    int64_t OpenDmlFrames() const { return index_->dmlFrames; }
    using IndexKind = AviIndex::Kind;
    IndexKind Index() const { return index_->kind; }
    // How many frame chunks the index (or the scan) found, empty ones included.
    int64_t SampleCount() const { return int64_t(index_->samples.size()); }
    // The parsed index, to open the same file again without parsing it (see the constructor).
    std::shared_ptr<const AviIndex> SharedIndex() const { return index_; }

    // Bytes stored for the frame at `position`: 0 for an empty chunk or a position the
    // index does not list or that lies outside the stream.
    uint32_t SampleSize(int64_t position) const;
    bool IsEmptySample(int64_t position) const { return SampleSize(position) == 0; }
    // The first position at or after `position` (but not before Start()) whose sample is
    // not empty, or -1 when there is none up to the end of the stream. A frame at i is
    // dropped when FindSample(i) != i.
    int64_t FindSample(int64_t position) const;
    // The dropped positions of the stream in order, at most `limit` of them, and how many
    // there are in all.
    std::vector<int64_t> DroppedFrames(std::size_t limit = SIZE_MAX) const;
    int64_t DroppedCount() const;

    // Decodes the frame at `position` (Start() .. Start() + Length() - 1) into `out`, which
    // is resized only when its size differs. A dropped frame shows the frame before it (or
    // the first one after it, at the start of the stream), as a player would. Throws
    // "Failed to decompress AVI frame: ..." for a position outside the stream, a stream
    // without any frame data, or data the decoder cannot read.
    void DecodeFrame(int64_t position, Bitmap24& out);
    // Only rows rows.First .. rows.Last of the frame (clipped to it) where the file stores the
    // frame as rows (uncompressed 24-bit and grey frames), the whole frame otherwise; returns
    // the rows read. The picture's other rows are left as they were.
    FrameRows DecodeFrameRows(int64_t position, const FrameRows& rows, Bitmap24& out);
    // Whether a frame decoded out of order costs a decode from the key frame before it.
    bool PredictsFrames() const;

    // What `talvenor-cli info` prints: format "AVI", the frame size, the bit count, and the
    // details "codec", "frames" (chunks found), "dwStart", "dwLength", "OpenDML" (yes/no),
    // "index" ("OpenDML", "idx1", "none (frames found in the movi list)" or "rebuilt from the
    // movi list (idx1 damaged: ...)"), "dropped" (positions as "3,7", or "none"), and
    // "frame size in header" when the coded frames have another size.
    FileInfo Probe() const;

private:
    class Reader;
    class Source;

    void OpenDecoder();
    void ParseFile();
    void ParseHeaderList(uint64_t begin, uint64_t end);
    void ParseStreamList(uint64_t begin, uint64_t end, int streamNumber);
    bool ReadOpenDmlIndex();
    bool ReadOpenDmlIndexUnlessDamaged();
    void ReadStandardIndex(uint64_t chunkPos, int64_t superEntry);
    bool ReadLegacyIndex();
    std::string Idx1Damage(uint64_t base, uint64_t count);
    void LearnFrameSize(AviIndex& index);
    void ScanMovi();
    void ScanMoviList(uint64_t begin, uint64_t end, int depth);
    void AddSample(uint64_t offset, uint64_t size, bool key, const char* what);
    bool IsOurChunk(uint32_t id) const;
    [[noreturn]] void Fail(const char* message, const std::string& problem) const;
    int64_t SampleToShow(int64_t position) const;

    std::string name_;
    std::unique_ptr<Reader> reader_;
    std::unique_ptr<Source> source_;
    std::unique_ptr<AviFrameDecoder> decoder_;
    std::shared_ptr<const AviIndex> index_;
    // What the parse below builds (only while the constructor parses), and its own state.
    AviIndex* draft_ = nullptr;
    bool haveVideo_ = false;
    int videoStream_ = -1;   // its number among the streams: chunk ids "##db"/"##dc"
    struct Range {
        uint64_t begin, end;  // of the list's content, after its type
    };
    std::vector<Range> movi_;      // one 'movi' list per RIFF
    uint64_t idx1Pos_ = 0, idx1Size_ = 0;
    std::vector<uint8_t> indx_;    // the video stream's 'indx' chunk, when present
    // Standard indexes read so far (start -> end of each chunk), so that one listed again, or
    // overlapping one already read, adds no frames.
    std::map<uint64_t, uint64_t> readIndexes_;
};

// Opens the file just for its description (see AviFile::Probe).
FileInfo ProbeAvi(const std::filesystem::path& file);

}  // namespace talvenor
