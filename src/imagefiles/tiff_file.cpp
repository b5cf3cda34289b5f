#include "imagefiles/tiff_file.h"

#include "workspace/file_bytes.h"
#include "workspace/safe_file_set.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>


#include "imagefiles/decoded_image.h"
#include "imagefiles/tiff_library.h"
#include "imagefiles/tiff_lzw.h"
#include "workspace/error.h"
#include "workspace/workspace.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMaxSide = 65535;
// Anything wider per sample or with more samples is not a picture but a damaged directory.
constexpr uint32_t kMaxSampleValue = 255;
constexpr const char* kOwnDecoding = "read by Talvenor's own TIFF reader";

std::string Num(uint64_t v) { return std::to_string(v); }

// --- Reading the file ------------------------------------------------------------------

// --- What the reader decodes -----------------------------------------------------------

enum class RowKind { Indexed1, Indexed4, Indexed8, Grey16, Rgb24, Rgba32, Ink32, Rgb48 };

std::optional<RowKind> KindOf(const TIFD& ifd) {
    const uint32_t spp = ifd.SamplesPerPixel, bps = ifd.BitsPerSample, ph = ifd.Photometric;
    if (spp == 1) {
        if (ph > 3) return std::nullopt;  // masks, inks of one plate, YCbCr, Lab, ...
        if (bps == 1) return RowKind::Indexed1;
        if (bps == 4) return RowKind::Indexed4;
        if (bps == 8) return RowKind::Indexed8;
        if (bps == 16 && ph != 3) return RowKind::Grey16;
        return std::nullopt;
    }
    if (spp == 3 && ph == 2) {
        if (bps == 8) return RowKind::Rgb24;
        if (bps == 16) return RowKind::Rgb48;
        return std::nullopt;
    }
    if (spp == 4 && bps == 8) {
        if (ph == 5) return RowKind::Ink32;
        if (ph == 2) return RowKind::Rgba32;  // the fourth sample is alpha
    }
    return std::nullopt;
}

std::string PhotometricName(uint32_t ph) {
    switch (ph) {
        case 0: return "0 (white is zero)";
        case 1: return "1 (black is zero)";
        case 2: return "2 (RGB)";
        case 3: return "3 (palette)";
        case 4: return "4 (transparency mask)";
        case 5: return "5 (separated inks)";
        case 6: return "6 (YCbCr)";
        case 8: return "8 (CIE L*a*b*)";
        case 9: return "9 (ICC L*a*b*)";
        case 10: return "10 (ITU L*a*b*)";
        case 32803: return "32803 (colour filter array)";
        case 32844: return "32844 (LogL)";
        case 32845: return "32845 (LogLuv)";
        default: return Num(ph);
    }
}

// Values no TIFF image can have: the file is damaged rather than of an unsupported kind.
void CheckDirectory(const TIFD& ifd) {
    if (ifd.ImageWidth == 0 || ifd.ImageLength == 0) throw Error("Invalid TIFF header: no dimension");
    if (ifd.ImageWidth > kMaxSide || ifd.ImageLength > kMaxSide)
        throw Error("the image size " + Num(ifd.ImageWidth) + " x " + Num(ifd.ImageLength) +
                    " is out of range (1 to " + Num(kMaxSide) + " in each direction)");
    if (ifd.SamplesPerPixel == 0 || ifd.SamplesPerPixel > kMaxSampleValue)
        throw Error("SamplesPerPixel " + Num(ifd.SamplesPerPixel) + " is out of range");
    if (ifd.BitsPerSample == 0 || ifd.BitsPerSample > kMaxSampleValue)
        throw Error("BitsPerSample " + Num(ifd.BitsPerSample) + " is out of range");
}

// --- Rows ------------------------------------------------------------------------------

struct RowFormat {
    RowKind kind = RowKind::Rgb24;
    bool big = false;       // 16-bit samples stored most significant byte first
    bool invert16 = false;  // 16-bit grey with white as zero
    std::array<Bgr, 256> colours{};
};

