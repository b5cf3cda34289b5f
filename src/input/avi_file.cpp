#include "input/avi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>

#include "workspace/error.h"
#include "workspace/random_access_file.h"
#include "workspace/zeroed_memory.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

constexpr const char* kOpenFailed = "Failed to open AVI file";
constexpr const char* kNoStream = "Failed to open AVI stream";
constexpr const char* kNoInfo = "Failed to get AVI stream info";
constexpr const char* kNoFormatSize = "Failed to get AVI stream format size";
constexpr const char* kNoFormat = "Failed to get AVI stream format";
constexpr const char* kNoDecoder = "Failed to start AVI decompression";
constexpr const char* kDecodeFailed = "Failed to decompress AVI frame";

constexpr uint32_t kRiff = FourCC("RIFF"), kList = FourCC("LIST"), kAvi = FourCC("AVI "), kAvix = FourCC("AVIX");
constexpr uint32_t kHdrl = FourCC("hdrl"), kStrl = FourCC("strl"), kStrh = FourCC("strh"), kStrf = FourCC("strf");
constexpr uint32_t kIndx = FourCC("indx"), kOdml = FourCC("odml"), kDmlh = FourCC("dmlh"), kMovi = FourCC("movi");
constexpr uint32_t kIdx1 = FourCC("idx1"), kRec = FourCC("rec "), kVids = FourCC("vids");

constexpr uint32_t kIdx1KeyFrame = 0x10;      // AVIIF_KEYFRAME
constexpr uint32_t kNotKeyFrame = 0x80000000;  // size bit of OpenDML index entries
constexpr uint8_t kIndexOfIndexes = 0, kIndexOfChunks = 1;

// Format blocks carry a header, a colour table and codec setup data: a few kilobytes.
// A claim far beyond that is damage, and we do not allocate for it.
constexpr uint64_t kMaxFormatBlock = 16u << 20;
constexpr uint64_t kMaxSuperIndex = 64u << 20;
// Every frame, even a dropped one, takes at least an index entry or a chunk header: 8 bytes.
constexpr uint64_t kMinFrameBytes = 8;
constexpr int kMaxListDepth = 8;

inline uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
inline uint64_t U64(const uint8_t* p) { return U32(p) | uint64_t(U32(p + 4)) << 32; }

std::string Quoted(uint32_t id) {
    std::string s = "'";
    for (int i = 0; i < 4; ++i) {
        const char c = char((id >> (8 * i)) & 0xFF);
        s += (c >= 0x20 && c <= 0x7E) ? c : '?';
    }
    return s + "'";
}

std::string Num(uint64_t v) { return std::to_string(v); }

// An I/O failure underneath the parser or a frame read; the caller says what it was doing.
using ReadFailure = FileReadFailure;

}  // namespace

// Reads at 64-bit positions through one file handle. Small reads (chunk headers, index
// entries) are served from a 64 KB window, so walking the headers and the indexes costs
// few system calls; frame data goes straight into the caller's buffer.
class AviFile::Reader {
public:
    explicit Reader(const fs::path& file) : file_(file) { window_.resize(64 * 1024); }

    uint64_t Size() const { return file_.Size(); }

    // Copies `n` bytes at `pos`; a read past the end is a ReadFailure.
    void Read(uint64_t pos, void* dst, std::size_t n) {
        if (pos > Size() || n > Size() - pos || n >= window_.size() / 2) {
            ReadRaw(pos, dst, n);
            return;
        }
        if (pos < windowPos_ || pos + n > windowPos_ + windowLen_) {
            windowPos_ = pos;
            windowLen_ = std::size_t(std::min<uint64_t>(window_.size(), Size() - pos));
            ReadRaw(windowPos_, window_.data(), windowLen_);
        }
        std::memcpy(dst, window_.data() + (pos - windowPos_), n);
    }
    void ReadPieces(uint64_t pos, std::span<const FilePiece> pieces) {
        try {
            file_.ReadPieces(pos, pieces);
        } catch (const FileReadFailure&) {
            windowLen_ = 0;
            throw;
        }
    }
    uint32_t ReadU32(uint64_t pos) {
        uint8_t b[4];
        Read(pos, b, 4);
        return U32(b);
    }

private:
    void ReadRaw(uint64_t pos, void* dst, std::size_t n) {
        try {
            file_.Read(pos, dst, n);
        } catch (const FileReadFailure&) {
            windowLen_ = 0;
            throw;
        }
    }

