#include "input/avi_decoders.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "imagefiles/jpeg_file.h"
#include "input/avi_ffmpeg.h"
#include "workspace/bgr_bytes.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;

// Converters write a whole pixel as one 4-byte store and advance by 3; the fourth byte is
// overwritten by the next pixel. Only the row's last pixel is written byte by byte, so a
// row never touches memory past its end.
inline void Store3(uint8_t* dst, uint32_t bgr) { std::memcpy(dst, &bgr, 4); }
inline void StoreLast(uint8_t* dst, uint32_t bgr) {
    dst[0] = uint8_t(bgr);
    dst[1] = uint8_t(bgr >> 8);
    dst[2] = uint8_t(bgr >> 16);
}
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint32_t Pack(Bgr c) { return uint32_t(c.b) | uint32_t(c.g) << 8 | uint32_t(c.r) << 16; }

void LookupRow8(const uint8_t* src, uint8_t* dst, int width, const uint32_t* lut) {
    if (width <= 0) return;
    const int last = width - 1;
    for (int x = 0; x < last; ++x) Store3(dst + 3 * x, lut[src[x]]);
    StoreLast(dst + 3 * last, lut[src[last]]);
}

void LookupRow16(const uint8_t* src, uint8_t* dst, int width, const uint32_t* lut) {
    if (width <= 0) return;
    const int last = width - 1;
    for (int x = 0; x < last; ++x) Store3(dst + 3 * x, lut[src[2 * x] | src[2 * x + 1] << 8]);
    StoreLast(dst + 3 * last, lut[src[2 * last] | src[2 * last + 1] << 8]);
}

// One colour channel of a BI_BITFIELDS mask: where it sits and how wide it is.
struct MaskChannel {
    uint32_t shift = 0;  // of the channel's lowest bit
    uint32_t bits = 0;
    std::array<uint8_t, 256> expand{};  // narrow channels (< 8 bits) widened to 8

    explicit MaskChannel(uint32_t mask) {
        if (mask == 0) return;
        shift = uint32_t(std::countr_zero(mask));
        bits = uint32_t(std::popcount(mask));
        if (bits < 8) {
            // Repeat the bit pattern downwards (5 bits abcde -> abcdeabc), which maps the
            // largest code to 255 exactly, as every common converter does.
            for (uint32_t v = 0; v < (1u << bits); ++v) {
                uint32_t r = 0, filled = 0;
                while (filled < 8) { r = (r << bits) | v; filled += bits; }
                expand[v] = uint8_t(r >> (filled - 8));
            }
        }
    }
    uint8_t Of(uint32_t px) const {
        if (bits == 0) return 0;
        if (bits >= 8) return uint8_t(px >> (shift + bits - 8));
        return expand[(px >> shift) & ((1u << bits) - 1)];
    }
};

}  // namespace

std::string FourCCText(uint32_t code) {
    switch (code) {
        case kBiRgb: return "BI_RGB";
        case kBiRle8: return "BI_RLE8";
        case kBiRle4: return "BI_RLE4";
        case kBiBitfields: return "BI_BITFIELDS";
        default: break;
    }
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", unsigned(code));
            return hex;
        }
        text += c;
    }
    return text;
}

const YuvToBgr& YuvToBgr::Get(bool fullRange, bool bt709) {
    auto make = [](bool full, bool hd) {
        YuvToBgr t{};
        const double kr = hd ? 0.2126 : 0.299, kb = hd ? 0.0722 : 0.114, kg = 1 - kr - kb;
        const double ys = full ? 1.0 : 255.0 / 219.0, cs = full ? 1.0 : 255.0 / 224.0;
        const double yoff = full ? 0 : 16;
        const double s = 65536.0;
        for (int i = 0; i < 256; ++i) {
            const double c = i - 128;
            // The rounding half is folded into the luma table, so each pixel is one sum.
            t.Y[i] = int32_t(std::lrint(ys * (i - yoff) * s)) + 32768;
            t.Rv[i] = int32_t(std::lrint(cs * 2 * (1 - kr) * c * s));
            t.Bu[i] = int32_t(std::lrint(cs * 2 * (1 - kb) * c * s));
            t.Gu[i] = int32_t(std::lrint(-cs * 2 * (1 - kb) * kb / kg * c * s));
            t.Gv[i] = int32_t(std::lrint(-cs * 2 * (1 - kr) * kr / kg * c * s));
        }
        return t;
    };
    static const YuvToBgr tables[4] = {make(false, false), make(false, true), make(true, false), make(true, true)};
    return tables[(fullRange ? 2 : 0) + (bt709 ? 1 : 0)];
}