// Inks to light: clamp(round((255 - c) * 0.3 + (255 - k) * 0.2 + (255 - c) * (255 - k) * 0.5 / 255)),
// tabulated once for every ink and black value.
const std::array<uint8_t, 65536>& InkTable() {
    static const std::array<uint8_t, 65536> table = [] {
        std::array<uint8_t, 65536> t{};
        for (int c = 0; c < 256; ++c)
            for (int k = 0; k < 256; ++k) {
                const double v = (255 - c) * 0.3 + (255 - k) * 0.2 + (255 - c) * (255 - k) * 0.5 / 255;
                const long r = std::lrint(v);
                t[std::size_t(c * 256 + k)] = uint8_t(r <= 0 ? 0 : r > 254 ? 255 : r);
            }
        return t;
    }();
    return table;
}

const std::array<uint8_t, 256>& BitReversal() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b) r |= ((i >> b) & 1) << (7 - b);
            t[std::size_t(i)] = uint8_t(r);
        }
        return t;
    }();
    return table;
}

constexpr bool kLittleHost = std::endian::native == std::endian::little;

template <typename T>
inline void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// The wide image is little-endian; on such hosts a pixel's 6 bytes go in two stores.
inline void StoreWide(uint8_t* p, uint64_t v) {
    if constexpr (kLittleHost) {
        Store(p, uint32_t(v));
        Store(p + 4, uint16_t(v >> 32));
    } else {
        for (int i = 0; i < 6; ++i) p[i] = uint8_t(v >> (8 * i));
    }
}

// An 8-bit value v becomes the 16-bit sample v * 256.
inline void PutColour(uint8_t* __restrict disp, uint8_t* __restrict wide, uint8_t r, uint8_t g, uint8_t b) {
    disp[0] = b;
    disp[1] = g;
    disp[2] = r;
    StoreWide(wide, uint64_t(r) << 8 | uint64_t(g) << 24 | uint64_t(b) << 40);
}

// The row loops are bound by their stores (9 output bytes per pixel), so the two most
// common kinds, 16-bit grey and 24-bit colour, write two pixels at a time in four stores
// on little-endian hosts. The byte order of the file is fixed at compile time.
template <bool Big>
void Grey16Row(const uint8_t* __restrict src, int n, uint16_t flip, uint8_t* __restrict disp, uint8_t* __restrict wide) {
    int x = 0;
    if constexpr (kLittleHost) {
        for (; x + 1 < n; x += 2) {
            const uint64_t s0 = uint16_t(TiffGet16(src + 2 * x, Big) ^ flip);
            const uint64_t s1 = uint16_t(TiffGet16(src + 2 * x + 2, Big) ^ flip);
            Store(wide + 6 * x, s0 | s0 << 16 | s0 << 32 | s1 << 48);
            Store(wide + 6 * x + 8, uint32_t(s1 | s1 << 16));
            const uint32_t h0 = uint32_t(s0 >> 8), h1 = uint32_t(s1 >> 8);
            Store(disp + 3 * x, h0 * 0x010101u | h1 << 24);
            Store(disp + 3 * x + 4, uint16_t(h1 * 0x0101u));
        }
    }
    for (; x < n; ++x) {
        const uint64_t s = uint16_t(TiffGet16(src + 2 * x, Big) ^ flip);
        StoreWide(wide + 6 * x, s | s << 16 | s << 32);
        const uint8_t hi = uint8_t(s >> 8);
        disp[3 * x] = hi;
        disp[3 * x + 1] = hi;
        disp[3 * x + 2] = hi;
    }
}