    RandomAccessFile file_;
    std::vector<uint8_t> window_;
    uint64_t windowPos_ = 0;
    std::size_t windowLen_ = 0;
};

// Hands the decoder the bytes of a sample, in one buffer reused from frame to frame.
class AviFile::Source : public AviSampleSource {
public:
    explicit Source(AviFile& file) : file_(file) {}

    int64_t SampleCount() const override { return int64_t(file_.index_->samples.size()); }

    std::span<const uint8_t> ReadSample(int64_t k) override {
        if (k < 0 || k >= SampleCount()) return {};
        const AviIndex::Sample& s = file_.index_->samples[std::size_t(k)];
        if (s.size == 0) return {};
        // Zeroed bytes after the data: libavcodec's bit readers may look a little ahead.
        constexpr std::size_t kTail = 64;
        if (buffer_.size() < s.size + kTail) buffer_.resize(s.size + kTail);
        file_.reader_->Read(s.offset, buffer_.data(), s.size);
        std::memset(buffer_.data() + s.size, 0, kTail);
        return {buffer_.data(), s.size};
    }

    uint64_t SampleBytes(int64_t k) const override {
        return k < 0 || k >= SampleCount() ? 0 : file_.index_->samples[std::size_t(k)].size;
    }

    bool ReadSampleInto(int64_t k, std::span<const FilePiece> pieces, uint64_t skip) override {
        if (k < 0 || k >= SampleCount()) return false;
        const AviIndex::Sample& s = file_.index_->samples[std::size_t(k)];
        std::size_t total = 0;
        for (const FilePiece& p : pieces) total += p.n;
        if (skip > s.size || total > s.size - skip) return false;
        file_.reader_->ReadPieces(s.offset + skip, pieces);
        return true;
    }

    bool IsKeySample(int64_t k) const override {
        if (k < 0 || k >= SampleCount()) return false;
        const AviIndex::Sample& s = file_.index_->samples[std::size_t(k)];
        return s.size != 0 && s.key;
    }

    bool IsEmptySample(int64_t k) const override {
        return k < 0 || k >= SampleCount() || file_.index_->samples[std::size_t(k)].size == 0;
    }

private:
    AviFile& file_;
    LargeBytes buffer_;  // a frame's worth: in large pages, not faulted in 4 KB at a time
};

AviFile::AviFile(const fs::path& file) : AviFile(file, nullptr) {}

AviFile::AviFile(const fs::path& file, std::shared_ptr<const AviIndex> index) : name_(file.filename().string()) {
    AviIndex* fresh = nullptr;
    try {
        reader_ = std::make_unique<Reader>(file);
        if (index && index->fileSize == reader_->Size()) {
            index_ = std::move(index);
        } else {
            auto draft = std::make_shared<AviIndex>();
            draft->fileSize = reader_->Size();
            draft_ = draft.get();
            ParseFile();
            draft_ = nullptr;
            fresh = draft.get();
            index_ = std::move(draft);
        }
    } catch (const ReadFailure& e) {
        Fail(kOpenFailed, e.what());
    } catch (const std::bad_alloc&) {
        Fail(kOpenFailed, "not enough memory for the file's index");
    }
    source_ = std::make_unique<Source>(*this);
    OpenDecoder();
    // Nobody else holds a freshly parsed index yet; a kept one has learnt the size already.
    if (fresh) LearnFrameSize(*fresh);
}

void AviFile::LearnFrameSize(AviIndex& index) {
    // Frames stored as they are have the format block's size by construction.
    if (decoder_->SmallestSampleBytes() != 0) return;
    const int64_t k = SampleToShow(index.start);
    if (k < 0) return;
    Bitmap24 picture;
    try {
        decoder_->Decode(k, *source_, picture);
    } catch (const Error&) {
        return;  // a damaged first frame tells nothing; its own decode reports it
    } catch (const std::bad_alloc&) {
        return;
    }
    AviVideoFormat& f = index.format;
    if (picture.Empty() || (picture.Width() == f.Width && picture.Height() == f.Height)) return;
    index.headerWidth = f.Width;
    index.headerHeight = f.Height;
    f.Width = picture.Width();
    f.Height = picture.Height();
}

