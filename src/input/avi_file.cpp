#include "input/avi_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "workspace/error.h"
#include "workspace/random_access_file.h"

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

    int64_t SampleCount() const override { return int64_t(file_.samples_.size()); }

    std::span<const uint8_t> ReadSample(int64_t k) override {
        if (k < 0 || k >= SampleCount()) return {};
        const Sample& s = file_.samples_[std::size_t(k)];
        if (s.size == 0) return {};
        // Zeroed bytes after the data: libavcodec's bit readers may look a little ahead.
        constexpr std::size_t kTail = 64;
        if (buffer_.size() < s.size + kTail) buffer_.resize(s.size + kTail);
        file_.reader_->Read(s.offset, buffer_.data(), s.size);
        std::memset(buffer_.data() + s.size, 0, kTail);
        return {buffer_.data(), s.size};
    }

    bool IsKeySample(int64_t k) const override {
        if (k < 0 || k >= SampleCount()) return false;
        const Sample& s = file_.samples_[std::size_t(k)];
        return s.size != 0 && s.key;
    }

    bool IsEmptySample(int64_t k) const override {
        return k < 0 || k >= SampleCount() || file_.samples_[std::size_t(k)].size == 0;
    }

private:
    AviFile& file_;
    std::vector<uint8_t> buffer_;
};

AviFile::AviFile(const fs::path& file) : name_(file.filename().string()) {
    try {
        reader_ = std::make_unique<Reader>(file);
        ParseFile();
    } catch (const ReadFailure& e) {
        Fail(kOpenFailed, e.what());
    } catch (const std::bad_alloc&) {
        Fail(kOpenFailed, "not enough memory for the file's index");
    }
    source_ = std::make_unique<Source>(*this);

    try {
        decoder_ = MakeAviFrameDecoder(format_);
    } catch (const Error& e) {
        Fail(kNoDecoder, e.what());
    }
    if (!decoder_) {
        const uint32_t c = format_.Compression;
        const bool dib = c == 0 || c == 3 || c == FourCC("DIB ") || c == FourCC("RGB ") || c == FourCC("RAW ");
        std::string text = std::string(kNoDecoder) + ": codec '" + Compression() + "'";
        if (dib) text += " with " + std::to_string(format_.BitCount) + " bits per pixel";
        throw Error(text + " is not supported (" + name_ + ")");
    }
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
        openDml_ = true;
        const uint64_t end = off + 8 + U32(h + 4);
        walkRiff(off + 12, std::min(end, size), false);
        off = end + (end & 1);
    }

    if (!haveVideo_) Fail(kNoStream, "the file holds no video stream");
    if (!indx_.empty() && ReadOpenDmlIndex())
        index_ = IndexKind::OpenDml;
    else if (idx1Size_ && ReadLegacyIndex())
        index_ = IndexKind::Idx1;
    else
        ScanMovi();

    // Some writers only keep the first RIFF's count in the stream header; the OpenDML
    // header then has the true total.
    if (openDml_ && dmlFrames_ > length_ && int64_t(samples_.size()) >= dmlFrames_) length_ = dmlFrames_;
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
                openDml_ = true;
                for (uint64_t o = data + 4; o + 8 <= dataEnd;) {
                    const uint32_t cid = reader_->ReadU32(o), cs = reader_->ReadU32(o + 4);
                    if (o + 8 + cs > dataEnd) break;
                    if (cid == kDmlh && cs >= 4) {
                        const uint32_t total = reader_->ReadU32(o + 8);
                        // A count the file cannot hold is ignored, like any other hint.
                        if (uint64_t(total) * 8 <= reader_->Size()) dmlFrames_ = total;
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
    format_.Handler = U32(strh + 4);
    start_ = U32(strh + 28);
    length_ = U32(strh + 32);
    // Every frame, even a dropped one, takes at least a chunk header or an index entry.
    if (uint64_t(length_) * 8 > reader_->Size())
        Fail(kNoInfo, "the stream header claims " + Num(uint64_t(length_)) + " frames, more than a file of " +
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
    format_.Width = width;
    format_.Height = height < 0 ? -height : height;
    format_.TopDown = height < 0;
    format_.BitCount = U16(&strf[14]);
    format_.Compression = U32(&strf[16]);
    const uint32_t clrUsed = U32(&strf[32]);
    format_.Extra.assign(strf.begin() + 40, strf.end());
    if (format_.Compression == 3 && strfSize >= 52)
        format_.Masks = {U32(&strf[40]), U32(&strf[44]), U32(&strf[48])};
    // The colour table follows the header (whose size is biSize, 40 for the classic one).
    if (format_.BitCount >= 1 && format_.BitCount <= 8) {
        const std::size_t table = (biSize >= 40 && biSize <= strfSize) ? biSize : 40;
        std::size_t count = clrUsed ? clrUsed : std::size_t(1) << format_.BitCount;
        count = std::min({count, std::size_t(256), (strfSize - table) / 4});
        for (std::size_t i = 0; i < count; ++i) {
            const uint8_t* e = &strf[table + 4 * i];
            format_.Palette.push_back(Bgr{e[0], e[1], e[2]});
        }
    }

    if (haveIndx && indxSize >= 24 && indxSize <= kMaxSuperIndex) {
        indx_.resize(indxSize);
        reader_->Read(indxPos, indx_.data(), indxSize);
    }
}

void AviFile::AddSample(uint64_t offset, uint64_t size, bool key, const char* what) {
    const uint64_t fileSize = reader_->Size();
    if (size != 0 && (offset > fileSize || size > fileSize - offset))
        Fail(kOpenFailed, std::string(what) + " " + Num(samples_.size()) + " points past the end of the file (offset " + Num(offset) +
                              ", size " + Num(size) + ", the file has " + Num(fileSize) + " bytes)");
    samples_.push_back({size ? offset : 0, uint32_t(size), key});
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
        if (base > reader_->Size()) Fail(kOpenFailed, "the stream index gives a base offset past the end of the file");
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* e = p + 24 + std::size_t(i) * entrySize;
            const uint32_t sz = U32(e + 4);
            AddSample(base + U32(e), sz & ~kNotKeyFrame, !(sz & kNotKeyFrame), "index entry");
        }
        openDml_ = true;
        return !samples_.empty();
    }
    if (type != kIndexOfIndexes || longsPerEntry != 4) return false;
    if (24 + uint64_t(entries) * 16 > indx_.size())
        Fail(kOpenFailed, "the super index lists " + Num(entries) + " entries but has room for " + Num((indx_.size() - 24) / 16));
    if (entries == 0) return false;
    openDml_ = true;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* e = p + 24 + std::size_t(i) * 16;
        ReadStandardIndex(U64(e), U32(e + 8), i);
    }
    return true;
}

