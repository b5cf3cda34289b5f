#include "capture/avi_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "imagefiles/jpeg_file.h"
#include "capture/stream_file.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

constexpr uint32_t kKeyFrame = 0x10;        // AVIIF_KEYFRAME in idx1
constexpr uint32_t kHasIndex = 0x10;        // AVIF_HASINDEX
constexpr uint32_t kIsInterleaved = 0x100;  // AVIF_ISINTERLEAVED
constexpr uint32_t kSuperEntries = 512;     // RIFFs the 'indx' super index has room for
constexpr uint32_t kSuperIndexBytes = 24 + 16 * kSuperEntries;
constexpr uint32_t kOdmlBytes = 4 + 8 + 248;  // 'odml' + the dmlh chunk
constexpr std::size_t kFileBuffer = std::size_t(1) << 20;

uint32_t Fourcc(const char* f) {
    return uint32_t(uint8_t(f[0])) | uint32_t(uint8_t(f[1])) << 8 | uint32_t(uint8_t(f[2])) << 16 |
           uint32_t(uint8_t(f[3])) << 24;
}

}  // namespace

AviWriter::AviWriter(const std::filesystem::path& path, const AviWriterOptions& options)
    : path_(path), opt_(options) {
    if (opt_.width < 1 || opt_.height < 1 || opt_.width > 32767 || opt_.height > 32767)
        throw Error(path_.string() + ": cannot write an AVI of " + std::to_string(opt_.width) + " x " +
                    std::to_string(opt_.height) + " pixels");
    if (opt_.rate == 0 || opt_.scale == 0) throw Error(path_.string() + ": frame rate must not be zero");
    // Standard-index offsets are 32 bits from the start of their movi list.
    opt_.riffLimit = std::clamp<uint64_t>(opt_.riffLimit, 4096, uint64_t(1) << 31);
    file_ = std::fopen(path_.string().c_str(), "wb");
    if (!file_) throw Error(path_.string() + ": cannot create (" + std::strerror(errno) + ")");
    std::setvbuf(file_, nullptr, _IOFBF, kFileBuffer);
    WriteHeaders();
}

AviWriter::~AviWriter() {
    if (!file_) return;
    if (!closed_) {
        try {
            Close();
        } catch (...) {
        }
    }
    if (file_) std::fclose(file_);
}

std::size_t AviWriter::RawFrameBytes() const {
    const int bits = opt_.codec == AviCodec::Grey8 ? 8 : 24;
    return DibStride(opt_.width, bits) * std::size_t(opt_.height);
}

void AviWriter::Fail(const char* what) {
    throw Error(path_.string() + ": " + what + " (" + std::strerror(errno) + ")");
}

void AviWriter::Put(const void* data, std::size_t n) {
    if (n && std::fwrite(data, 1, n, file_) != n) Fail("write failed");
    pos_ += n;
}

void AviWriter::Put16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    Put(b, 2);
}

void AviWriter::Put32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Put(b, 4);
}

void AviWriter::Put64(uint64_t v) {
    Put32(uint32_t(v));
    Put32(uint32_t(v >> 32));
}

void AviWriter::PutFourcc(const char* f) { Put(f, 4); }

void AviWriter::Patch32(uint64_t at, uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    if (std::fseek(file_, long(at), SEEK_SET) != 0 || std::fwrite(b, 1, 4, file_) != 4 ||
        std::fseek(file_, long(pos_), SEEK_SET) != 0)
        Fail("write failed");
}

void AviWriter::PatchFourcc(uint64_t at, const char* f) { Patch32(at, Fourcc(f)); }

