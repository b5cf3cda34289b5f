#pragma once
// TIFF files the program's own reader does not decode exactly, read through libtiff: every
// compression libtiff offers, tiles, separate colour planes, BigTIFF, 1- to 32-bit integer
// samples (signed ones offset to the unsigned range), 16/32/64-bit floating-point samples,
// palettes, and the colour models libtiff turns into RGB itself (CMYK, YCbCr, CIELab,
// LogLuv, ...). Only the first page is read, rows in the order they are stored (Orientation
// is not applied, as by the own reader). Whatever libtiff cannot decode is refused with
// its reason; a damaged file never gives a picture.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "imagefiles/decoded_image.h"
#include "imagefiles/tiff_ifd.h"

namespace talvenor {

// Decodes the first page of the file. Reader "libtiff"; grey stays one channel, everything
// else becomes red, green, blue. Notes name what changed: "alpha dropped", "2 extra samples
// dropped", "converted to RGB by libtiff", a floating-point range stretched to full scale,
// "3 pages, the first read". Throws Error "<file name>: <reason>", the reason in libtiff's
// words where libtiff gave one.
DecodedImage ReadTiffWithLibrary(const std::filesystem::path& file);
// The same for a file already in memory; `name` starts the error texts.
DecodedImage ReadTiffWithLibrary(std::span<const uint8_t> bytes, std::string_view name);

// The first directory as libtiff reads it, for files the own directory parser does not take
// (BigTIFF), and the number of pages in the file. Throws Error "<name>: <reason>".
struct TiffLibraryDirectory {
    TIFD Ifd;
    int Pages = 1;
};
TiffLibraryDirectory ReadTiffDirectoryWithLibrary(std::span<const uint8_t> bytes, std::string_view name);

}  // namespace talvenor
