#pragma once
// Windows bitmap files: frames of a BMP series, dark frames and flat fields, and the 24-bit
// results the user saves.
//
// Reading takes every variant a capture or paint program writes: the OS/2 1.x core header
// (12 bytes), the OS/2 2.x header (64), BITMAPINFOHEADER (40) and its V2, V3, V4 and V5
// successors (52, 56, 108, 124); 1, 4 and 8-bit colour tables (also shorter than 2^bits
// entries, and RLE4/RLE8 compressed); 16-bit (5-5-5, or any bit-field masks such as 5-6-5);
// 24-bit; 32-bit (plain or bit-fields, alpha ignored); bottom-up and top-down rows. Every
// picture comes back as 24 bits per pixel.
//
// Bit-field channels narrower or wider than 8 bits are scaled to the nearest 8-bit value:
// an n-bit value v becomes (v * 255 + m / 2) / m with m = 2^n - 1, so a 5-bit 3 reads as 25
// (24.68 rounded), 0 stays 0 and the largest value becomes 255. Channels wider than 16 bits
// keep their top 16 bits first.
//
// RLE streams are clipped to the picture: runs past the end of a row and rows past the last
// are dropped, and pixels the stream skips (delta escapes, early end-of-line or end-of-bitmap)
// take colour-table entry 0. A stream that stops before reaching its last row without an
// end-of-bitmap mark is a truncated file and an error, so a half frame is never stacked.
//
// Every malformed file raises talvenor::Error with a text that starts with the file's name
// and says what is wrong; the reader never touches bytes outside the file.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "imagefiles/file_info.h"
#include "workspace/bitmap24.h"
#include "workspace/file_bytes.h"

namespace talvenor {

Bitmap24 ReadBmp(const std::filesystem::path& file);
// The same from a whole file already in memory; `name` is what error texts call it.
Bitmap24 DecodeBmp(std::span<const uint8_t> bytes, const std::string& name);
// For the passes, which load thousands of frames of one size: decodes into `picture`,
// keeping its storage when the size is unchanged, so no frame costs an allocation. After an
// error `picture` may hold part of the frame.
void DecodeBmp(std::span<const uint8_t> bytes, const std::string& name, Bitmap24& picture);

// Format "BMP", the size, the bits per pixel and the details "header", "compression",
// "rows", "palette" (colour-table entries, when there is a table) and "bit fields" (the
// masks, when the file gives them). Checks the headers as ReadBmp does, without decoding.
FileInfo ProbeBmp(const std::filesystem::path& file);

// The plain 24-bit file every program reads: 54-byte header (BITMAPINFOHEADER), rows
// bottom-up, each padded to a multiple of 4 bytes, no compression. The file is written
// beside the target and renamed over it, so a failed save leaves an existing file intact.
void WriteBmp24(const std::filesystem::path& file, const Bitmap24& picture, SafeFileSet* set = nullptr);
// The bytes WriteBmp24 writes.
std::vector<uint8_t> EncodeBmp24(const Bitmap24& picture, const std::string& name);

}  // namespace talvenor
