#include "input/ser_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "workspace/error.h"
#include "workspace/random_access_file.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

constexpr char kSignature[] = "LUCAM-RECORDER";
constexpr std::size_t kSignatureSize = 14;
constexpr int32_t kMaxSide = 1 << 20;
// The byte order is judged on at most this much of the first frame.
constexpr std::size_t kOrderSampleBytes = 2u << 20;

inline uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }
inline int64_t I64(const uint8_t* p) { return int64_t(uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32); }

std::string Text(const uint8_t* p, std::size_t n) {
    std::string s(reinterpret_cast<const char*>(p), n);
    s.resize(std::min(s.find('\0'), s.size()));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

std::string Num(uint64_t v) { return std::to_string(v); }

using ReadFailure = FileReadFailure;

}  // namespace

const char* SerColourName(SerColour colour) {
    switch (colour) {
        case SerColour::Mono: return "MONO";
        case SerColour::BayerRggb: return "RGGB";
        case SerColour::BayerGrbg: return "GRBG";
        case SerColour::BayerGbrg: return "GBRG";
        case SerColour::BayerBggr: return "BGGR";
        case SerColour::Rgb: return "RGB";
        case SerColour::Bgr: return "BGR";
    }
    return "?";
}

SerHeader ReadSerHeader(std::span<const uint8_t> bytes, const std::string& name) {
    auto fail = [&](const std::string& problem) -> void { throw Error(name + ": " + problem); };
    if (bytes.size() < kSerHeaderSize)
        fail("the file is too short for a SER header (" + Num(bytes.size()) + " of " + Num(kSerHeaderSize) + " bytes)");
    const uint8_t* p = bytes.data();
    if (std::memcmp(p, kSignature, kSignatureSize) != 0) fail("not a SER file (no LUCAM-RECORDER signature)");

    SerHeader h;
    h.LuId = I32(p + 14);
    h.ColorId = I32(p + 18);
    h.LittleEndian = I32(p + 22);
    h.Width = I32(p + 26);
    h.Height = I32(p + 30);
    h.PixelDepth = I32(p + 34);
    h.FrameCount = I32(p + 38);
    h.Observer = Text(p + 42, 40);
    h.Instrument = Text(p + 82, 40);
    h.Telescope = Text(p + 122, 40);
    h.DateTime = I64(p + 162);
    h.DateTimeUtc = I64(p + 170);

    switch (h.ColorId) {
        case 0: h.Colour = SerColour::Mono; break;
        case 8: h.Colour = SerColour::BayerRggb; break;
        case 9: h.Colour = SerColour::BayerGrbg; break;
        case 10: h.Colour = SerColour::BayerGbrg; break;
        case 11: h.Colour = SerColour::BayerBggr; break;
        case 100: h.Colour = SerColour::Rgb; break;
        case 101: h.Colour = SerColour::Bgr; break;
        case 16: case 17: case 18: case 19: {
            static constexpr const char* kCym[] = {"CYYM", "YCMY", "YMCY", "MYYC"};
            fail(std::string("the colour pattern ") + kCym[h.ColorId - 16] + " (ColorID " + std::to_string(h.ColorId) +
                 ") is not supported: only MONO, RGGB, GRBG, GBRG, BGGR, RGB and BGR frames can be read");
            break;
        }
        default: fail("unknown colour layout (ColorID " + std::to_string(h.ColorId) + ")");
    }
    if (h.Width <= 0 || h.Height <= 0 || h.Width > kMaxSide || h.Height > kMaxSide)
        fail("unusable frame size " + std::to_string(h.Width) + " x " + std::to_string(h.Height));
    if (h.PixelDepth < 1 || h.PixelDepth > 16)
        fail("unusable pixel depth " + std::to_string(h.PixelDepth) + " (1 to 16 bits per sample)");
    if (h.FrameCount < 0) fail("negative frame count " + std::to_string(h.FrameCount));
    return h;
}

// The header's LittleEndian flag cannot be trusted: some capture programs write it
// inverted. So the data decides, on the first frame:
//   1. the order in which fewer samples exceed the header's depth wins (a 12-bit camera read
//      the wrong way round puts its noisy low byte on top and overflows 12 bits at once);
//   2. then the order whose samples are smoother wins: the summed difference between each
//      sample and the previous one of the same plane (the wrong order turns small changes
//      of the low byte into steps of 256);
//   3. then the order whose high bytes sum smaller wins;
//   4. and data that still cannot tell (constant frames) follows the flag as documented.
namespace {
// 100 ns ticks since 1 January of year 1 at the start of 1900 and of 2200.
constexpr int64_t kTicks1900 = 599266080000000000LL, kTicks2200 = 693937152000000000LL;
}  // namespace

