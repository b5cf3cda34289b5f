#pragma once
// Any picture file the program reads, or one frame of a video, as its wide image: what
// `convert` writes out, what the corpus checks compare with other decoders, and how an input
// is checked before it replaces the work in hand.
#include <filesystem>
#include <string>

#include "workspace/tiff_bitmap.h"

namespace talvenor {

struct AnyPicture {
    TTIFFBitMap Image;     // the 16-bit image and its display picture
    bool EightBit = true;  // every sample came from 8 bits (the display picture holds them all)
    std::string Decoding;  // "read by libtiff (alpha dropped)"; empty for the plain 8-bit readers
};

// Reads `in` by its content (BMP, JPEG, PNG, FITS, TIFF, or frame `frame` of an AVI or SER).
// FITS levels are stretched from the file's own minimum and maximum when `stretch` is set.
// Anything that cannot be decoded is an Error naming the file and the reason.
AnyPicture ReadAnyPicture(const std::filesystem::path& in, long long frame = 0, bool stretch = false);

}  // namespace talvenor