void Rgb24Row(const uint8_t* __restrict src, int n, uint8_t* __restrict disp, uint8_t* __restrict wide) {
    int x = 0;
    if constexpr (kLittleHost) {
        for (; x + 1 < n; x += 2) {
            const uint8_t* p = src + 3 * x;
            const uint64_t r0 = p[0], g0 = p[1], b0 = p[2], r1 = p[3], g1 = p[4], b1 = p[5];
            Store(wide + 6 * x, r0 << 8 | g0 << 24 | b0 << 40 | r1 << 56);
            Store(wide + 6 * x + 8, uint32_t(g1 << 8 | b1 << 24));
            Store(disp + 3 * x, uint32_t(b0 | g0 << 8 | r0 << 16 | b1 << 24));
            Store(disp + 3 * x + 4, uint16_t(g1 | r1 << 8));
        }
    }
    for (; x < n; ++x) {
        const uint8_t* p = src + 3 * x;
        PutColour(disp + 3 * x, wide + 6 * x, p[0], p[1], p[2]);
    }
}

template <bool Big>
void Rgb48Row(const uint8_t* __restrict src, int n, uint8_t* __restrict disp, uint8_t* __restrict wide) {
    for (int x = 0; x < n; ++x) {
        const uint8_t* p = src + 6 * x;
        const uint64_t r = TiffGet16(p, Big), g = TiffGet16(p + 2, Big), b = TiffGet16(p + 4, Big);
        StoreWide(wide + 6 * x, r | g << 16 | b << 32);
        disp[3 * x] = uint8_t(b >> 8);
        disp[3 * x + 1] = uint8_t(g >> 8);
        disp[3 * x + 2] = uint8_t(r >> 8);
    }
}

void RgbaRow(const uint8_t* __restrict src, int n, uint8_t* __restrict disp, uint8_t* __restrict wide) {
    for (int x = 0; x < n; ++x) {
        const uint8_t* p = src + 4 * x;
        PutColour(disp + 3 * x, wide + 6 * x, p[0], p[1], p[2]);
    }
}

void ConvertRow(const RowFormat& f, const uint8_t* __restrict src, int n, uint8_t* __restrict disp,
                uint8_t* __restrict wide) {
    const Bgr* colours = f.colours.data();
    switch (f.kind) {
        case RowKind::Indexed1:
            for (int x = 0; x < n; ++x) {
                const Bgr c = colours[(src[x >> 3] >> (7 - (x & 7))) & 1];
                PutColour(disp + 3 * x, wide + 6 * x, c.r, c.g, c.b);
            }
            break;
        case RowKind::Indexed4:
            for (int x = 0; x < n; ++x) {
                const uint8_t byte = src[x >> 1];
                const Bgr c = colours[(x & 1) ? byte & 15 : byte >> 4];
                PutColour(disp + 3 * x, wide + 6 * x, c.r, c.g, c.b);
            }
            break;
        case RowKind::Indexed8:
            for (int x = 0; x < n; ++x) {
                const Bgr c = colours[src[x]];
                PutColour(disp + 3 * x, wide + 6 * x, c.r, c.g, c.b);
            }
            break;
        case RowKind::Grey16: {
            const uint16_t flip = f.invert16 ? 0xFFFF : 0;
            if (f.big) Grey16Row<true>(src, n, flip, disp, wide);
            else Grey16Row<false>(src, n, flip, disp, wide);
            break;
        }
        case RowKind::Rgb24: Rgb24Row(src, n, disp, wide); break;
        case RowKind::Rgba32: RgbaRow(src, n, disp, wide); break;
        case RowKind::Ink32: {
            const uint8_t* ink = InkTable().data();
            for (int x = 0; x < n; ++x) {
                const uint8_t* p = src + 4 * x;
                const std::size_t k = p[3];
                PutColour(disp + 3 * x, wide + 6 * x, ink[p[0] * 256u + k], ink[p[1] * 256u + k], ink[p[2] * 256u + k]);
            }
            break;
        }
        case RowKind::Rgb48:
            if (f.big) Rgb48Row<true>(src, n, disp, wide);
            else Rgb48Row<false>(src, n, disp, wide);
            break;
    }
}