void AviWriter::WriteHeaders() {
    const bool grey = opt_.codec == AviCodec::Grey8;
    const uint32_t paletteBytes = grey ? 1024 : 0;
    const uint32_t strfBytes = 40 + paletteBytes;
    const uint32_t strlBytes = 4 + (8 + 56) + (8 + strfBytes) + (8 + kSuperIndexBytes);
    const uint32_t hdrlBytes = 4 + (8 + 56) + (8 + strlBytes) + (8 + kOdmlBytes);

    riffStart_ = 0;
    PutFourcc("RIFF");
    Put32(0);  // patched
    PutFourcc("AVI ");
    PutFourcc("LIST");
    Put32(hdrlBytes);
    PutFourcc("hdrl");

    PutFourcc("avih");
    Put32(56);
    avihAt_ = Tell();
    Put32(uint32_t(1000000.0 * opt_.scale / opt_.rate + 0.5));  // microseconds per frame
    Put32(0);                                                  // max bytes per second, patched
    Put32(0);                                                  // padding granularity
    Put32(kHasIndex | kIsInterleaved);
    Put32(0);  // total frames (of the first RIFF), patched
    Put32(0);  // initial frames
    Put32(1);  // streams
    Put32(0);  // suggested buffer size, patched
    Put32(uint32_t(opt_.width));
    Put32(uint32_t(opt_.height));
    for (int i = 0; i < 4; ++i) Put32(0);

    PutFourcc("LIST");
    Put32(strlBytes);
    PutFourcc("strl");
    PutFourcc("strh");
    Put32(56);
    strhAt_ = Tell();
    PutFourcc("vids");
    PutFourcc(opt_.codec == AviCodec::Mjpeg ? "MJPG" : "DIB ");
    Put32(0);  // flags
    Put16(0);  // priority
    Put16(0);  // language
    Put32(0);  // initial frames
    Put32(opt_.scale);
    Put32(opt_.rate);
    Put32(0);  // start
    Put32(0);  // length, patched
    Put32(0);  // suggested buffer size, patched
    Put32(0xFFFFFFFFu);  // quality: default
    Put32(0);            // sample size: frames vary (dropped frames are empty)
    Put16(0);
    Put16(0);
    Put16(uint16_t(opt_.width));
    Put16(uint16_t(opt_.height));

    PutFourcc("strf");
    Put32(strfBytes);
    Put32(40);
    Put32(uint32_t(opt_.width));
    Put32(uint32_t(opt_.height));  // positive: rows bottom-up
    Put16(1);
    Put16(grey ? 8 : 24);
    Put32(opt_.codec == AviCodec::Mjpeg ? Fourcc("MJPG") : 0);
    Put32(opt_.codec == AviCodec::Mjpeg ? uint32_t(opt_.width) * uint32_t(opt_.height) * 3 : uint32_t(RawFrameBytes()));
    Put32(0);
    Put32(0);
    Put32(grey ? 256 : 0);
    Put32(grey ? 256 : 0);
    if (grey)
        for (int i = 0; i < 256; ++i) {
            const uint8_t q[4] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
            Put(q, 4);
        }

    // Room for the OpenDML super index and frame count, left as JUNK (which every reader
    // skips) unless the file grows past one RIFF.
    const std::vector<uint8_t> zeros(kSuperIndexBytes, 0);
    indxAt_ = Tell();
    PutFourcc("JUNK");
    Put32(kSuperIndexBytes);
    Put(zeros.data(), kSuperIndexBytes);
    odmlAt_ = Tell();
    PutFourcc("JUNK");
    Put32(kOdmlBytes);
    Put(zeros.data(), kOdmlBytes);

    moviStart_ = Tell();
    PutFourcc("LIST");
    Put32(0);  // patched
    PutFourcc("movi");
    riffFirstFrame_ = 0;
}

void AviWriter::BeginRiff(bool first) {
    if (first) return;  // the first RIFF was opened by WriteHeaders
    ++riffCount_;
    riffStart_ = Tell();
    PutFourcc("RIFF");
    Put32(0);
    PutFourcc("AVIX");
    moviStart_ = Tell();
    PutFourcc("LIST");
    Put32(0);
    PutFourcc("movi");
    riffFirstFrame_ = index_.size();
}