void AviFile::OpenDecoder() {
    try {
        decoder_ = MakeAviFrameDecoder(index_->format);
    } catch (const Error& e) {
        Fail(kNoDecoder, e.what());
    }
    if (!decoder_) {
        const uint32_t c = index_->format.Compression;
        const bool dib = c == 0 || c == 3 || c == FourCC("DIB ") || c == FourCC("RGB ") || c == FourCC("RAW ");
        std::string text = std::string(kNoDecoder) + ": codec '" + Compression() + "'";
        if (dib) text += " with " + std::to_string(index_->format.BitCount) + " bits per pixel";
        throw Error(text + " is not supported (" + name_ + ")");
    }
    // Frames stored as they are: a frame larger than the whole file is a size no frame backs.
    const uint64_t frameBytes = decoder_->SmallestSampleBytes();
    if (frameBytes > reader_->Size())
        Fail(kNoFormat, "a " + Num(uint64_t(Width())) + " x " + Num(uint64_t(Height())) + " frame of " +
                            Num(uint64_t(BitCount())) + " bits takes at least " + Num(frameBytes) +
                            " bytes, more than the whole file (" + Num(reader_->Size()) + ")");
}

AviFile::~AviFile() = default;

void AviFile::Fail(const char* message, const std::string& problem) const {
    throw Error(std::string(message) + ": " + name_ + ": " + problem);
}

bool AviFile::IsOurChunk(uint32_t id) const {
    const char a = char('0' + videoStream_ / 10 % 10), b = char('0' + videoStream_ % 10);
    const char c0 = char(id & 0xFF), c1 = char((id >> 8) & 0xFF), c2 = char((id >> 16) & 0xFF), c3 = char(id >> 24);
    return c0 == a && c1 == b && c2 == 'd' && (c3 == 'b' || c3 == 'c');
}

void AviFile::ParseFile() {
    const uint64_t size = reader_->Size();
    if (size < 12) Fail(kOpenFailed, "the file is too short to be an AVI file (" + Num(size) + " bytes)");
    uint8_t head[12];
    reader_->Read(0, head, 12);
    if (U32(head) != kRiff || U32(head + 8) != kAvi) Fail(kOpenFailed, "not an AVI file (no RIFF 'AVI ' header)");

    bool haveHeader = false;
    // Walks the chunks of one RIFF (the first 'AVI ' or an 'AVIX' extension).
    auto walkRiff = [&](uint64_t begin, uint64_t end, bool first) {
        uint64_t off = begin;
        while (off + 8 <= end) {
            uint8_t h[12];
            reader_->Read(off, h, 8);
            const uint32_t id = U32(h), csize = U32(h + 4);
            const uint64_t data = off + 8, dataEnd = data + csize;
            if (id == kList && csize >= 4) {
                const uint32_t type = reader_->ReadU32(data);
                if (type == kMovi) {
                    if (dataEnd > size)
                        Fail(kOpenFailed, "the file ends inside the frame data (the 'movi' list at offset " + Num(off) + " needs " +
                                              Num(dataEnd) + " bytes, the file has " + Num(size) + ")");
                    movi_.push_back({data + 4, dataEnd});
                } else if (type == kHdrl && first && !haveHeader) {
                    if (dataEnd > size) Fail(kOpenFailed, "the header list runs past the end of the file");
                    haveHeader = true;
                    ParseHeaderList(data + 4, dataEnd);
                }
            } else if (id == kIdx1 && first) {
                if (dataEnd > size)
                    Fail(kOpenFailed, "the index 'idx1' runs past the end of the file (needs " + Num(dataEnd) + " bytes, the file has " +
                                          Num(size) + ")");
                idx1Pos_ = data;
                idx1Size_ = csize;
            }
            off = dataEnd + (csize & 1);
        }
    };

    const uint64_t riffEnd = 8 + uint64_t(U32(head + 4));
    walkRiff(12, std::min(riffEnd, size), true);
    if (!haveHeader) Fail(kOpenFailed, "no header list 'hdrl'");
    // OpenDML extensions follow the first RIFF, each with a 'movi' list of its own.
    for (uint64_t off = riffEnd + (riffEnd & 1); off + 12 <= size;) {
        uint8_t h[12];
        reader_->Read(off, h, 12);
        if (U32(h) != kRiff || U32(h + 8) != kAvix) break;
        draft_->openDml = true;
        const uint64_t end = off + 8 + U32(h + 4);
        walkRiff(off + 12, std::min(end, size), false);
        off = end + (end & 1);
    }

    if (!haveVideo_) Fail(kNoStream, "the file holds no video stream");
    if (!indx_.empty() && ReadOpenDmlIndexUnlessDamaged()) {
        draft_->kind = AviIndex::Kind::OpenDml;
    } else if (idx1Size_ && draft_->indexDamage.empty() && ReadLegacyIndex()) {
        draft_->kind = AviIndex::Kind::Idx1;
    } else {
        try {
            ScanMovi();
        } catch (const Error& e) {
            if (draft_->indexDamage.empty()) throw;
            throw Error(std::string(e.what()) + "; the index cannot stand in for the scan (" + draft_->indexDamage + ")");
        }
    }

    // Some writers only keep the first RIFF's count in the stream header; the OpenDML
    // header then has the true total.
    AviIndex& d = *draft_;
    if (d.openDml && d.dmlFrames > d.length && int64_t(d.samples.size()) >= d.dmlFrames) d.length = d.dmlFrames;
}