// Undoes horizontal differencing over the first n pixels: each sample plus the same
// sample of the pixel to its left, in the sample's own width and byte order.
void UndoDifferencing(uint8_t* row, int n, int spp, int bps, bool big) {
    const int count = n * spp;
    if (bps == 8) {
        for (int i = spp; i < count; ++i) row[i] = uint8_t(row[i] + row[i - spp]);
    } else {
        for (int i = spp; i < count; ++i) {
            const uint16_t v = uint16_t(TiffGet16(row + 2 * i, big) + TiffGet16(row + 2 * (i - spp), big));
            uint8_t* p = row + 2 * i;
            if (big) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
            else { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
        }
    }
}

// The colours of 1-, 4- and 8-bit pixels: grey ramps, or the file's colour map.
void BuildColours(RowFormat& f, const TIFD& ifd, const uint8_t* data) {
    const uint32_t levels = 1u << ifd.BitsPerSample;
    if (ifd.Photometric == 3) {
        if (!ifd.HasColorMap) throw Error("a palette image without a ColorMap");
        // The map holds a table per channel of one entry per index value.
        if (ifd.ColorMapCount < 3 * levels)
            throw Error("the ColorMap has " + Num(ifd.ColorMapCount) + " entries, " + Num(ifd.BitsPerSample) +
                        "-bit pixels need " + Num(3 * levels));
        const uint8_t* map = data + ifd.ColorMapOffset;
        auto entry = [&](uint32_t i) {
            // 16-bit map entries scale linearly to 8 bits (v / 257, so 0xFFFF is 255 and a
            // map written from 8-bit colours as c * 257 gives c back).
            return uint8_t(std::lrint(TiffGet16(map + 2 * i, ifd.BigEndian()) / 257.0));
        };
        for (uint32_t i = 0; i < levels; ++i)
            f.colours[i] = Bgr{entry(2 * levels + i), entry(levels + i), entry(i)};
        return;
    }
    const uint32_t step = 255 / (levels - 1);
    for (uint32_t i = 0; i < levels; ++i) {
        const uint8_t v = uint8_t(ifd.Photometric == 0 ? 255 - i * step : i * step);
        f.colours[i] = Bgr{v, v, v};
    }
}

// --- Decoding --------------------------------------------------------------------------

struct Strip {
    const uint8_t* data = nullptr;
    std::size_t bytes = 0;
    int firstRow = 0, rows = 0;  // the rows of this strip the picture uses
};

// The own reader's decoding of a directory TiffUnsupportedReason accepts: the whole picture
// (the series code clamps its working size itself).
void Decode(TTIFFBitMap& bitmap, const TIFD& ifd, const uint8_t* data, std::size_t size) {
    const uint32_t width = ifd.ImageWidth, height = ifd.ImageLength;
    const int outW = int(width);
    const int outH = int(height);
    const int bpp = int(ifd.BitsPerPixel());

    RowFormat format;
    format.kind = *KindOf(ifd);
    format.big = ifd.BigEndian();
    format.invert16 = ifd.Photometric == 0;
    if (format.kind == RowKind::Indexed1 || format.kind == RowKind::Indexed4 || format.kind == RowKind::Indexed8)
        BuildColours(format, ifd, data);

    // Strips: find and check every one the picture needs before touching the bitmap.
    const bool lzw = ifd.Compression == 5;
    const std::size_t rowBytes = (std::size_t(width) * std::size_t(bpp) + 7) / 8;
    if (!ifd.HasStripOffsets) throw Error("the directory has no StripOffsets");
    if (ifd.RowsPerStrip == 0) throw Error("RowsPerStrip is 0");
    const uint32_t rowsPerStrip = std::min(ifd.RowsPerStrip, height);
    const uint32_t stripsNeeded = (height + rowsPerStrip - 1) / rowsPerStrip;
    if (ifd.StripCount() < stripsNeeded)
        throw Error("the directory lists " + Num(ifd.StripCount()) + " strips, but " + Num(height) +
                    " rows in strips of " + Num(rowsPerStrip) + " need " + Num(stripsNeeded));
    if (ifd.HasStripByteCounts && ifd.StripByteCounts.size() < stripsNeeded)
        throw Error("StripByteCounts lists " + Num(ifd.StripByteCounts.size()) + " strips, the image has " +
                    Num(stripsNeeded));
    std::vector<Strip> strips;
    std::size_t largestStrip = 0, largestData = 0;
    for (uint32_t s = 0; uint64_t(s) * rowsPerStrip < uint64_t(outH); ++s) {
        Strip st;
        st.firstRow = int(s * rowsPerStrip);
        st.rows = int(std::min<uint64_t>(rowsPerStrip, uint64_t(outH) - st.firstRow));
        const std::size_t needed = std::size_t(st.rows) * rowBytes;
        const uint32_t offset = ifd.StripOffsets[s];
        uint64_t bytes;
        if (ifd.HasStripByteCounts) bytes = ifd.StripByteCounts[s];
        else bytes = lzw ? (offset <= size ? size - offset : 0) : needed;  // old files leave the counts out
        if (offset > size || bytes > size - offset)
            throw Error("strip " + Num(s) + " (" + Num(bytes) + " bytes at offset " + Num(offset) +
                        ") lies past the end of the file (" + Num(size) + " bytes)");
        if (!lzw && bytes < needed)
            throw Error("strip " + Num(s) + " holds " + Num(bytes) + " bytes, but its " + Num(st.rows) + " rows need " +
                        Num(needed));
        if (lzw && needed > TLZW::MaxOutput(std::size_t(bytes)))
            throw Error("the LZW data of strip " + Num(s) + " (" + Num(bytes) + " bytes) cannot hold its " +
                        Num(needed) + " bytes of rows");
        st.data = data + offset;
        st.bytes = lzw ? std::size_t(bytes) : needed;
        largestStrip = std::max(largestStrip, needed);
        largestData = std::max(largestData, st.bytes);
        strips.push_back(st);
    }

    // A frame of the size already in the bitmap overwrites every pixel, so the buffers of
    // the previous frame are reused without clearing them: a series loads thousands.
    if (!(bitmap.HasWide && bitmap.Width() == outW && bitmap.Height() == outH && bitmap.Picture.Width() == outW &&
          bitmap.Picture.Height() == outH))
        bitmap.CreateWide(outW, outH);
    bitmap.BitsPerPixel = bpp;

    const bool reversed = ifd.FillOrder == 2;
    const bool predictor = lzw && ifd.HorizontalPredictor();
    std::vector<uint8_t> scratch(reversed && lzw ? largestData : 0);
    std::vector<uint8_t> rows(lzw || reversed ? largestStrip : 0);
    std::unique_ptr<TLZW> codec = lzw ? std::make_unique<TLZW>() : nullptr;
    for (std::size_t s = 0; s < strips.size(); ++s) {
        const Strip& st = strips[s];
        const std::size_t needed = std::size_t(st.rows) * rowBytes;
        const uint8_t* src = st.data;
        if (reversed) {
            // Bits were stored least significant first; turn them around before anything else.
            const auto& flip = BitReversal();
            uint8_t* into = lzw ? scratch.data() : rows.data();
            for (std::size_t i = 0; i < st.bytes; ++i) into[i] = flip[src[i]];
            src = into;
        }
        if (lzw) {
            std::size_t got;
            try {
                got = codec->Decode(src, st.bytes, rows.data(), needed);
            } catch (const Error& e) {
                throw Error("strip " + Num(s) + ": " + e.what());
            }
            if (got < needed)
                throw Error("the LZW data of strip " + Num(s) + " ends early (" + Num(got) + " of " + Num(needed) +
                            " bytes)");
            src = rows.data();
        }
        for (int r = 0; r < st.rows; ++r) {
            const int y = st.firstRow + r;
            const uint8_t* row = src + std::size_t(r) * rowBytes;
            if (predictor) {
                uint8_t* mutableRow = rows.data() + std::size_t(r) * rowBytes;
                UndoDifferencing(mutableRow, outW, int(ifd.SamplesPerPixel), int(ifd.BitsPerSample), format.big);
            }
            ConvertRow(format, row, outW, bitmap.Picture.Row(y), bitmap.WideRows[std::size_t(y)]);
        }
    }
    bitmap.Picture.Touch();
}

std::string CompressionName(uint32_t c) {
    switch (c) {
        case 1: return "none";
        case 2: return "CCITT modified Huffman (2)";
        case 3: return "CCITT Group 3 (3)";
        case 4: return "CCITT Group 4 (4)";
        case 5: return "LZW";
        case 6: return "old-style JPEG (6)";
        case 7: return "JPEG (7)";
        case 8: case 32946: return "Deflate (" + Num(c) + ")";
        case 32773: return "PackBits (32773)";
        case 34676: case 34677: return "SGI LogLuv (" + Num(c) + ")";
        case 34925: return "LZMA (34925)";
        case 50000: return "Zstandard (50000)";
        case 50001: return "WebP (50001)";
        default: return "other (" + Num(c) + ")";
    }
}

std::string SampleFormatName(uint32_t f) {
    switch (f) {
        case 1: return "unsigned integer";
        case 2: return "signed integer";
        case 3: return "floating point";
        case 4: return "undefined (4)";
        default: return Num(f);
    }
}

// --- Writing ---------------------------------------------------------------------------

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

}  // namespace

