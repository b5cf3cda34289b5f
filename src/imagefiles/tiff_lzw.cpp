#include "imagefiles/tiff_lzw.h"

#include <string>

#include "workspace/error.h"

namespace talvenor {

namespace {

// Some encoders clear the table a little late; like the common readers we accept up to
// this many codes after the table is full (their entries could never be referenced) before
// calling the stream corrupt.
constexpr int kLateClearSlack = 1024;

}  // namespace

TLZW::TLZW() {
    for (int i = 0; i < 256; ++i) {
        prefix_[i] = 0;
        length_[i] = 1;
        suffix_[i] = uint8_t(i);
        first_[i] = uint8_t(i);
    }
}

std::size_t TLZW::WriteString(int code, uint8_t* out, std::size_t at, std::size_t outSize) const {
    const std::size_t len = length_[code];
    std::size_t end = at + len;
    // Strings are stored backwards (each entry knows its last byte and its prefix), so a
    // string that does not fit first drops the bytes that would land past the end.
    while (end > outSize) {
        code = prefix_[code];
        --end;
    }
    for (std::size_t i = end; i > at; --i) {
        out[i - 1] = suffix_[code];
        code = prefix_[code];
    }
    return len;
}

std::size_t TLZW::Decode(const uint8_t* in, std::size_t inSize, uint8_t* out, std::size_t outSize) {
    // A new-style stream starts with a Clear code, most significant bit first (0x80 ...);
    // the old style wrote 256 least significant bit first, giving 00 followed by an odd byte.
    if (inSize >= 2 && in[0] == 0 && (in[1] & 1))
        throw Error("old-style LZW data (codes least significant bit first) is not supported");

    uint64_t bitBuffer = 0;
    int bitCount = 0;
    std::size_t inPos = 0, o = 0;
    int width = 9;
    int next = kFirstFree;
    int old = -1;
    int lateCodes = 0;
    while (o < outSize) {
        if (bitCount < width) {
            // Refill a whole word at a time; bits above bitCount are never looked at.
            while (bitCount <= 56 && inPos < inSize) {
                bitBuffer = bitBuffer << 8 | in[inPos++];
                bitCount += 8;
            }
            if (bitCount < width) break;  // the data ends without EndOfInformation
        }
        bitCount -= width;
        const int code = int(bitBuffer >> bitCount) & ((1 << width) - 1);

        if (code == kEndOfInformation) break;
        if (code == kClear) {
            width = 9;
            next = kFirstFree;
            old = -1;
            lateCodes = 0;
            continue;
        }
        if (old < 0) {
            // The first code after a Clear has no predecessor and must be a single byte.
            if (code > 255)
                throw Error("LZW code " + std::to_string(code) + " is out of range right after a Clear code");
            out[o++] = uint8_t(code);
            old = code;
            continue;
        }
        uint8_t firstByte;
        if (code < 256) {
            firstByte = uint8_t(code);
            out[o++] = firstByte;
        } else if (code < next) {
            firstByte = first_[code];
            o += WriteString(code, out, o, outSize);
        } else if (code == next) {
            // The string being defined: the previous string plus its own first byte.
            firstByte = first_[old];
            const std::size_t len = WriteString(old, out, o, outSize);
            if (o + len < outSize) out[o + len] = firstByte;
            o += len + 1;
        } else {
            throw Error("LZW code " + std::to_string(code) + " is out of range (the table holds " +
                        std::to_string(next) + " codes)");
        }
        if (o > outSize) o = outSize;

        if (next < kTableSize) {
            prefix_[next] = uint16_t(old);
            suffix_[next] = firstByte;
            first_[next] = first_[old];
            length_[next] = uint16_t(length_[old] + 1);
            ++next;
            // The early change: the width grows when the next free code reaches 2^width - 1.
            if (next >= (1 << width) - 1 && width < 12) ++width;
        } else if (++lateCodes > kLateClearSlack) {
            throw Error("LZW table overflows (no Clear code after " + std::to_string(kTableSize) + " entries)");
        }
        old = code;
    }
    return o;
}

}  // namespace talvenor
