#include "imagefiles/bmp_file.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>


#include "workspace/error.h"
#include "workspace/workspace.h"

namespace talvenor {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& name, const std::string& problem) { throw Error(name + ": " + problem); }

std::string Num(uint64_t v) { return std::to_string(v); }
std::string Reason(int err) { return err ? std::strerror(err) : "unknown error"; }

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Put32(uint8_t* p, uint32_t v) { Put16(p, v); Put16(p + 2, v >> 16); }

enum : uint32_t {
    kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5, kBiAlphaBitfields = 6,
};
constexpr uint32_t kOs2HeaderSize = 64;  // OS/2 2.x: compressions 3 and 4 mean something else there
constexpr int kMaxSide = 65535;
// Every two bytes of an RLE stream (a run, the start of a block, the end of a row) cover at
// most 255 pixels or the rest of one row, so a stream of n bytes describes at most
// n / 2 x max(255, width) pixels. Only the jumps and the end-of-picture mark pass over more,
// and a picture left mostly undescribed is no frame anyone stacks.
uint64_t RlePixelsDescribable(uint64_t bytes, int width) {
    return bytes / 2 * std::max<uint64_t>(255, uint64_t(width));
}

const char* HeaderName(uint32_t size) {
    switch (size) {
        case 12: return "BITMAPCOREHEADER";
        case 40: return "BITMAPINFOHEADER";
        case 52: return "BITMAPV2INFOHEADER";
        case 56: return "BITMAPV3INFOHEADER";
        case 64: return "BITMAPCOREHEADER2";
        case 108: return "BITMAPV4HEADER";
        case 124: return "BITMAPV5HEADER";
    }
    return nullptr;
}

std::string CompressionName(uint32_t c, uint32_t headerSize) {
    if (headerSize == kOs2HeaderSize && c == 3) return "Huffman 1D";
    if (headerSize == kOs2HeaderSize && c == 4) return "RLE24";
    switch (c) {
        case kBiRgb: return "BI_RGB";
        case kBiRle8: return "BI_RLE8";
        case kBiRle4: return "BI_RLE4";
        case kBiBitfields: return "BI_BITFIELDS";
        case kBiJpeg: return "BI_JPEG";
        case kBiPng: return "BI_PNG";
        case kBiAlphaBitfields: return "BI_ALPHABITFIELDS";
        case 11: return "BI_CMYK";
        case 12: return "BI_CMYKRLE8";
        case 13: return "BI_CMYKRLE4";
    }
    return Num(c);
}

// Everything the headers say about where the pixels are and how they are stored, checked
// against the size of the file before a single pixel is touched.
struct Layout {
    uint32_t headerSize = 0;
    int width = 0, height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kBiRgb;
    bool masksInFile = false;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    uint64_t paletteOffset = 0;
    int paletteEntries = 0;
    int paletteEntrySize = 4;
    uint64_t pixelOffset = 0;
    uint64_t stride = 0;     // bytes per stored row, padded to 4
    uint64_t dataBytes = 0;  // bytes from the pixel offset to the end of the file
};

bool IsRle(const Layout& l) { return l.compression == kBiRle8 || l.compression == kBiRle4; }

void CheckMask(uint32_t mask, int bits, const std::string& name) {
    if (mask == 0) return;  // that channel is simply black
    const uint32_t shifted = mask >> std::countr_zero(mask);
    if ((shifted & (shifted + 1)) != 0) Fail(name, "bit-field mask " + Hex(mask) + " is not one run of bits");
    if (bits == 16 && mask > 0xFFFF) Fail(name, "bit-field mask " + Hex(mask) + " does not fit a 16-bit pixel");
}