std::string TiffUnsupportedReason(const TIFD& ifd) {
    if (ifd.BigTiff) return "BigTIFF";
    if (ifd.Tiled()) return "tiles";
    if (ifd.SampleFormat != 1) return SampleFormatName(ifd.SampleFormat) + " samples";
    if (ifd.Compression != 1 && ifd.Compression != 5) return "compression " + Num(ifd.Compression);
    if (ifd.Compression == 5 && ifd.Predictor != 1 && ifd.Predictor != 2) return "predictor " + Num(ifd.Predictor);
    if (ifd.MixedBitsPerSample) return "samples of different depths";
    if (ifd.SamplesPerPixel > 1 && ifd.PlanarConfiguration == 2) return "separate colour planes";
    const std::optional<RowKind> kind = KindOf(ifd);
    if (!kind)
        return Num(ifd.SamplesPerPixel) + (ifd.SamplesPerPixel == 1 ? " sample" : " samples") + " of " +
               Num(ifd.BitsPerSample) + " bits, photometric interpretation " + PhotometricName(ifd.Photometric);
    if (ifd.Compression == 5 && ifd.HorizontalPredictor() && ifd.BitsPerSample < 8)
        return "differencing of " + Num(ifd.BitsPerSample) + "-bit samples";
    return {};
}