void ConvertBgrxRow(const uint8_t* src, uint8_t* dst, int width) {
    if (width <= 0) return;
    const int last = width - 1;
    for (int x = 0; x < last; ++x) Store3(dst + 3 * x, Load32(src + 4 * x));
    StoreLast(dst + 3 * last, Load32(src + 4 * last));
}

void ConvertYuv422Row(const uint8_t* src, uint8_t* dst, int width, bool lumaFirst, const YuvToBgr& t) {
    // Each chroma pair serves both pixels of its pair: that is what the usual unscaled
    // converters do, so our pictures match other programs' decodes.
    const int y0 = lumaFirst ? 0 : 1, y1 = y0 + 2, u = lumaFirst ? 1 : 0, v = u + 2;
    int x = 0;
    for (; x + 1 < width; x += 2, src += 4, dst += 6) {
        t.Pixel(src[y0], src[u], src[v], dst);
        t.Pixel(src[y1], src[u], src[v], dst + 3);
    }
    if (x < width) t.Pixel(src[y0], src[u], src[v], dst);
}

namespace {

// Every uncompressed layout we decode ourselves: one row converter chosen once, then each
// frame is a bounds check and a loop over the rows.
class RawDecoder : public AviFrameDecoder {
public:
    enum class Kind { Grey8, Lookup8, Lookup16, Bgr24, Bgrx32, Masked32, Yuyv, Uyvy };

    RawDecoder(const AviVideoFormat& f, Kind kind, bool topDown, std::size_t stride, std::size_t altStride)
        : kind_(kind), width_(f.Width), height_(f.Height), topDown_(topDown), stride_(stride), altStride_(altStride),
          red_(f.Masks[0]), green_(f.Masks[1]), blue_(f.Masks[2]), yuv_(YuvToBgr::Get(false, false)) {}

    std::vector<uint32_t>& Lut() { return lut_; }

    uint64_t SmallestSampleBytes() const override {
        const std::size_t stride = altStride_ != 0 ? std::min(stride_, altStride_) : stride_;
        return uint64_t(stride) * uint64_t(height_);
    }

    void Decode(int64_t sample, AviSampleSource& source, Bitmap24& out) override {
        if ((kind_ == Kind::Bgr24 || kind_ == Kind::Grey8) && ReadRowsInPlace(sample, source, out, {})) return;
        const std::span<const uint8_t> data = source.ReadSample(sample);
        const std::size_t h = std::size_t(height_);
        // Writers disagree on row padding: DIB rows are padded to four bytes, grey ones
        // usually not. A frame that is too short for the usual layout but exactly right
        // for the other one was written the other way.
        std::size_t stride = stride_;
        if (data.size() < stride * h && altStride_ != 0 && data.size() >= altStride_ * h) stride = altStride_;
        if (data.size() < stride * h)
            throw Error("pixel data ends early (needs " + std::to_string(stride_ * h) + " bytes, has " +
                        std::to_string(data.size()) + ")");
        if (kind_ == Kind::Grey8) {
            out.SetGreySize(width_, height_);
            for (int y = 0; y < height_; ++y)
                std::memcpy(out.GreyRowToFill(y), data.data() + stride * std::size_t(topDown_ ? y : height_ - 1 - y),
                            std::size_t(width_));
            return;
        }
        if (out.Width() != width_ || out.Height() != height_) out.SetSize(width_, height_);

        for (int y = 0; y < height_; ++y) {
            const uint8_t* src = data.data() + stride * std::size_t(topDown_ ? y : height_ - 1 - y);
            uint8_t* dst = out.Row(y);
            switch (kind_) {
                case Kind::Grey8: break;  // held as grey, above
                case Kind::Lookup8: LookupRow8(src, dst, width_, lut_.data()); break;
                case Kind::Lookup16: LookupRow16(src, dst, width_, lut_.data()); break;
                case Kind::Bgr24: std::memcpy(dst, src, std::size_t(width_) * 3); break;
                case Kind::Bgrx32: ConvertBgrxRow(src, dst, width_); break;
                case Kind::Masked32:
                    for (int x = 0; x < width_; ++x) {
                        const uint32_t px = Load32(src + 4 * x);
                        dst[3 * x] = blue_.Of(px);
                        dst[3 * x + 1] = green_.Of(px);
                        dst[3 * x + 2] = red_.Of(px);
                    }
                    break;
                case Kind::Yuyv: ConvertYuv422Row(src, dst, width_, true, yuv_); break;
                case Kind::Uyvy: ConvertYuv422Row(src, dst, width_, false, yuv_); break;
            }
        }
        out.Touch();
    }