bool PlausibleTimestamps(const std::vector<int64_t>& stamps) {
    for (std::size_t k = 0; k < stamps.size(); ++k) {
        if (stamps[k] < kTicks1900 || stamps[k] > kTicks2200) return false;
        if (k > 0 && stamps[k] < stamps[k - 1]) return false;
    }
    return true;
}

bool DetectSerLittleEndian(std::span<const uint8_t> data, int depth, int planes, bool flagSaysLittle) {
    const std::size_t n = data.size() / 2;
    const uint32_t limit = depth >= 16 ? 0xFFFFu : (1u << depth) - 1;
    const std::size_t stride = std::size_t(std::max(planes, 1));
    int64_t overLE = 0, overBE = 0, roughLE = 0, roughBE = 0, highLE = 0, highBE = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const uint8_t a = data[2 * k], b = data[2 * k + 1];
        const int le = a | b << 8, be = b | a << 8;
        overLE += uint32_t(le) > limit;
        overBE += uint32_t(be) > limit;
        highLE += b;
        highBE += a;
        if (k >= stride) {
            const uint8_t pa = data[2 * (k - stride)], pb = data[2 * (k - stride) + 1];
            roughLE += std::abs(le - (pa | pb << 8));
            roughBE += std::abs(be - (pb | pa << 8));
        }
    }
    // Only an order that keeps every sample within the stated depth settles it: samples stored
    // left-aligned (12 bits shifted up by 4) exceed it either way, and smoothness decides.
    if ((overLE == 0) != (overBE == 0)) return overLE == 0;
    if (roughLE != roughBE) return roughLE < roughBE;
    if (highLE != highBE) return highLE < highBE;
    return flagSaysLittle;
}

// Reads at 64-bit positions through one file handle; every read is checked against the
// size found when the file was opened.
class SerFile::Reader {
public:
    explicit Reader(const fs::path& file) : file_(Open(file)) {}
    uint64_t Size() const { return file_.Size(); }
    void Read(uint64_t pos, void* dst, std::size_t n) { file_.Read(pos, dst, n); }

private:
    static RandomAccessFile Open(const fs::path& file) {
        try {
            return RandomAccessFile(file);
        } catch (const FileReadFailure& e) {
            throw ReadFailure(std::string("cannot be opened (") + e.what() + ")");
        }
    }
    RandomAccessFile file_;
};

SerFile::SerFile(const fs::path& file, SerByteOrder order) : name_(file.filename().string()) {
    try {
        reader_ = std::make_unique<Reader>(file);
        uint8_t head[kSerHeaderSize];
        const std::size_t got = std::size_t(std::min<uint64_t>(reader_->Size(), kSerHeaderSize));
        reader_->Read(0, head, got);
        header_ = ReadSerHeader(std::span<const uint8_t>(head, got), name_);

        const uint64_t frameBytes = header_.FrameBytes();
        const uint64_t whole = (reader_->Size() - kSerHeaderSize) / frameBytes;
        const uint64_t announced = uint64_t(header_.FrameCount);
        if (announced == 0) {
            frames_ = int64_t(whole);
            if (whole > 0)
                warning_ = name_ + ": the header announces no frames; reading the " + Num(whole) + " whole frames in the file";
        } else if (whole < announced) {
            frames_ = int64_t(whole);
            warning_ = name_ + ": the header announces " + Num(announced) + " frames but the file holds only " + Num(whole);
        } else {
            frames_ = int64_t(announced);
            // Every announced frame is there, so this product fits inside the file's size.
            const uint64_t trailer = kSerHeaderSize + announced * frameBytes;
            const uint64_t rest = reader_->Size() - trailer;
            if (rest >= announced * 8) {
                std::vector<uint8_t> stamps(std::size_t(announced) * 8);
                reader_->Read(trailer, stamps.data(), stamps.size());
                timestamps_.resize(std::size_t(announced));
                for (std::size_t k = 0; k < timestamps_.size(); ++k) timestamps_[k] = I64(stamps.data() + 8 * k);
                // What follows the frames is a trailer when it cannot hold another frame or
                // reads as the times of a capture; else it is frames the header did not count
                // (less than a trailer's worth is a trailer cut short).
                if (rest >= frameBytes && !PlausibleTimestamps(timestamps_)) timestamps_.clear();
            }
            if (timestamps_.empty() && rest >= announced * 8 && whole > announced) {
                frames_ = int64_t(whole);
                warning_ = name_ + ": the header announces " + Num(announced) + " frames but the file holds " +
                           Num(whole) + "; reading them all";
            }
        }
        if (frames_ == 0)
            Fail("the file holds no whole frame (" + Num(frameBytes) + " bytes each, " +
                 Num(reader_->Size() - kSerHeaderSize) + " bytes after the header)");

        if (header_.BytesPerSample() == 1) {
            little_ = true;
        } else if (order != SerByteOrder::Automatic) {
            little_ = order == SerByteOrder::Little;
        } else {
            std::vector<uint8_t> sample(std::size_t(std::min<uint64_t>(frameBytes, kOrderSampleBytes)));
            reader_->Read(kSerHeaderSize, sample.data(), sample.size());
            little_ = DetectSerLittleEndian(sample, header_.PixelDepth, header_.Planes(), header_.LittleEndian != 0);
        }
    } catch (const ReadFailure& e) {
        Fail(e.what());
    } catch (const std::bad_alloc&) {
        Fail("not enough memory to open the file");
    }
}