namespace {

// The first directory of a classic TIFF, checked; a damaged one is an Error naming the file.
TIFD ParseDirectory(const std::vector<uint8_t>& bytes, const std::string& name) {
    try {
        TIFD ifd = TIFD::Parse(bytes.data(), bytes.size());
        CheckDirectory(ifd);
        return ifd;
    } catch (const Error& e) {
        throw Error(name + ": " + e.what());
    }
}

}  // namespace

TIFD LoadFromFile(TTIFFBitMap& bitmap, const fs::path& file, std::string* decoding) {
    const std::string name = file.filename().string();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    TIFD ifd;
    if (IsBigTiffHeader(bytes.data(), bytes.size())) {
        ifd = ReadTiffDirectoryWithLibrary(bytes, name).Ifd;
    } else {
        ifd = ParseDirectory(bytes, name);
        if (TiffUnsupportedReason(ifd).empty()) {
            CheckDecodedSize(name, ifd.ImageWidth, ifd.ImageLength);
            try {
                Decode(bitmap, ifd, bytes.data(), bytes.size());
            } catch (const Error& e) {
                throw Error(name + ": " + e.what());
            }
            if (decoding) *decoding = kOwnDecoding;
            return ifd;
        }
    }
    const DecodedImage image = ReadTiffWithLibrary(bytes, name);
    ToWideBitmap(image, bitmap);
    bitmap.BitsPerPixel = int(ifd.BitsPerPixel());
    if (decoding) *decoding = DescribeDecoding(image);
    return ifd;
}