    bool DecodeRows(int64_t sample, AviSampleSource& source, const FrameRows& rows, Bitmap24& out) override {
        return (kind_ == Kind::Bgr24 || kind_ == Kind::Grey8) && ReadRowsInPlace(sample, source, out, rows);
    }

private:
    // 24-bit and grey rows need no conversion: each is read from the file straight into its row
    // of the picture (grey ones into its grey bytes), sparing a copy of every frame; with a band
    // of rows, only those, as one run of the file. Only the usual layout goes this way; a frame
    // too short for it is left to the checks of the whole-frame path.
    bool ReadRowsInPlace(int64_t sample, AviSampleSource& source, Bitmap24& out, const FrameRows& rows) {
        const bool grey = kind_ == Kind::Grey8;
        const std::size_t h = std::size_t(height_), row = std::size_t(width_) * (grey ? 1 : 3);
        if (stride_ < row || source.SampleBytes(sample) < stride_ * h) return false;
        const int first = std::max(rows.First, 0), last = std::min<long long>(rows.Last, height_ - 1);
        if (first > last) return false;
        if (grey) out.SetGreySize(width_, height_);
        else if (out.Width() != width_ || out.Height() != height_) out.SetSize(width_, height_);
        // Rows first .. last lie together in the file: stored rows (top-down) or the same rows
        // counted from the bottom.
        const std::size_t storedFirst = topDown_ ? std::size_t(first) : h - 1 - std::size_t(last);
        const std::size_t storedCount = std::size_t(last - first) + 1;
        pieces_.clear();
        padding_.resize(stride_ - row);
        for (std::size_t r = storedFirst; r < storedFirst + storedCount; ++r) {
            const int y = int(topDown_ ? r : h - 1 - r);
            pieces_.push_back({grey ? out.GreyRowToFill(y) : out.Row(y), row});
            if (stride_ > row) pieces_.push_back({padding_.data(), stride_ - row});
        }
        if (!source.ReadSampleInto(sample, pieces_, uint64_t(storedFirst) * stride_)) return false;
        out.Touch();
        return true;
    }