void AviFile::ParseHeaderList(uint64_t begin, uint64_t end) {
    int stream = 0;
    uint64_t off = begin;
    while (off + 8 <= end) {
        uint8_t h[8];
        reader_->Read(off, h, 8);
        const uint32_t id = U32(h), csize = U32(h + 4);
        const uint64_t data = off + 8, dataEnd = data + csize;
        if (dataEnd > end)
            Fail(kOpenFailed, "the header list is damaged (chunk " + Quoted(id) + " at offset " + Num(off) + " runs past its end)");
        if (id == kList && csize >= 4) {
            const uint32_t type = reader_->ReadU32(data);
            if (type == kStrl) {
                ParseStreamList(data + 4, dataEnd, stream++);
            } else if (type == kOdml) {
                draft_->openDml = true;
                for (uint64_t o = data + 4; o + 8 <= dataEnd;) {
                    const uint32_t cid = reader_->ReadU32(o), cs = reader_->ReadU32(o + 4);
                    if (o + 8 + cs > dataEnd) break;
                    if (cid == kDmlh && cs >= 4) {
                        const uint32_t total = reader_->ReadU32(o + 8);
                        // A count the file cannot hold is ignored, like any other hint.
                        if (uint64_t(total) * 8 <= reader_->Size()) draft_->dmlFrames = total;
                    }
                    o += 8 + cs + (cs & 1);
                }
            }
        }
        off = dataEnd + (csize & 1);
    }
}

void AviFile::ParseStreamList(uint64_t begin, uint64_t end, int streamNumber) {
    if (haveVideo_) return;
    uint64_t strhPos = 0, strfPos = 0, indxPos = 0;
    uint32_t strhSize = 0, strfSize = 0, indxSize = 0;
    bool haveStrh = false, haveStrf = false, haveIndx = false;
    for (uint64_t off = begin; off + 8 <= end;) {
        const uint32_t id = reader_->ReadU32(off), csize = reader_->ReadU32(off + 4);
        if (off + 8 + csize > end)
            Fail(kOpenFailed, "the stream list is damaged (chunk " + Quoted(id) + " at offset " + Num(off) + " runs past its end)");
        if (id == kStrh && !haveStrh) { haveStrh = true; strhPos = off + 8; strhSize = csize; }
        if (id == kStrf && !haveStrf) { haveStrf = true; strfPos = off + 8; strfSize = csize; }
        if (id == kIndx && !haveIndx) { haveIndx = true; indxPos = off + 8; indxSize = csize; }
        off += 8 + csize + (csize & 1);
    }
    if (!haveStrh || strhSize < 4 || reader_->ReadU32(strhPos) != kVids) return;
    haveVideo_ = true;
    videoStream_ = streamNumber;

    // The stream header: dwStart and dwLength are what the frame loop relies on.
    if (strhSize < 36)
        Fail(kNoInfo, "the video stream's header has " + Num(strhSize) + " bytes, too few for its start and length");
    uint8_t strh[36];
    reader_->Read(strhPos, strh, 36);
    AviVideoFormat& format = draft_->format;
    format.Handler = U32(strh + 4);
    draft_->start = U32(strh + 28);
    draft_->length = U32(strh + 32);
    // Every frame, even a dropped one, takes at least a chunk header or an index entry.
    if (uint64_t(draft_->length) * 8 > reader_->Size())
        Fail(kNoInfo, "the stream header claims " + Num(uint64_t(draft_->length)) + " frames, more than a file of " +
                          Num(reader_->Size()) + " bytes can hold");

    if (!haveStrf) Fail(kNoFormatSize, "the video stream has no format block ('strf')");
    if (strfSize < 40) Fail(kNoFormat, "the format block has " + Num(strfSize) + " bytes, a bitmap header needs 40");
    if (strfSize > kMaxFormatBlock) Fail(kNoFormat, "the format block claims " + Num(strfSize) + " bytes");
    std::vector<uint8_t> strf(strfSize);
    reader_->Read(strfPos, strf.data(), strfSize);
    const uint32_t biSize = U32(&strf[0]);
    const int32_t width = int32_t(U32(&strf[4])), height = int32_t(U32(&strf[8]));
    if (width <= 0 || width > 65535 || height == 0 || height < -65535 || height > 65535)
        Fail(kNoFormat, "frame size " + std::to_string(width) + " x " + std::to_string(height) + " is not usable");
    format.Width = width;
    format.Height = height < 0 ? -height : height;
    format.TopDown = height < 0;
    format.BitCount = U16(&strf[14]);
    format.Compression = U32(&strf[16]);
    const uint32_t clrUsed = U32(&strf[32]);
    format.Extra.assign(strf.begin() + 40, strf.end());
    if (format.Compression == 3 && strfSize >= 52)
        format.Masks = {U32(&strf[40]), U32(&strf[44]), U32(&strf[48])};
    // The colour table follows the header (whose size is biSize, 40 for the classic one).
    if (format.BitCount >= 1 && format.BitCount <= 8) {
        const std::size_t table = (biSize >= 40 && biSize <= strfSize) ? biSize : 40;
        std::size_t count = clrUsed ? clrUsed : std::size_t(1) << format.BitCount;
        count = std::min({count, std::size_t(256), (strfSize - table) / 4});
        for (std::size_t i = 0; i < count; ++i) {
            const uint8_t* e = &strf[table + 4 * i];
            format.Palette.push_back(Bgr{e[0], e[1], e[2]});
        }
    }

    if (haveIndx && indxSize >= 24 && indxSize <= kMaxSuperIndex) {
        indx_.resize(indxSize);
        reader_->Read(indxPos, indx_.data(), indxSize);
    }
}