FileInfo ProbeTiff(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    TIFD ifd;
    std::string pages;
    if (IsBigTiffHeader(bytes.data(), bytes.size())) {
        const TiffLibraryDirectory d = ReadTiffDirectoryWithLibrary(bytes, name);
        ifd = d.Ifd;
        pages = Num(uint64_t(d.Pages));
    } else {
        ifd = ParseDirectory(bytes, name);
        try {
            pages = Num(uint64_t(ReadTiffDirectoryWithLibrary(bytes, name).Pages));
        } catch (const Error& e) {
            pages = std::string("unknown (") + e.what() + ")";
        }
    }
    FileInfo info;
    info.Format = "TIFF";
    info.Width = int(ifd.ImageWidth);
    info.Height = int(ifd.ImageLength);
    info.Bits = int(ifd.BitsPerPixel());
    auto add = [&](std::string key, std::string value) { info.Details.emplace_back(std::move(key), std::move(value)); };
    add("byte order", ifd.BigEndian() ? "MM big-endian" : "II little-endian");
    add("offsets", ifd.BigTiff ? "64-bit (BigTIFF)" : "32-bit");
    add("compression", CompressionName(ifd.Compression));
    add("predictor", ifd.Predictor == 1   ? "none"
                     : ifd.Predictor == 2 ? "horizontal differencing"
                     : ifd.Predictor == 3 ? "floating-point differencing"
                                          : Num(ifd.Predictor));
    add("photometric", PhotometricName(ifd.Photometric));
    add("samples per pixel", Num(ifd.SamplesPerPixel));
    add("bits per sample", Num(ifd.BitsPerSample));
    add("sample format", SampleFormatName(ifd.SampleFormat));
    add("planar configuration", ifd.PlanarConfiguration == 2 ? "2 (separate planes)" : Num(ifd.PlanarConfiguration) + " (chunky)");
    if (ifd.Tiled()) add("tiles", Num(ifd.Chunks) + " of " + Num(ifd.TileWidth) + " x " + Num(ifd.TileLength));
    else add("strips", Num(ifd.Chunks));
    add("pages", pages);
    const std::string unsupported = ifd.BigTiff ? "BigTIFF" : TiffUnsupportedReason(ifd);
    if (unsupported.empty()) {
        add("reader", "own");
        return info;
    }
    add("reader", "libtiff (not the own reader: " + unsupported + ")");
    // What reading changes is only known from reading: a floating-point range, say.
    try {
        const DecodedImage image = ReadTiffWithLibrary(bytes, name);
        std::string notes;
        for (const std::string& note : image.Notes) notes += (notes.empty() ? "" : "; ") + note;
        add("changes", notes.empty() ? "none" : notes);
    } catch (const Error& e) {
        add("error", e.what());
    }
    return info;
}