// `head` holds at least the first min(fileSize, 154) bytes of the file: the file header,
// the largest known info header and the masks that may follow it.
Layout ParseLayout(std::span<const uint8_t> head, uint64_t fileSize, const std::string& name) {
    const uint8_t* p = head.data();
    if (fileSize < 2 || head.size() < 2 || p[0] != 'B' || p[1] != 'M')
        Fail(name, "not a BMP file (it does not start with \"BM\")");
    if (fileSize < 18 || head.size() < 18)
        Fail(name, "file too short for a bitmap header (" + Num(fileSize) + " bytes)");

    Layout l;
    l.headerSize = U32(p + 14);
    const char* headerName = HeaderName(l.headerSize);
    if (!headerName) Fail(name, "unsupported bitmap header size " + Num(l.headerSize));
    const uint64_t headerEnd = 14 + uint64_t(l.headerSize);
    if (fileSize < headerEnd || head.size() < headerEnd)
        Fail(name, std::string("file ends inside its ") + headerName + " (needs " + Num(headerEnd) + " bytes, has " +
                       Num(fileSize) + ")");

    int64_t width, height;
    uint32_t colorsUsed = 0;
    if (l.headerSize == 12) {
        width = U16(p + 18);
        height = U16(p + 20);
        l.bits = U16(p + 24);
    } else {
        width = int32_t(U32(p + 18));
        height = int32_t(U32(p + 22));
        l.bits = U16(p + 28);
        l.compression = U32(p + 30);
        colorsUsed = U32(p + 46);
    }

    // Compression and depth: only the combinations a decoder can honour.
    const uint32_t c = l.compression;
    const bool os2 = l.headerSize == kOs2HeaderSize;
    if (c == kBiJpeg && !os2) Fail(name, "compression BI_JPEG (a JPEG image inside the bitmap) is not supported");
    if (c == kBiPng) Fail(name, "compression BI_PNG (a PNG image inside the bitmap) is not supported");
    const bool bitFields = (c == kBiBitfields || c == kBiAlphaBitfields) && !os2;
    if (c != kBiRgb && c != kBiRle8 && c != kBiRle4 && !bitFields)
        Fail(name, "unsupported compression " + CompressionName(c, l.headerSize));
    switch (l.bits) {
        case 1: case 4: case 8: case 16: case 24: case 32: break;
        default: Fail(name, "unsupported bit count " + Num(l.bits));
    }
    if ((c == kBiRle8 && l.bits != 8) || (c == kBiRle4 && l.bits != 4) || (bitFields && l.bits != 16 && l.bits != 32))
        Fail(name, "compression " + CompressionName(c, l.headerSize) + " cannot store " + Num(l.bits) +
                       " bits per pixel");

    // Size. A negative height marks rows stored top-down.
    l.topDown = height < 0;
    if (height < 0) height = -height;
    if (width <= 0 || height == 0)
        Fail(name, "invalid picture size " + std::to_string(width) + " x " + std::to_string(height));
    if (width > kMaxSide || height > kMaxSide)
        Fail(name, "picture size " + std::to_string(width) + " x " + std::to_string(height) +
                       " is too large (at most 65535 pixels per side)");
    l.width = int(width);
    l.height = int(height);

    // Bit-field masks: inside the V2..V5 headers, after a plain BITMAPINFOHEADER.
    uint64_t afterHeaders = headerEnd;
    if (bitFields) {
        l.masksInFile = true;
        const uint64_t maskBytes = c == kBiAlphaBitfields ? 16 : 12;
        if (l.headerSize == 40) {
            afterHeaders += maskBytes;
            if (fileSize < afterHeaders || head.size() < afterHeaders)
                Fail(name, "file ends inside its bit-field masks (needs " + Num(afterHeaders) + " bytes, has " +
                               Num(fileSize) + ")");
        }
        for (int i = 0; i < 3; ++i) l.masks[i] = U32(p + 54 + 4 * i);
        if (l.masks[0] == 0 && l.masks[1] == 0 && l.masks[2] == 0) Fail(name, "bit-field masks are all zero");
        for (uint32_t m : l.masks) CheckMask(m, l.bits, name);
    } else if (l.bits == 16) {
        l.masks[0] = 0x7C00; l.masks[1] = 0x03E0; l.masks[2] = 0x001F;
    } else if (l.bits == 32) {
        l.masks[0] = 0xFF0000; l.masks[1] = 0x00FF00; l.masks[2] = 0x0000FF;
    }

    l.pixelOffset = U32(p + 10);
    if (l.pixelOffset < afterHeaders)
        Fail(name, "pixel data offset " + Num(l.pixelOffset) + " lies inside the headers (they end at " +
                       Num(afterHeaders) + ")");

    // Colour table: between the headers and the pixels. Writers that give fewer entries than
    // the depth allows say so in biClrUsed (or, in OS/2 files, only by the pixel offset).
    if (l.bits <= 8) {
        l.paletteOffset = afterHeaders;
        l.paletteEntrySize = l.headerSize == 12 ? 3 : 4;
        const uint32_t full = 1u << l.bits;
        uint64_t entries = (l.headerSize == 12 || colorsUsed == 0) ? full : std::min(colorsUsed, full);
        const uint64_t room = (l.pixelOffset - l.paletteOffset) / l.paletteEntrySize;
        if (l.pixelOffset < fileSize) entries = std::min(entries, room);
        if (entries == 0) Fail(name, "has no colour table (the pixel data starts right after the headers)");
        const uint64_t paletteEnd = l.paletteOffset + entries * l.paletteEntrySize;
        if (paletteEnd > fileSize)
            Fail(name, "colour table runs past the end of the file (needs " + Num(paletteEnd) + " bytes, has " +
                           Num(fileSize) + ")");
        l.paletteEntries = int(entries);
    }

    if (l.pixelOffset >= fileSize)
        Fail(name, "pixel data offset " + Num(l.pixelOffset) + " is past the end of the file (" + Num(fileSize) +
                       " bytes)");
    l.dataBytes = fileSize - l.pixelOffset;

    const uint64_t rowBits = uint64_t(l.width) * l.bits;
    l.stride = (rowBits + 31) / 32 * 4;
    const uint64_t pixels = uint64_t(l.width) * uint64_t(l.height);
    if (IsRle(l)) {
        if (pixels > RlePixelsDescribable(l.dataBytes, l.width))
            Fail(name, "RLE data of " + Num(l.dataBytes) + " bytes cannot hold a " + Num(l.width) + " x " +
                           Num(l.height) + " picture");
        // The size of a plain bitmap is backed by its bytes; an RLE picture's only loosely, so
        // it keeps to the program's side limit as well.
        if (l.width > kMaxImageSide || l.height > kMaxImageSide)
            Fail(name, "RLE picture size " + Num(l.width) + " x " + Num(l.height) + " is too large (at most " +
                           Num(kMaxImageSide) + " pixels per side)");
    } else {
        // The last row's padding may be missing: some writers stop right after the pixels.
        const uint64_t needed = l.stride * (uint64_t(l.height) - 1) + (rowBits + 7) / 8;
        if (needed > l.dataBytes)
            Fail(name, "pixel data ends early (needs " + Num(needed) + " bytes, has " + Num(l.dataBytes) + ")");
    }
    return l;
}