    Kind kind_;
    int width_, height_;
    bool topDown_;
    std::size_t stride_, altStride_;
    MaskChannel red_, green_, blue_;
    const YuvToBgr& yuv_;
    std::vector<uint32_t> lut_;
    std::vector<FilePiece> pieces_;  // the rows of the frame being read in place
    std::vector<uint8_t> padding_;   // where the rows' padding is read to
};

std::size_t DibStride(int width, int bits) { return (std::size_t(width) * bits + 31) / 32 * 4; }
std::size_t PackedStride(int width, int bits) { return (std::size_t(width) * bits + 7) / 8; }

std::unique_ptr<AviFrameDecoder> MakeRawDecoder(const AviVideoFormat& f) {
    using Kind = RawDecoder::Kind;
    const uint32_t c = f.Compression;
    const bool dib = c == kBiRgb || c == kBiBitfields || c == FourCC("DIB ") || c == FourCC("RGB ") || c == FourCC("RAW ");
    if (dib) {
        const std::size_t padded = DibStride(f.Width, f.BitCount), packed = PackedStride(f.Width, f.BitCount);
        const std::size_t alt = packed != padded ? packed : 0;
        std::array<uint32_t, 3> masks = f.Masks;
        const bool bitfields = c == kBiBitfields && (masks[0] | masks[1] | masks[2]) != 0;
        switch (f.BitCount) {
            case 8: {
                // Without a colour table an 8-bit stream is grey; entries the table lacks
                // are black. Monochrome cameras write a table of greys.
                std::vector<uint32_t> lut(256, 0);
                for (uint32_t i = 0; i < 256; ++i)
                    lut[i] = f.Palette.empty() ? i * 0x010101u : i < f.Palette.size() ? Pack(f.Palette[i]) : 0;
                bool grey = true;
                for (uint32_t i = 0; i < 256; ++i) grey = grey && lut[i] == i * 0x010101u;
                auto d = std::make_unique<RawDecoder>(f, grey ? Kind::Grey8 : Kind::Lookup8, f.TopDown, padded, alt);
                d->Lut() = std::move(lut);
                return d;
            }
            case 16: {
                if (!bitfields) masks = {0x7C00, 0x03E0, 0x001F};
                auto d = std::make_unique<RawDecoder>(f, Kind::Lookup16, f.TopDown, padded, alt);
                const MaskChannel r(masks[0]), g(masks[1]), b(masks[2]);
                d->Lut().resize(65536);
                for (uint32_t px = 0; px < 65536; ++px)
                    d->Lut()[px] = Pack(Bgr{b.Of(px), g.Of(px), r.Of(px)});
                return d;
            }
            case 24:
                return std::make_unique<RawDecoder>(f, Kind::Bgr24, f.TopDown, padded, alt);
            case 32: {
                const bool plain = !bitfields || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
                AviVideoFormat g = f;
                g.Masks = masks;
                return std::make_unique<RawDecoder>(g, plain ? Kind::Bgrx32 : Kind::Masked32, f.TopDown, padded, 0);
            }
            default:
                return nullptr;
        }
    }
    // YUV layouts are stored top row first whatever the sign of the height.
    if (c == FourCC("Y800") || c == FourCC("Y8  ") || c == FourCC("GREY")) {
        return std::make_unique<RawDecoder>(f, Kind::Grey8, true, std::size_t(f.Width), DibStride(f.Width, 8));
    }
    const std::size_t yuvStride = (std::size_t(f.Width) + 1) / 2 * 4;
    if (c == FourCC("YUY2") || c == FourCC("YUYV") || c == FourCC("YUNV"))
        return std::make_unique<RawDecoder>(f, Kind::Yuyv, true, yuvStride, 0);
    if (c == FourCC("UYVY") || c == FourCC("Y422") || c == FourCC("UYNV"))
        return std::make_unique<RawDecoder>(f, Kind::Uyvy, true, yuvStride, 0);
    return nullptr;
}


// Motion-JPEG: every frame is a JPEG picture. Some capture cards and the 'AVI1' flavour
// leave out the Huffman tables and expect the standard ones of the JPEG standard; libjpeg
// wants them in the stream, so we put them back before the scan starts.
const uint8_t kStandardHuffmanTables[] = {
    0xFF, 0xC4, 0x01, 0xA2,
    // DC luminance
    0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // DC chrominance
    0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11,
    // AC luminance
    0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d,
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
    0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5,
    0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
    0xf9, 0xfa,
    // AC chrominance
    0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77,
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
    0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0,
    0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
    0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
    0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
    0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5,
    0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
    0xf9, 0xfa,
};
static_assert(sizeof kStandardHuffmanTables == 2 + 0x01A2, "segment length must match its contents");

// What the headers before the scan say about a JPEG frame.
struct JpegLayout {
    bool hasTables = false;
    std::size_t scanStart = 0;  // offset of the start-of-scan marker
    int width = 0, height = 0;  // from the frame header; 0 when absent
};

JpegLayout InspectJpeg(std::span<const uint8_t> d) {
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8) throw Error("not a JPEG frame (no start-of-image marker)");
    JpegLayout j;
    std::size_t p = 2;
    for (;;) {
        while (p < d.size() && d[p] == 0xFF && p + 1 < d.size() && d[p + 1] == 0xFF) ++p;  // fill bytes
        if (p + 4 > d.size() || d[p] != 0xFF) throw Error("JPEG frame ends before its scan");
        const uint8_t m = d[p + 1];
        if (m == 0xD8 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) {  // markers without a length
            p += 2;
            continue;
        }
        if (m == 0xDA) {
            j.scanStart = p;
            return j;
        }
        const std::size_t len = std::size_t(d[p + 2]) << 8 | d[p + 3];
        if (len < 2 || p + 2 + len > d.size()) throw Error("JPEG frame ends inside a header segment");
        if (m == 0xC4) j.hasTables = true;
        const bool frameHeader = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        if (frameHeader && len >= 7) {
            j.height = d[p + 5] << 8 | d[p + 6];
            j.width = d[p + 7] << 8 | d[p + 8];
        }
        p += 2 + len;
    }
}