void SaveToFile(const TTIFFBitMap& bitmap, const fs::path& file, int bitsPerPixel, bool compress,
                std::string_view description, SafeFileSet* set, int width, int height) {
    const std::string name = file.filename().string();
    if (bitsPerPixel != 48 || compress)
        throw Error(name + ": only uncompressed 48-bit TIFF files can be written");
    width = width < 0 ? bitmap.Width() : std::min(width, bitmap.Width());
    height = height < 0 ? bitmap.Height() : std::min(height, bitmap.Height());
    if (!bitmap.HasWide || width <= 0 || height <= 0) throw Error(name + ": there is no 16-bit image to save");
    if (uint32_t(width) > kMaxSide || uint32_t(height) > kMaxSide)
        throw Error(name + ": an image of " + Num(uint32_t(width)) + " x " + Num(uint32_t(height)) +
                    " is too large for this TIFF writer");
    // A TIFF text ends at its NUL, so the description cannot hold one.
    description = description.substr(0, description.find('\0'));
    const bool described = !description.empty();
    const uint32_t entries = described ? 14 : 13;
    const uint32_t directoryEnd = 8 + 2 + 12 * entries + 4;
    // The text (with its NUL) follows the directory unless it fits in the entry itself;
    // the pixels start on the next even offset.
    const uint64_t textBytes = described ? uint64_t(description.size()) + 1 : 0;
    const uint64_t textOffset = textBytes > 4 ? directoryEnd : 0;
    const uint64_t dataOffset = (directoryEnd + (textBytes > 4 ? textBytes : 0) + 1) / 2 * 2;
    const uint32_t rowBytes = uint32_t(width) * 6;
    const uint64_t dataBytes = uint64_t(rowBytes) * uint32_t(height);
    if (dataBytes + dataOffset > 0xFFFFFFFFull) throw Error(name + ": the image is too large for a TIFF file");

    // Header, the entries (sorted by tag) and the end of the directory chain, all little-endian.
    std::vector<uint8_t> head(std::size_t(dataOffset), 0);
    head[0] = 'I';
    head[1] = 'I';
    Put16(&head[2], 42);
    Put32(&head[4], 8);
    Put16(&head[8], entries);
    struct Field {
        uint16_t tag, type;
        uint32_t count, value;
    };
    std::vector<Field> fields = {
        {TIFD::kNewSubfileType, 4, 1, 0},
        {TIFD::kImageWidth, 3, 1, uint32_t(width)},
        {TIFD::kImageLength, 3, 1, uint32_t(height)},
        {TIFD::kBitsPerSample, 3, 1, 16},
        {TIFD::kCompression, 3, 1, 1},
        {TIFD::kPhotometric, 3, 1, 2},
        {TIFD::kFillOrder, 3, 1, 1},
        {TIFD::kStripOffsets, 4, 1, uint32_t(dataOffset)},
        {TIFD::kOrientation, 3, 1, 1},
        {TIFD::kSamplesPerPixel, 3, 1, 3},
        {TIFD::kRowsPerStrip, 3, 1, uint32_t(height)},
        {TIFD::kStripByteCounts, 4, 1, uint32_t(dataBytes)},
        {TIFD::kPlanarConfiguration, 3, 1, 1},
    };
    if (described) fields.insert(fields.begin() + 7, {TIFD::kImageDescription, 2, uint32_t(textBytes), uint32_t(textOffset)});
    for (std::size_t i = 0; i < fields.size(); ++i) {
        uint8_t* e = &head[10 + 12 * i];
        Put16(e, fields[i].tag);
        Put16(e + 2, fields[i].type);
        Put32(e + 4, fields[i].count);
        if (fields[i].tag == TIFD::kImageDescription && textBytes <= 4)
            std::memcpy(e + 8, description.data(), description.size());  // inline, NUL-padded
        else
            Put32(e + 8, fields[i].value);  // a short stands in the low two bytes, the rest zero
    }
    Put32(&head[directoryEnd - 4], 0);
    if (textBytes > 4) std::memcpy(&head[textOffset], description.data(), description.size());

    // Written beside the target and renamed over it: a full disk or a crash during the
    // write leaves any older file of that name intact.
    std::optional<SafeFileWriter> own;
    SafeFileWriter& out = set ? set->Add(file) : own.emplace(file);
    out.Write(head.data(), head.size());
    for (int y = 0; y < height; ++y) out.Write(bitmap.WideRows[std::size_t(y)], rowBytes);
    if (own) own->Commit();
}

}  // namespace talvenor