// Keeps the picture's storage when it already has the size: every pixel is written below.
void SizePicture(Bitmap24& picture, int width, int height, const std::string& name) {
    if (picture.Width() == width && picture.Height() == height) return;
    try {
        picture.SetSize(width, height);
    } catch (const std::bad_alloc&) {
        picture = Bitmap24();
        Fail(name, "not enough memory for a " + Num(width) + " x " + Num(height) + " picture");
    }
}

// The colour table as 256 blue-green-red triples; indices past the table read as black.
struct Palette {
    uint8_t bgr[256 * 3] = {};
};

Palette ReadPalette(const uint8_t* file, const Layout& l) {
    Palette pal;
    const uint8_t* src = file + l.paletteOffset;
    for (int i = 0; i < l.paletteEntries; ++i, src += l.paletteEntrySize) {
        pal.bgr[3 * i] = src[0];
        pal.bgr[3 * i + 1] = src[1];
        pal.bgr[3 * i + 2] = src[2];
    }
    return pal;
}

// One bit-field channel: the masked value, shifted down, indexes a table of 8-bit levels.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    std::vector<uint8_t> levels{0};

    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        int n = std::popcount(m);
        if (n > 16) {  // keep the top 16 bits so the table stays small
            shift += n - 16;
            n = 16;
        }
        const uint32_t top = (1u << n) - 1;
        levels.resize(top + 1);
        for (uint32_t v = 0; v <= top; ++v) levels[v] = uint8_t((v * 255u + top / 2) / top);
    }
    uint8_t operator()(uint32_t pixel) const { return levels[(pixel & mask) >> shift]; }
};

void DecodeBitFieldRows(const uint8_t* data, const Layout& l, Bitmap24& out) {
    const Channel red(l.masks[0]), green(l.masks[1]), blue(l.masks[2]);
    const int w = l.width;
    for (int r = 0; r < l.height; ++r) {
        const uint8_t* src = data + r * l.stride;
        uint8_t* dst = out.Row(l.topDown ? r : l.height - 1 - r);
        if (l.bits == 16) {
            for (int x = 0; x < w; ++x, src += 2, dst += 3) {
                const uint32_t v = U16(src);
                dst[0] = blue(v); dst[1] = green(v); dst[2] = red(v);
            }
        } else {
            for (int x = 0; x < w; ++x, src += 4, dst += 3) {
                const uint32_t v = U32(src);
                dst[0] = blue(v); dst[1] = green(v); dst[2] = red(v);
            }
        }
    }
}