void AviFile::AddSample(uint64_t offset, uint64_t size, bool key, const char* what) {
    const uint64_t fileSize = reader_->Size();
    if (draft_->samples.size() >= fileSize / kMinFrameBytes)
        Fail(kOpenFailed, "the indexes list more than the " + Num(fileSize / kMinFrameBytes) + " frames a file of " +
                              Num(fileSize) + " bytes can hold");
    if (size != 0 && (offset > fileSize || size > fileSize - offset))
        Fail(kOpenFailed, std::string(what) + " " + Num(draft_->samples.size()) + " points past the end of the file (offset " + Num(offset) +
                              ", size " + Num(size) + ", the file has " + Num(fileSize) + " bytes)");
    draft_->samples.push_back({size ? offset : 0, uint32_t(size), key});
}

namespace {

// An OpenDML index that cannot be used as it stands (the frames themselves may be sound).
struct IndexDamaged {
    std::string problem;
};

// An index entry must name a frame inside the file.
void CheckIndexEntry(uint64_t offset, uint64_t size, uint64_t fileSize, std::size_t entry) {
    if (size != 0 && (offset > fileSize || size > fileSize - offset))
        throw IndexDamaged{"entry " + Num(entry) + " points past the end of the file (offset " + Num(offset) + ", size " +
                           Num(size) + ", the file has " + Num(fileSize) + " bytes)"};
}

}  // namespace

// A damaged OpenDML index costs only the index: the frames are found by a scan of every
// 'movi' list instead (the 'idx1' index, when there is one, covers the first RIFF only).
bool AviFile::ReadOpenDmlIndexUnlessDamaged() {
    try {
        return ReadOpenDmlIndex();
    } catch (const IndexDamaged& d) {
        draft_->indexDamage = "OpenDML index damaged: " + d.problem;
        draft_->samples.clear();
        readIndexes_.clear();
        return false;
    }
}