class MjpegDecoder : public AviFrameDecoder {
public:
    explicit MjpegDecoder(const AviVideoFormat& f) : width_(f.Width), height_(f.Height) {}

    void Decode(int64_t sample, AviSampleSource& source, Bitmap24& out) override {
        std::span<const uint8_t> data = source.ReadSample(sample);
        const JpegLayout j = InspectJpeg(data);
        // libjpeg allocates what the frame header asks for; a header far larger than the
        // stream's frames is damage, not a picture.
        if (uint64_t(j.width) * uint64_t(j.height) > 4 * uint64_t(width_) * uint64_t(height_))
            throw Error("the JPEG frame claims " + std::to_string(j.width) + " x " + std::to_string(j.height) + " pixels in a " +
                        std::to_string(width_) + " x " + std::to_string(height_) + " stream");
        if (!j.hasTables) {
            patched_.clear();
            patched_.insert(patched_.end(), data.begin(), data.begin() + std::ptrdiff_t(j.scanStart));
            patched_.insert(patched_.end(), std::begin(kStandardHuffmanTables), std::end(kStandardHuffmanTables));
            patched_.insert(patched_.end(), data.begin() + std::ptrdiff_t(j.scanStart), data.end());
            data = patched_;
        }
        DecodeJpegFrame(data, out);
    }

private:
    void DecodeJpegFrame(std::span<const uint8_t> data, Bitmap24& out);

    int width_, height_;
    std::vector<uint8_t> patched_;
};

void MjpegDecoder::DecodeJpegFrame(std::span<const uint8_t> data, Bitmap24& out) {
    // The JPEG reader names its input first; the frame's position is added by AviFile.
    // As ffmpeg decodes Motion-JPEG: chroma repeated, not interpolated (within 3 levels of
    // `ffmpeg -pix_fmt bgr24` where smoothing differs by up to 130 at colour edges).
    DecodeJpeg(data, "JPEG frame", out, JpegChroma::Repeated);
}

std::unique_ptr<AviFrameDecoder> MakeMjpegDecoder(const AviVideoFormat& f) {
    const uint32_t c = f.Compression;
    if (c == FourCC("MJPG") || c == FourCC("mjpg") || c == FourCC("AVRn") || c == FourCC("AVDJ") || c == FourCC("dmb1") ||
        c == FourCC("JPEG") || c == FourCC("jpeg"))
        return std::make_unique<MjpegDecoder>(f);
    return nullptr;
}

}  // namespace

std::span<const uint8_t> StandardJpegHuffmanTables() { return kStandardHuffmanTables; }

std::unique_ptr<AviFrameDecoder> MakeAviFrameDecoder(const AviVideoFormat& format) {
    if (auto d = MakeRawDecoder(format)) return d;
    if (auto d = MakeMjpegDecoder(format)) return d;
    return MakeFfmpegDecoder(format);
}

}  // namespace talvenor
