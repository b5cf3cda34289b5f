#pragma once
// A picture read through one of the format libraries (libtiff, libpng, cfitsio), in the one
// layout the rest of the program takes in, together with what the reader had to change to
// get there. The sample conversions every such reader needs (signed, wide and floating-point
// samples to the 16-bit scale) live here, so all formats map the same data the same way.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/tiff_bitmap.h"

namespace talvenor {

struct DecodedImage {
    int Width = 0, Height = 0;
    int Channels = 1;  // 1 grey, 3 red, green, blue
    // Rows from the top, Channels samples per pixel, full scale 65535. Data of 8 bits or
    // fewer is stored as value x 256 (levels of 1, 2 and 4-bit data spread over 0..255
    // first), so the top byte of a sample is the file's value itself.
    std::vector<uint16_t> Samples;
    std::string Reader;              // "libtiff", "libpng", "cfitsio"
    std::vector<std::string> Notes;  // what the reader changed: "alpha dropped", ...

    void Allocate(int width, int height, int channels);
    uint16_t At(int x, int y, int c) const {
        return Samples[(std::size_t(y) * std::size_t(Width) + std::size_t(x)) * std::size_t(Channels) + std::size_t(c)];
    }
    uint16_t& At(int x, int y, int c) {
        return Samples[(std::size_t(y) * std::size_t(Width) + std::size_t(x)) * std::size_t(Channels) + std::size_t(c)];
    }
};

// The largest picture a library reader decodes: more samples than this would not fit the
// 16-bit image beside its display picture on the machines the program runs on. Larger files
// are refused naming their size.
constexpr uint64_t kMaxDecodedPixels = uint64_t(1) << 28;

// Throws Error "<name>: a W x H picture is too large to read (...)" above kMaxDecodedPixels.
void CheckDecodedSize(std::string_view name, uint64_t width, uint64_t height);

// Samples of an integer type with `bits` significant bits (1..32), `isSigned` two's
// complement, to the 16-bit scale: signed values are offset to the unsigned range first
// (the most negative value becomes 0), then 1..8 bits spread to 0..255 and times 256,
// 9..16 bits shifted up to 16, wider samples keep their top 16 bits.
uint16_t IntegerTo16(int64_t value, int bits, bool isSigned);

// Floating-point samples (already scaled by whatever the file says) to the 16-bit scale:
// data within 0..1 is full scale (1.0 -> 65535); data within 0..65535 keeps its values as
// 16-bit levels (rounded; a note says so); any other range is stretched from its own minimum
// to its maximum, and a note saying so ("floating-point data -3.2 .. 1200 stretched to full
// scale") is added to `image`. Non-finite values count as the minimum. `out` has
// values.size() entries.
void FloatsTo16(std::span<const double> values, std::span<uint16_t> out, DecodedImage& image);

// The wide image and its display picture (each sample's top eight bits; grey samples go to
// all three channels).
void ToWideBitmap(const DecodedImage& image, TTIFFBitMap& bitmap);

// "read by libtiff (alpha dropped; 3 pages, the first read)": the reader and its notes, as
// `info` and the logs name them.
std::string DescribeDecoding(const DecodedImage& image);

}  // namespace talvenor