void AviWriter::FinishRiff() {
    const std::size_t first = riffFirstFrame_, count = index_.size() - riffFirstFrame_;
    const bool firstRiff = riffStart_ == 0;
    if (openDml_) {
        if (riffs_.size() >= kSuperEntries) throw Error(path_.string() + ": too many RIFF parts for the super index");
        // Standard index: offsets point at the chunk data, relative to the movi list.
        const uint64_t ixAt = Tell();
        const uint64_t base = moviStart_;
        PutFourcc("ix00");
        Put32(uint32_t(24 + 8 * count));
        Put16(2);  // longs per entry
        const uint8_t types[2] = {0, 1};  // sub type 0, AVI_INDEX_OF_CHUNKS
        Put(types, 2);
        Put32(uint32_t(count));
        PutFourcc("00dc");
        Put64(base);
        Put32(0);
        for (std::size_t i = first; i < first + count; ++i) {
            Put32(uint32_t(index_[i].offset + 8 - base));
            Put32(index_[i].size);  // bit 31 clear: every frame is a key frame
        }
        riffs_.push_back({ixAt, uint32_t(Tell() - ixAt), uint32_t(count)});
    }
    Patch32(moviStart_ + 4, uint32_t(Tell() - (moviStart_ + 8)));
    if (firstRiff) {
        // idx1 offsets count from the 'movi' tag, as Video for Windows writes them.
        firstRiffFrames_ = uint32_t(count);
        PutFourcc("idx1");
        Put32(uint32_t(16 * count));
        for (std::size_t i = first; i < first + count; ++i) {
            PutFourcc("00dc");
            Put32(index_[i].dropped ? 0 : kKeyFrame);
            Put32(uint32_t(index_[i].offset - (moviStart_ + 8)));
            Put32(index_[i].size);
        }
    }
    Patch32(riffStart_ + 4, uint32_t(Tell() - (riffStart_ + 8)));
}

void AviWriter::WriteChunk(const char fourcc[4], std::span<const uint8_t> payload) {
    if (closed_) throw Error(path_.string() + ": frame added after the file was closed");
    const uint64_t padded = payload.size() + (payload.size() & 1);
    if (payload.size() > 0x7FFFFFFFu) throw Error(path_.string() + ": frame too large for an AVI chunk");
    const uint64_t inRiff = index_.size() - riffFirstFrame_;
    // What this RIFF would hold with the chunk and its share of the indexes.
    const uint64_t indexBytes = 32 + 8 * (inRiff + 1) + (riffStart_ == 0 ? 8 + 16 * (inRiff + 1) : 0);
    if (inRiff > 0 && Tell() + 8 + padded + indexBytes - riffStart_ > opt_.riffLimit) {
        openDml_ = true;
        FinishRiff();
        BeginRiff(false);
    }
    index_.push_back({Tell(), uint32_t(payload.size()), payload.empty()});
    PutFourcc(fourcc);
    Put32(uint32_t(payload.size()));
    Put(payload.data(), payload.size());
    if (payload.size() & 1) {
        const uint8_t zero = 0;
        Put(&zero, 1);
    }
    maxChunk_ = std::max(maxChunk_, uint32_t(payload.size()));
}

void AviWriter::AddEncodedFrame(std::span<const uint8_t> payload) {
    if (payload.empty()) throw Error(path_.string() + ": empty frame (use a dropped frame)");
    if (opt_.codec != AviCodec::Mjpeg && payload.size() != RawFrameBytes())
        throw Error(path_.string() + ": frame of " + std::to_string(payload.size()) + " bytes, expected " +
                    std::to_string(RawFrameBytes()));
    WriteChunk("00dc", payload);
}

void AviWriter::AddDroppedFrame() { WriteChunk("00dc", {}); }