void AviFile::ReadStandardIndex(uint64_t pos, uint64_t, int64_t superEntry) {
    const uint64_t size = reader_->Size();
    const std::string which = "super index entry " + Num(uint64_t(superEntry));
    if (pos > size || size - pos < 32)
        Fail(kOpenFailed, which + " points past the end of the file (offset " + Num(pos) + ", the file has " + Num(size) + " bytes)");
    uint8_t h[32];
    reader_->Read(pos, h, 32);
    const uint32_t csize = U32(h + 4);
    const uint16_t longsPerEntry = U16(h + 8);
    const uint8_t type = h[11];
    const uint32_t entries = U32(h + 12);
    const uint64_t base = U64(h + 20);
    if (csize < 24 || type != kIndexOfChunks || longsPerEntry < 2)
        Fail(kOpenFailed, which + " does not point to a standard index (offset " + Num(pos) + ")");
    if (pos + 8 + csize > size)
        Fail(kOpenFailed, "the standard index at offset " + Num(pos) + " runs past the end of the file");
    const uint64_t entrySize = uint64_t(longsPerEntry) * 4;
    if (uint64_t(entries) * entrySize > csize - 24)
        Fail(kOpenFailed, "the standard index at offset " + Num(pos) + " lists " + Num(entries) + " entries but holds " +
                              Num((csize - 24) / entrySize));
    if (base > size) Fail(kOpenFailed, "the standard index at offset " + Num(pos) + " gives a base offset past the end of the file");
    // Field indexes (three longs per entry) describe both fields of one frame chunk; the
    // frame is what we want, so they read like frame indexes.
    samples_.reserve(samples_.size() + entries);
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t e[8];
        reader_->Read(pos + 32 + uint64_t(i) * entrySize, e, 8);
        const uint32_t sz = U32(e + 4);
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
        if (!found) return false;  // an index that does not match the data: scan instead
    }
    if (!found) return false;
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t e[16];
        reader_->Read(idx1Pos_ + 16 * i, e, 16);
        if (!IsOurChunk(U32(e))) continue;
        AddSample(base + uint64_t(U32(e + 8)) + 8, U32(e + 12), (U32(e + 4) & kIdx1KeyFrame) != 0, "index entry");
    }
    // Writers that never mark key frames still write frames a decoder can start from.
    if (!samples_.empty() && std::none_of(samples_.begin(), samples_.end(), [](const Sample& s) { return s.key && s.size; }))
        for (Sample& s : samples_)
            if (s.size) { s.key = true; break; }
    return !samples_.empty();
}