SerFile::~SerFile() = default;

void SerFile::Fail(const std::string& problem) const { throw Error(name_ + ": " + problem); }

void SerFile::ReadRaw(int64_t i, uint8_t* into) {
    if (i < 0 || i >= frames_) Fail("there is no frame " + std::to_string(i) + " (the file holds " + std::to_string(frames_) + ")");
    const uint64_t frameBytes = header_.FrameBytes();
    try {
        if (!into) {
            raw_.resize(std::size_t(frameBytes));
            into = raw_.data();
        }
        reader_->Read(kSerHeaderSize + uint64_t(i) * frameBytes, into, std::size_t(frameBytes));
    } catch (const ReadFailure& e) {
        Fail("frame " + std::to_string(i) + ": " + e.what());
    } catch (const std::bad_alloc&) {
        Fail("frame " + std::to_string(i) + ": not enough memory");
    }
}

void SerFile::ReadFrame(int64_t i, std::vector<uint16_t>& samples) {
    ReadRaw(i);
    const std::size_t n = std::size_t(header_.SamplesPerFrame());
    if (samples.size() != n) samples.resize(n);
    const uint8_t* p = raw_.data();
    if (header_.BytesPerSample() == 1) {
        for (std::size_t k = 0; k < n; ++k) samples[k] = p[k];
    } else if (little_) {
        for (std::size_t k = 0; k < n; ++k) samples[k] = uint16_t(p[2 * k] | p[2 * k + 1] << 8);
    } else {
        for (std::size_t k = 0; k < n; ++k) samples[k] = uint16_t(p[2 * k + 1] | p[2 * k] << 8);
    }
}

void SerFile::ReadFrame(int64_t i, Bitmap24& picture) {
    // One plane of bytes, top row first, is a grey picture's bytes as they are, and blue, green,
    // red bytes are a colour picture's rows: read in place (red, green, blue ones then swapped).
    if (header_.BytesPerSample() == 1 && header_.Planes() == 1) {
        picture.SetGreySize(header_.Width, header_.Height);
        ReadRaw(i, picture.GreyRowToFill(0));
        return;
    }
    if (header_.BytesPerSample() == 1) {
        if (picture.Width() != header_.Width || picture.Height() != header_.Height || picture.HoldsGrey())
            picture.SetSize(header_.Width, header_.Height);
        uint8_t* p = picture.Data();
        ReadRaw(i, p);
        if (header_.Colour == SerColour::Rgb)
            for (std::size_t k = 0, n = std::size_t(header_.Width) * std::size_t(header_.Height); k < n; ++k)
                std::swap(p[3 * k], p[3 * k + 2]);
        picture.Touch();
        return;
    }
    ReadFrame(i, scratch_, picture);
}