bool AviFile::ReadOpenDmlIndex() {
    const uint8_t* p = indx_.data();
    const uint16_t longsPerEntry = U16(p);
    const uint8_t type = p[3];
    const uint32_t entries = U32(p + 4);
    if (type == kIndexOfChunks) {
        // A standard index kept in the stream list itself; rare, but allowed.
        const uint64_t entrySize = uint64_t(longsPerEntry) * 4;
        if (entrySize < 8 || 32 + uint64_t(entries) * entrySize > indx_.size()) return false;
        const uint64_t base = U64(p + 12);
        if (base > reader_->Size()) throw IndexDamaged{"the stream index gives a base offset past the end of the file"};
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = p + 24 + std::size_t(i) * entrySize;
            const uint32_t sz = U32(e + 4);
            CheckIndexEntry(base + U32(e), sz & ~kNotKeyFrame, reader_->Size(), draft_->samples.size());
            AddSample(base + U32(e), sz & ~kNotKeyFrame, !(sz & kNotKeyFrame), "index entry");
        }
        draft_->openDml = true;
        return !draft_->samples.empty();
    }
    if (type != kIndexOfIndexes || longsPerEntry != 4) return false;
    if (24 + uint64_t(entries) * 16 > indx_.size())
        throw IndexDamaged{"the super index lists " + Num(entries) + " entries but has room for " + Num((indx_.size() - 24) / 16)};
    if (entries == 0) return false;
    draft_->openDml = true;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* e = p + 24 + std::size_t(i) * 16;
        ReadStandardIndex(U64(e), i);
    }
    return true;
}

void AviFile::ReadStandardIndex(uint64_t pos, int64_t superEntry) {
    const uint64_t size = reader_->Size();
    const std::string which = "super index entry " + Num(uint64_t(superEntry));
    if (pos > size || size - pos < 32)
        throw IndexDamaged{which + " points past the end of the file (offset " + Num(pos) + ", the file has " + Num(size) + " bytes)"};
    uint8_t h[32];
    reader_->Read(pos, h, 32);
    const uint32_t csize = U32(h + 4);
    const uint16_t longsPerEntry = U16(h + 8);
    const uint8_t type = h[11];
    const uint32_t entries = U32(h + 12);
    const uint64_t base = U64(h + 20);
    if (csize < 24 || type != kIndexOfChunks || longsPerEntry < 2)
        throw IndexDamaged{which + " does not point to a standard index (offset " + Num(pos) + ")"};
    if (pos + 8 + csize > size)
        throw IndexDamaged{"the standard index at offset " + Num(pos) + " runs past the end of the file"};
    const uint64_t entrySize = uint64_t(longsPerEntry) * 4;
    if (uint64_t(entries) * entrySize > csize - 24)
        throw IndexDamaged{"the standard index at offset " + Num(pos) + " lists " + Num(entries) + " entries but holds " +
                              Num((csize - 24) / entrySize)};
    if (base > size) throw IndexDamaged{"the standard index at offset " + Num(pos) + " gives a base offset past the end of the file"};
    // An index the super index lists again, or one overlapping an index already read, names
    // no frames of its own: it is read once.
    const uint64_t end = pos + 8 + csize;
    const auto after = readIndexes_.lower_bound(pos);
    if (after != readIndexes_.end() && after->first < end) return;
    if (after != readIndexes_.begin() && std::prev(after)->second > pos) return;
    readIndexes_.emplace(pos, end);
    // Field indexes (three longs per entry) describe both fields of one frame chunk; the
    // frame is what we want, so they read like frame indexes.
    std::vector<AviIndex::Sample>& samples = draft_->samples;
    if (samples.capacity() < samples.size() + entries)
        samples.reserve(std::max<std::size_t>(samples.size() + entries, 2 * samples.capacity()));
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t e[8];
        reader_->Read(pos + 32 + uint64_t(i) * entrySize, e, 8);
        const uint32_t sz = U32(e + 4);
        CheckIndexEntry(base + U32(e), sz & ~kNotKeyFrame, size, samples.size());
        AddSample(base + U32(e), sz & ~kNotKeyFrame, !(sz & kNotKeyFrame), "index entry");
    }
}

