#pragma once
// Reading TIFF frames into the 16-bit image object and writing its 48-bit image as TIFF.
// The reader takes the first directory of the file; every malformed file ends in an Error
// that names the file and the problem. Compressions, depths and layouts it does not decode
// leave a blank picture of the right size (TiffUnsupportedReason tells why).
#include <filesystem>
#include <string>
#include <string_view>

#include "imagefiles/file_info.h"
#include "imagefiles/tiff_ifd.h"
#include "workspace/tiff_bitmap.h"

namespace talvenor {

// Reads the first image of a TIFF file into the display picture and the wide image
// (16-bit samples as they are, 8-bit ones times 256), both of the file's size clamped to
// 4096 in each direction (the top-left part of a larger image). BitsPerPixel becomes the
// file's. Returns the directory that was read.
TIFD LoadFromFile(TTIFFBitMap& bitmap, const std::filesystem::path& file);

// Writes the wide image as an uncompressed 48-bit RGB TIFF of one strip (little-endian, a
// 182-byte header of 14 directory entries, rows from the top). A non-empty `description`
// (up to its first NUL) goes into an ImageDescription entry, its text after the directory.
// Written beside the target and renamed over it, so a failed save never destroys an older
// file of that name. Only 48 bits without compression exist; other arguments raise an Error.
void SaveToFile(const TTIFFBitMap& bitmap, const std::filesystem::path& file, int bitsPerPixel = 48,
                bool compress = false, std::string_view description = {});

// What `info` reports of a TIFF file: its size and depth as stored, and the directory's
// byte order, compression, predictor, photometric interpretation, samples, strips.
FileInfo ProbeTiff(const std::filesystem::path& file);

// Why the reader leaves the picture of this directory blank ("compression 8", ...); empty
// when it decodes it.
std::string TiffUnsupportedReason(const TIFD& ifd);

}  // namespace talvenor