FrameRows SerFile::ReadFrameRows(int64_t i, const FrameRows& rows, Bitmap24& picture) {
    const int w = header_.Width, h = header_.Height, planes = header_.Planes();
    const int first = std::max(rows.First, 0), last = std::min(rows.Last, h - 1);
    if (rows.IsWhole() || header_.BytesPerSample() != 1 || first > last) {
        ReadFrame(i, picture);
        return FrameRows::Whole();
    }
    if (i < 0 || i >= frames_) Fail("there is no frame " + std::to_string(i) + " (the file holds " + std::to_string(frames_) + ")");
    uint8_t* into;
    if (planes == 1) {
        picture.SetGreySize(w, h);
        into = picture.GreyRowToFill(first);
    } else {
        if (picture.Width() != w || picture.Height() != h || picture.HoldsGrey()) picture.SetSize(w, h);
        into = picture.Row(first);
    }
    // Rows are stored top row first, planes interleaved: the band is one run of the file.
    const uint64_t rowBytes = uint64_t(w) * uint64_t(planes);
    const std::size_t bytes = std::size_t(rowBytes * uint64_t(last - first + 1));
    try {
        reader_->Read(kSerHeaderSize + uint64_t(i) * header_.FrameBytes() + rowBytes * uint64_t(first), into, bytes);
    } catch (const ReadFailure& e) {
        Fail("frame " + std::to_string(i) + ": " + e.what());
    }
    if (header_.Colour == SerColour::Rgb)
        for (std::size_t k = 0; k < bytes / 3; ++k) std::swap(into[3 * k], into[3 * k + 2]);
    picture.Touch();
    return {first, last};
}

void SerFile::ReadFrame(int64_t i, std::vector<uint16_t>& samples, Bitmap24& picture) {
    ReadFrame(i, samples);
    const int w = header_.Width, h = header_.Height;
    if (picture.Width() != w || picture.Height() != h)
        picture.SetSize(w, h);
    else
        picture.Touch();
    // 8-bit samples are shown as they are; wider ones by their top eight significant bits.
    const int shift = header_.BytesPerSample() == 2 ? std::max(header_.PixelDepth - 8, 0) : 0;
    auto level = [shift](uint16_t v) { return uint8_t(std::min(v >> shift, 255)); };
    const uint16_t* s = samples.data();
    for (int y = 0; y < h; ++y) {
        uint8_t* row = picture.Row(y);
        switch (header_.Colour) {
            case SerColour::Rgb:
                for (int x = 0; x < w; ++x, s += 3) {
                    row[3 * x] = level(s[2]);
                    row[3 * x + 1] = level(s[1]);
                    row[3 * x + 2] = level(s[0]);
                }
                break;
            case SerColour::Bgr:
                for (int x = 0; x < w; ++x, s += 3) {
                    row[3 * x] = level(s[0]);
                    row[3 * x + 1] = level(s[1]);
                    row[3 * x + 2] = level(s[2]);
                }
                break;
            default:
                for (int x = 0; x < w; ++x, ++s) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = level(*s);
                break;
        }
    }
}

FileInfo ProbeSer(const std::filesystem::path& file) {
    const SerFile ser(file);
    const SerHeader& h = ser.Header();
    FileInfo info;
    info.Format = "SER";
    info.Width = h.Width;
    info.Height = h.Height;
    info.Bits = h.PixelDepth * h.Planes();
    auto add = [&info](std::string key, std::string value) { info.Details.emplace_back(std::move(key), std::move(value)); };
    add("colour", std::string(SerColourName(h.Colour)) + " (ColorID " + std::to_string(h.ColorId) + ")");
    add("depth", std::to_string(h.PixelDepth) + " bits per sample, " + std::to_string(h.BytesPerSample()) + " byte(s)");
    add("frames", std::to_string(ser.FrameCount()) + " (header: " + std::to_string(h.FrameCount) + ")");
    if (!ser.Warning().empty()) add("warning", ser.Warning());
    add("LuID", std::to_string(h.LuId));
    add("LittleEndian flag", std::to_string(h.LittleEndian));
    if (h.BytesPerSample() == 2)
        add("byte order", std::string(ser.SamplesLittleEndian() ? "little-endian" : "big-endian") +
                              (ser.FlagAgrees() ? " (as the flag says)" : " (the flag says otherwise; decided from the data)"));
    add("observer", h.Observer);
    add("instrument", h.Instrument);
    add("telescope", h.Telescope);
    add("DateTime", std::to_string(h.DateTime));
    add("DateTime_UTC", std::to_string(h.DateTimeUtc));
    if (ser.HasTimestamps()) {
        add("first timestamp", std::to_string(ser.FirstTimestamp()));
        add("last timestamp", std::to_string(ser.LastTimestamp()));
    } else {
        add("timestamps", "none");
    }
    return info;
}

}  // namespace talvenor