bool AviFile::ReadLegacyIndex() {
    const uint64_t count = idx1Size_ / 16;
    const uint64_t size = reader_->Size();
    // Offsets count from the 'movi' list's type field, or, with some writers, from the
    // start of the file. The first entry tells which: its chunk header must be where the
    // entry says.
    std::vector<uint64_t> bases;
    if (!movi_.empty()) bases.push_back(movi_[0].begin - 4);
    bases.push_back(0);
    bool found = false;
    uint64_t base = 0;
    for (uint64_t i = 0; i < count && !found; ++i) {
        uint8_t e[16];
        reader_->Read(idx1Pos_ + 16 * i, e, 16);
        const uint32_t id = U32(e);
        if (id == kRec || (U32(e + 4) & 1)) continue;  // 'rec ' lists and other list entries
        for (uint64_t b : bases) {
            const uint64_t at = b + U32(e + 8);
            if (at + 8 <= size && reader_->ReadU32(at) == id && reader_->ReadU32(at + 4) == U32(e + 12)) {
                base = b;
                found = true;
                break;
            }
        }
        if (!found) {  // an index that does not match the data: scan instead
            draft_->indexDamage = "idx1 damaged: its entries do not point at the frame chunks";
            return false;
        }
    }
    if (!found) return false;
    if (const std::string damage = Idx1Damage(base, count); !damage.empty()) {
        draft_->indexDamage = "idx1 damaged: " + damage;
        return false;
    }
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t e[16];
        reader_->Read(idx1Pos_ + 16 * i, e, 16);
        if (!IsOurChunk(U32(e))) continue;
        AddSample(base + uint64_t(U32(e + 8)) + 8, U32(e + 12), (U32(e + 4) & kIdx1KeyFrame) != 0, "index entry");
    }
    // Writers that never mark key frames still write frames a decoder can start from.
    std::vector<AviIndex::Sample>& samples = draft_->samples;
    if (!samples.empty() && std::none_of(samples.begin(), samples.end(), [](const AviIndex::Sample& s) { return s.key && s.size; }))
        for (AviIndex::Sample& s : samples)
            if (s.size) { s.key = true; break; }
    return !samples.empty();
}

// Why the index cannot be used as it stands: an entry of our stream that lists a frame outside
// the file. Empty when every entry lies within it.
std::string AviFile::Idx1Damage(uint64_t base, uint64_t count) {
    const uint64_t size = reader_->Size();
    uint64_t frame = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t e[16];
        reader_->Read(idx1Pos_ + 16 * i, e, 16);
        if (!IsOurChunk(U32(e))) continue;
        const uint64_t offset = base + uint64_t(U32(e + 8)) + 8, bytes = U32(e + 12);
        if (bytes != 0 && (offset > size || bytes > size - offset))
            return "entry " + Num(frame) + " points past the end of the file (offset " + Num(offset) + ", size " + Num(bytes) +
                   ", the file has " + Num(size) + " bytes)";
        ++frame;
    }
    return {};
}

void AviFile::ScanMovi() {
    draft_->samples.clear();
    for (const Range& r : movi_) ScanMoviList(r.begin, r.end, 0);
}

void AviFile::ScanMoviList(uint64_t begin, uint64_t end, int depth) {
    bool haveKey = std::any_of(draft_->samples.begin(), draft_->samples.end(), [](const AviIndex::Sample& s) { return s.key; });
    for (uint64_t off = begin; off + 8 <= end;) {
        uint8_t h[12];
        reader_->Read(off, h, 8);
        const uint32_t id = U32(h), csize = U32(h + 4);
        if (off + 8 + csize > end)
            Fail(kOpenFailed, "the file ends inside the frame data (chunk " + Quoted(id) + " at offset " + Num(off) + " needs " +
                                  Num(csize) + " bytes, its list has " + Num(end - off - 8) + ")");
        if (id == kList && csize >= 4 && depth < kMaxListDepth && reader_->ReadU32(off + 8) == kRec) {
            ScanMoviList(off + 12, off + 8 + csize, depth + 1);
            haveKey = haveKey || std::any_of(draft_->samples.begin(), draft_->samples.end(), [](const AviIndex::Sample& s) { return s.key; });
        } else if (IsOurChunk(id)) {
            // Without an index nothing says which frames a decoder can start from but the first.
            const bool key = !haveKey && csize != 0;
            haveKey = haveKey || key;
            AddSample(off + 8, csize, key, "frame chunk");
        }
        off += 8 + csize + (csize & 1);
    }
}

uint32_t AviFile::SampleSize(int64_t position) const {
    if (position < index_->start || position - index_->start >= index_->length) return 0;
    const int64_t k = position - index_->start;
    return k < int64_t(index_->samples.size()) ? index_->samples[std::size_t(k)].size : 0;
}

int64_t AviFile::FindSample(int64_t position) const {
    const int64_t end = index_->start + std::min<int64_t>(index_->length, int64_t(index_->samples.size()));
    for (int64_t p = std::max(position, index_->start); p < end; ++p)
        if (index_->samples[std::size_t(p - index_->start)].size != 0) return p;
    return -1;
}

std::vector<int64_t> AviFile::DroppedFrames(std::size_t limit) const {
    std::vector<int64_t> dropped;
    const int64_t listed = std::min<int64_t>(index_->length, int64_t(index_->samples.size()));
    for (int64_t k = 0; k < listed && dropped.size() < limit; ++k)
        if (index_->samples[std::size_t(k)].size == 0) dropped.push_back(index_->start + k);
    // Positions past the end of the index have no frame at all.
    for (int64_t k = listed; k < index_->length && dropped.size() < limit; ++k) dropped.push_back(index_->start + k);
    return dropped;
}

