#pragma once
// LZW decoding as TIFF writes it: codes of 9 to 12 bits, most significant bit first,
// Clear 256, EndOfInformation 257, first free code 258, and the code width growing one
// code early (at 511, 1023 and 2047). The string table lives in the object, so decoding
// the strips of many frames allocates nothing.
#include <cstddef>
#include <cstdint>

namespace talvenor {

class TLZW {
public:
    static constexpr int kClear = 256;
    static constexpr int kEndOfInformation = 257;
    static constexpr int kFirstFree = 258;
    static constexpr int kTableSize = 4096;

    // Decodes one strip into out, writing at most outSize bytes: decoding stops at
    // EndOfInformation, at the end of the input, or when out is full. Returns the number
    // of bytes written; the caller decides whether a short strip is an error. Throws Error
    // for a code the table does not hold yet, a table that overflows without a Clear code,
    // and for the old-style LZW of early writers (codes least significant bit first).
    std::size_t Decode(const uint8_t* in, std::size_t inSize, uint8_t* out, std::size_t outSize);

    TLZW();

    // The most bytes inSize bytes of LZW data can decode to: every code takes at least
    // 9 bits and no string in a 4096-entry table is longer than 4096 bytes. A strip whose
    // rows need more is damaged, and is rejected before a buffer is allocated for it.
    static constexpr std::size_t MaxOutput(std::size_t inSize) { return (inSize * 8 / 9 + 1) * kTableSize; }

private:
    // Writes the string of a code into out[at ..], cut at outSize; returns its full length.
    std::size_t WriteString(int code, uint8_t* out, std::size_t at, std::size_t outSize) const;

    uint16_t prefix_[kTableSize];
    uint16_t length_[kTableSize];
    uint8_t suffix_[kTableSize];
    uint8_t first_[kTableSize];
};

}  // namespace talvenor