void DecodePlainRows(const uint8_t* file, const Layout& l, Bitmap24& out) {
    const uint8_t* data = file + l.pixelOffset;
    const int w = l.width;
    const bool standard32 = l.bits == 32 && l.masks[0] == 0xFF0000 && l.masks[1] == 0xFF00 && l.masks[2] == 0xFF;
    if (l.bits == 16 || (l.bits == 32 && !standard32)) return DecodeBitFieldRows(data, l, out);

    Palette pal;
    if (l.bits <= 8) pal = ReadPalette(file, l);
    const uint8_t* colours = pal.bgr;
    for (int r = 0; r < l.height; ++r) {
        const uint8_t* src = data + r * l.stride;
        uint8_t* dst = out.Row(l.topDown ? r : l.height - 1 - r);
        switch (l.bits) {
            case 24:
                std::memcpy(dst, src, std::size_t(w) * 3);
                break;
            case 32:
                for (int x = 0; x < w; ++x, src += 4, dst += 3) {
                    dst[0] = src[0]; dst[1] = src[1]; dst[2] = src[2];
                }
                break;
            case 8:
                for (int x = 0; x < w; ++x, dst += 3) std::memcpy(dst, colours + 3 * src[x], 3);
                break;
            case 4:
                for (int x = 0; x < w; ++x, dst += 3) {
                    const int index = (x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4);
                    std::memcpy(dst, colours + 3 * index, 3);
                }
                break;
            case 1:
                for (int x = 0; x < w; ++x, dst += 3) {
                    const int index = (src[x >> 3] >> (7 - (x & 7))) & 1;
                    std::memcpy(dst, colours + 3 * index, 3);
                }
                break;
        }
    }
}

// RLE8 and RLE4: runs and absolute blocks of palette indices, with escapes for end of line,
// end of bitmap and a jump (delta). Writes outside the picture are dropped (see the header).
void DecodeRle(const uint8_t* file, const Layout& l, Bitmap24& out, const std::string& name) {
    const Palette pal = ReadPalette(file, l);
    out.Fill(Bgr{pal.bgr[0], pal.bgr[1], pal.bgr[2]});
    const uint8_t* data = file + l.pixelOffset;
    const uint64_t n = l.dataBytes;
    const bool rle4 = l.compression == kBiRle4;
    const int w = l.width, h = l.height;
    uint64_t pos = 0;
    int x = 0, y = 0;  // y counts stored rows, from the first row in the file; x never passes w
    auto row = [&] { return out.Row(l.topDown ? y : h - 1 - y); };
    while (y < h) {
        if (n - pos < 2) {
            if (y == h - 1 && x == w) break;  // every pixel is there; only the final mark is missing
            Fail(name, "RLE data ends early (at row " + Num(y) + " of " + Num(h) + ", without an end-of-bitmap mark)");
        }
        const int count = data[pos], code = data[pos + 1];
        pos += 2;
        if (count > 0) {  // a run of one index (RLE8) or of two alternating indices (RLE4)
            const int shown = std::min(count, w - x);
            const uint8_t* first = pal.bgr + 3 * (rle4 ? code >> 4 : code);
            const uint8_t* second = pal.bgr + 3 * (rle4 ? code & 15 : code);
            uint8_t* dst = row() + 3 * x;
            for (int i = 0; i < shown; ++i, dst += 3) std::memcpy(dst, (i & 1) ? second : first, 3);
            x = std::min(w, x + count);
        } else if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap: the rest stays entry 0
            break;
        } else if (code == 2) {  // delta: move right and on by rows (in stored order)
            if (n - pos < 2) Fail(name, "RLE data ends inside a delta escape");
            x = std::min(w, x + data[pos]);
            y += data[pos + 1];
            pos += 2;
        } else {  // absolute block of `code` indices, padded to an even number of bytes
            const uint64_t bytes = rle4 ? (uint64_t(code) + 1) / 2 : uint64_t(code);
            if (n - pos < bytes)
                Fail(name, "RLE data runs past the end of the file (a block of " + Num(code) + " pixels at row " +
                               Num(y) + ")");
            const uint8_t* src = data + pos;
            const int shown = std::min(code, w - x);
            uint8_t* dst = row() + 3 * x;
            for (int i = 0; i < shown; ++i, dst += 3) {
                const int index = rle4 ? ((i & 1) ? src[i >> 1] & 15 : src[i >> 1] >> 4) : src[i];
                std::memcpy(dst, pal.bgr + 3 * index, 3);
            }
            x = std::min(w, x + code);
            // The pad byte of the last block may be missing at the very end of the file.
            pos += std::min<uint64_t>(n - pos, (bytes + 1) & ~uint64_t(1));
        }
    }
}