void AviFile::ScanMovi() {
    samples_.clear();
    for (const Range& r : movi_) ScanMoviList(r.begin, r.end, 0);
}

void AviFile::ScanMoviList(uint64_t begin, uint64_t end, int depth) {
    bool haveKey = std::any_of(samples_.begin(), samples_.end(), [](const Sample& s) { return s.key; });
    for (uint64_t off = begin; off + 8 <= end;) {
        uint8_t h[12];
        reader_->Read(off, h, 8);
        const uint32_t id = U32(h), csize = U32(h + 4);
        if (off + 8 + csize > end)
            Fail(kOpenFailed, "the file ends inside the frame data (chunk " + Quoted(id) + " at offset " + Num(off) + " needs " +
                                  Num(csize) + " bytes, its list has " + Num(end - off - 8) + ")");
        if (id == kList && csize >= 4 && depth < kMaxListDepth && reader_->ReadU32(off + 8) == kRec) {
            ScanMoviList(off + 12, off + 8 + csize, depth + 1);
            haveKey = haveKey || std::any_of(samples_.begin(), samples_.end(), [](const Sample& s) { return s.key; });
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
    if (position < start_ || position - start_ >= length_) return 0;
    const int64_t k = position - start_;
    return k < int64_t(samples_.size()) ? samples_[std::size_t(k)].size : 0;
}

int64_t AviFile::FindSample(int64_t position) const {
    const int64_t end = start_ + std::min<int64_t>(length_, int64_t(samples_.size()));
    for (int64_t p = std::max(position, start_); p < end; ++p)
        if (samples_[std::size_t(p - start_)].size != 0) return p;
    return -1;
}

std::vector<int64_t> AviFile::DroppedFrames(std::size_t limit) const {
    std::vector<int64_t> dropped;
    const int64_t listed = std::min<int64_t>(length_, int64_t(samples_.size()));
    for (int64_t k = 0; k < listed && dropped.size() < limit; ++k)
        if (samples_[std::size_t(k)].size == 0) dropped.push_back(start_ + k);
    // Positions past the end of the index have no frame at all.
    for (int64_t k = listed; k < length_ && dropped.size() < limit; ++k) dropped.push_back(start_ + k);
    return dropped;
}

int64_t AviFile::DroppedCount() const {
    const int64_t listed = std::min<int64_t>(length_, int64_t(samples_.size()));
    int64_t n = length_ - listed;
    for (int64_t k = 0; k < listed; ++k) n += samples_[std::size_t(k)].size == 0;
    return n;
}

int64_t AviFile::SampleToShow(int64_t position) const {
    const int64_t n = int64_t(samples_.size());
    const int64_t k = position - start_;
    for (int64_t i = std::min(k, n - 1); i >= 0; --i)
        if (samples_[std::size_t(i)].size != 0) return i;
    for (int64_t i = k + 1; i < n; ++i)
        if (samples_[std::size_t(i)].size != 0) return i;
    return -1;
}

void AviFile::DecodeFrame(int64_t position, Bitmap24& out) {
    if (position < start_ || position - start_ >= length_)
        Fail(kDecodeFailed, "frame " + std::to_string(position) + " lies outside the stream (" + std::to_string(start_) + " .. " +
                                std::to_string(start_ + length_ - 1) + ")");
    const int64_t k = SampleToShow(position);
    if (k < 0) Fail(kDecodeFailed, "the stream holds no frame data");
    try {
        decoder_->Decode(k, *source_, out);
    } catch (const Error& e) {
        Fail(kDecodeFailed, "frame " + std::to_string(position) + ": " + e.what());
    } catch (const std::bad_alloc&) {
        Fail(kDecodeFailed, "frame " + std::to_string(position) + ": not enough memory");
    }
}

FileInfo AviFile::Probe() const {
    FileInfo info;
    info.Format = "AVI";
    info.Width = Width();
    info.Height = Height();
    info.Bits = BitCount();
    info.Details.emplace_back("codec", Compression());
    info.Details.emplace_back("frames", std::to_string(samples_.size()));
    info.Details.emplace_back("dwStart", std::to_string(start_));
    info.Details.emplace_back("dwLength", std::to_string(length_));
    info.Details.emplace_back("OpenDML", openDml_ ? "yes" : "no");
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