int64_t AviFile::DroppedCount() const {
    const int64_t listed = std::min<int64_t>(index_->length, int64_t(index_->samples.size()));
    int64_t n = index_->length - listed;
    for (int64_t k = 0; k < listed; ++k) n += index_->samples[std::size_t(k)].size == 0;
    return n;
}

int64_t AviFile::SampleToShow(int64_t position) const {
    const int64_t n = int64_t(index_->samples.size());
    const int64_t k = position - index_->start;
    for (int64_t i = std::min(k, n - 1); i >= 0; --i)
        if (index_->samples[std::size_t(i)].size != 0) return i;
    for (int64_t i = k + 1; i < n; ++i)
        if (index_->samples[std::size_t(i)].size != 0) return i;
    return -1;
}

void AviFile::DecodeFrame(int64_t position, Bitmap24& out) { DecodeFrameRows(position, FrameRows::Whole(), out); }

FrameRows AviFile::DecodeFrameRows(int64_t position, const FrameRows& rows, Bitmap24& out) {
    if (position < index_->start || position - index_->start >= index_->length)
        Fail(kDecodeFailed, "frame " + std::to_string(position) + " lies outside the stream (" + std::to_string(index_->start) + " .. " +
                                std::to_string(index_->start + index_->length - 1) + ")");
    const int64_t k = SampleToShow(position);
    if (k < 0) Fail(kDecodeFailed, "the stream holds no frame data");
    bool band = false;
    try {
        band = !rows.IsWhole() && decoder_->DecodeRows(k, *source_, rows, out);
        if (!band) decoder_->Decode(k, *source_, out);
        // A frame of another size would be stacked against the others' places.
        if (out.Width() != Width() || out.Height() != Height())
            throw Error("the frame is " + Num(uint64_t(out.Width())) + " x " + Num(uint64_t(out.Height())) + ", the stream's frames are " +
                        Num(uint64_t(Width())) + " x " + Num(uint64_t(Height())));
    } catch (const Error& e) {
        Fail(kDecodeFailed, "frame " + std::to_string(position) + ": " + e.what());
    } catch (const std::bad_alloc&) {
        Fail(kDecodeFailed, "frame " + std::to_string(position) + ": not enough memory");
    }
    if (!band) return FrameRows::Whole();
    return {std::max(rows.First, 0), std::min(rows.Last, Height() - 1)};
}

bool AviFile::PredictsFrames() const { return decoder_->NeedsEarlierFrames(); }

FileInfo AviFile::Probe() const {
    FileInfo info;
    info.Format = "AVI";
    info.Width = Width();
    info.Height = Height();
    info.Bits = BitCount();
    info.Details.emplace_back("codec", Compression());
    info.Details.emplace_back("frames", std::to_string(index_->samples.size()));
    info.Details.emplace_back("dwStart", std::to_string(index_->start));
    info.Details.emplace_back("dwLength", std::to_string(index_->length));
    info.Details.emplace_back("OpenDML", index_->openDml ? "yes" : "no");
    switch (index_->kind) {
        case AviIndex::Kind::OpenDml: info.Details.emplace_back("index", "OpenDML"); break;
        case AviIndex::Kind::Idx1: info.Details.emplace_back("index", "idx1"); break;
        case AviIndex::Kind::Scanned:
            info.Details.emplace_back("index", index_->indexDamage.empty()
                                                   ? "none (frames found in the movi list)"
                                                   : "rebuilt from the movi list (" + index_->indexDamage + ")");
            break;
    }
    if (index_->headerWidth != 0)
        info.Details.emplace_back("frame size in header", Num(uint64_t(index_->headerWidth)) + " x " + Num(uint64_t(index_->headerHeight)));
    // A long list would drown the report; the count says the rest.
    constexpr std::size_t kListed = 100;
    const int64_t n = DroppedCount();
    std::string dropped;
    for (int64_t p : DroppedFrames(kListed)) {
        if (!dropped.empty()) dropped += ',';
        dropped += std::to_string(p);
    }
    if (n > int64_t(kListed)) dropped += ",... (" + std::to_string(n) + " in all)";
    info.Details.emplace_back("dropped", n ? dropped : "none");
    return info;
}

FileInfo ProbeAvi(const fs::path& file) { return AviFile(file).Probe(); }

}  // namespace talvenor