void DecodeWithLayout(std::span<const uint8_t> bytes, const Layout& l, const std::string& name, Bitmap24& out) {
    SizePicture(out, l.width, l.height, name);
    if (IsRle(l))
        DecodeRle(bytes.data(), l, out, name);
    else
        DecodePlainRows(bytes.data(), l, out);
    out.Touch();
}

}  // namespace

// --- BMP ---------------------------------------------------------------------------------

void DecodeBmp(std::span<const uint8_t> bytes, const std::string& name, Bitmap24& picture) {
    const Layout l = ParseLayout(bytes, bytes.size(), name);
    DecodeWithLayout(bytes, l, name, picture);
}

Bitmap24 DecodeBmp(std::span<const uint8_t> bytes, const std::string& name) {
    Bitmap24 picture;
    DecodeBmp(bytes, name, picture);
    return picture;
}

Bitmap24 ReadBmp(const fs::path& file) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    return DecodeBmp(bytes, file.string());
}

FileInfo ProbeBmp(const fs::path& file) {
    const std::string name = file.string();
    std::error_code ec;
    if (fs::is_directory(file, ec)) Fail(name, "is a directory, not a file");
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(name, "cannot open (" + Reason(errno) + ")");
    const uintmax_t size = fs::file_size(file, ec);
    if (ec) Fail(name, "cannot read (" + ec.message() + ")");
    uint8_t head[256];
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const Layout l = ParseLayout(std::span<const uint8_t>(head, std::size_t(in.gcount())), size, name);

    FileInfo info;
    info.Format = "BMP";
    info.Width = l.width;
    info.Height = l.height;
    info.Bits = l.bits;
    info.Details.emplace_back("header", Num(l.headerSize) + " (" + HeaderName(l.headerSize) + ")");
    info.Details.emplace_back("compression", CompressionName(l.compression, l.headerSize));
    info.Details.emplace_back("rows", l.topDown ? "top-down" : "bottom-up");
    if (l.bits <= 8) info.Details.emplace_back("palette", Num(l.paletteEntries));
    if (l.masksInFile)
        info.Details.emplace_back("bit fields",
                                  "red " + Hex(l.masks[0]) + ", green " + Hex(l.masks[1]) + ", blue " + Hex(l.masks[2]));
    return info;
}

std::vector<uint8_t> EncodeBmp24(const Bitmap24& picture, const std::string& name) {
    const int w = picture.Width(), h = picture.Height();
    if (picture.Empty()) Fail(name, "cannot save an empty picture");
    if (w > kMaxSide || h > kMaxSide)
        Fail(name, "picture size " + Num(w) + " x " + Num(h) + " is too large for a bitmap file");
    const std::size_t rowBytes = std::size_t(w) * 3;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t(3);
    const uint64_t total = 54 + uint64_t(stride) * h;
    if (total > 0xFFFFFFFFu) Fail(name, "picture is too large for a bitmap file");

    std::vector<uint8_t> bytes(std::size_t(total), 0);  // zero padding included
    uint8_t* p = bytes.data();
    p[0] = 'B'; p[1] = 'M';
    Put32(p + 2, uint32_t(total));
    Put32(p + 10, 54);
    Put32(p + 14, 40);
    Put32(p + 18, uint32_t(w));
    Put32(p + 22, uint32_t(h));  // positive: rows bottom-up, as every reader expects
    Put16(p + 26, 1);
    Put16(p + 28, 24);
    Put32(p + 30, kBiRgb);
    Put32(p + 34, uint32_t(stride * h));
    Put32(p + 38, 2835);  // 72 dots per inch, so viewers do not show a zero resolution
    Put32(p + 42, 2835);
    for (int y = 0; y < h; ++y) std::memcpy(p + 54 + std::size_t(h - 1 - y) * stride, picture.Row(y), rowBytes);
    return bytes;
}

void WriteBmp24(const fs::path& file, const Bitmap24& picture, SafeFileSet* set) {
    const std::vector<uint8_t> bytes = EncodeBmp24(picture, file.string());
    WriteFileReplacing(file, bytes, set);
}

}  // namespace talvenor
