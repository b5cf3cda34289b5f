#pragma once
// Reading TIFF frames into the 16-bit image object and writing its 48-bit image as TIFF.
// The first page of a file is read. The program's own reader decodes the layouts it
// decodes exactly (uncompressed or LZW strips of the kinds TiffUnsupportedReason accepts);
// every other layout goes through libtiff (tiff_library.h). Nothing is ever read as a
// blank picture: a file is decoded or refused with an Error naming it and the reason.
#include <filesystem>
#include <string>
#include <string_view>

#include "imagefiles/file_info.h"
#include "imagefiles/tiff_ifd.h"
#include "workspace/file_bytes.h"
#include "workspace/tiff_bitmap.h"

namespace talvenor {

// Reads the first image of a TIFF file, whole, into the display picture and the wide image
// (16-bit samples as they are, 8-bit ones times 256). BitsPerPixel becomes the file's.
// Returns the directory that was read (for a BigTIFF file, as libtiff reports it). When
// `decoding` is given it receives how the file was read: "read by Talvenor's own TIFF
// reader", or DescribeDecoding's "read by libtiff (alpha dropped)".
TIFD LoadFromFile(TTIFFBitMap& bitmap, const std::filesystem::path& file, std::string* decoding = nullptr);

// Writes the wide image as an uncompressed 48-bit RGB TIFF of one strip (little-endian, a
// 170-byte header of 13 directory entries, rows from the top). A non-empty `description`
// (up to its first NUL) goes into an ImageDescription entry, its text after the directory.
// Written beside the target and renamed over it, so a failed save never destroys an older
// file of that name. Only 48 bits without compression exist; other arguments raise an Error.
// With `width` and `height` (at most the image's), only the image's top-left part of that size.
void SaveToFile(const TTIFFBitMap& bitmap, const std::filesystem::path& file, int bitsPerPixel = 48,
                bool compress = false, std::string_view description = {}, SafeFileSet* set = nullptr,
                int width = -1, int height = -1);

// What `info` reports of a TIFF file: its size and depth as stored, and the directory's
// byte order, offsets (BigTIFF), compression, predictor, photometric interpretation,
// samples, sample format, planar configuration, strips or tiles, the number of pages, the
// reader that decodes it, and for libtiff what reading changes ("alpha dropped", ...) or
// why it fails.
FileInfo ProbeTiff(const std::filesystem::path& file);

// Why the own reader does not decode this directory ("compression 8", "tiles", "signed
// integer samples", ...), so that libtiff reads it; empty when the own reader decodes it.
std::string TiffUnsupportedReason(const TIFD& ifd);

}  // namespace talvenor