void AviWriter::AddFrame(const Bitmap24& picture) {
    if (picture.Width() != opt_.width || picture.Height() != opt_.height)
        throw Error(path_.string() + ": frame of " + std::to_string(picture.Width()) + " x " +
                    std::to_string(picture.Height()) + " pixels in a " + std::to_string(opt_.width) + " x " +
                    std::to_string(opt_.height) + " video");
    switch (opt_.codec) {
        case AviCodec::Mjpeg: {
            const std::vector<uint8_t> jpeg = EncodeJpeg(picture, path_.string());
            WriteChunk("00dc", jpeg);
            return;
        }
        case AviCodec::Rgb24: {
            const std::size_t stride = DibStride(opt_.width, 24);
            buffer_.assign(RawFrameBytes(), 0);
            for (int y = 0; y < opt_.height; ++y)
                std::memcpy(buffer_.data() + std::size_t(opt_.height - 1 - y) * stride, picture.Row(y),
                            picture.Stride());
            break;
        }
        case AviCodec::Grey8: {
            const std::size_t stride = DibStride(opt_.width, 8);
            buffer_.assign(RawFrameBytes(), 0);
            for (int y = 0; y < opt_.height; ++y) {
                const uint8_t* src = picture.Row(y);
                uint8_t* dst = buffer_.data() + std::size_t(opt_.height - 1 - y) * stride;
                for (int x = 0; x < opt_.width; ++x) dst[x] = src[3 * x + 1];
            }
            break;
        }
    }
    WriteChunk("00dc", buffer_);
}

void AviWriter::AddGreyFrame(std::span<const uint8_t> grey) {
    if (opt_.codec != AviCodec::Grey8) throw Error(path_.string() + ": grey frame given to a colour video");
    if (grey.size() != std::size_t(opt_.width) * std::size_t(opt_.height))
        throw Error(path_.string() + ": grey frame of " + std::to_string(grey.size()) + " bytes, expected " +
                    std::to_string(std::size_t(opt_.width) * std::size_t(opt_.height)));
    const std::size_t stride = DibStride(opt_.width, 8);
    buffer_.assign(RawFrameBytes(), 0);
    for (int y = 0; y < opt_.height; ++y)
        std::memcpy(buffer_.data() + std::size_t(opt_.height - 1 - y) * stride,
                    grey.data() + std::size_t(y) * std::size_t(opt_.width), std::size_t(opt_.width));
    WriteChunk("00dc", buffer_);
}

void AviWriter::PatchHeaders() {
    const uint32_t total = uint32_t(index_.size());
    const double fps = double(opt_.rate) / double(opt_.scale);
    const uint32_t suggested = ((maxChunk_ + 8 + 1023) / 1024) * 1024;
    Patch32(avihAt_ + 4, uint32_t(std::min(4294967295.0, maxChunk_ * fps)));
    // OpenDML: avih counts the first RIFF's frames, dmlh and the stream header all of them.
    Patch32(avihAt_ + 16, openDml_ ? firstRiffFrames_ : total);
    Patch32(avihAt_ + 28, suggested);
    Patch32(strhAt_ + 32, total);
    Patch32(strhAt_ + 36, suggested);
    if (!openDml_) return;

    PatchFourcc(indxAt_, "indx");
    std::vector<uint8_t> indx;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) indx.push_back(uint8_t(v >> (8 * i)));
    };
    put32(4 | (0u << 16) | (0u << 24));  // longs per entry 4, sub type 0, AVI_INDEX_OF_INDEXES
    put32(uint32_t(riffs_.size()));
    put32(Fourcc("00dc"));
    put32(0);
    put32(0);
    put32(0);
    for (const RiffPart& r : riffs_) {
        put32(uint32_t(r.ixOffset));
        put32(uint32_t(r.ixOffset >> 32));
        put32(r.ixSize);
        put32(r.frames);
    }
    if (std::fseek(file_, long(indxAt_ + 8), SEEK_SET) != 0 ||
        std::fwrite(indx.data(), 1, indx.size(), file_) != indx.size())
        Fail("write failed");

    PatchFourcc(odmlAt_, "LIST");
    PatchFourcc(odmlAt_ + 8, "odml");
    PatchFourcc(odmlAt_ + 12, "dmlh");
    Patch32(odmlAt_ + 16, 248);
    Patch32(odmlAt_ + 20, total);
}

void AviWriter::Close() {
    if (closed_) return;
    closed_ = true;
    FinishRiff();
    PatchHeaders();
    if (!FinishStreamFile(file_)) Fail("write failed");
}

void AviWriter::Discard() {
    closed_ = true;
    DiscardStreamFile(file_, path_);
}

}  // namespace talvenor::capture
