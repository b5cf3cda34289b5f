#pragma once
// PNG files through libpng: stills other capture and processing programs write, and the PNG
// results the user saves.
//
// Every layout PNG has is read: grey of 1, 2, 4, 8 and 16 bits, grey with alpha, RGB and RGBA
// of 8 and 16 bits, palettes (with or without transparency), interlaced or not. Samples keep
// their stored values (no gamma or significant-bit correction): 16-bit data as it is, 8-bit
// data as value x 256, 1/2/4-bit grey spread to 0..255 first. Alpha and transparency are
// dropped, not composited over a background; a palette is expanded to RGB; grey stays grey.
//
// Every failure raises talvenor::Error "<file>: <reason>", the reason being libpng's own
// message where libpng found the fault ("IDAT: CRC error", ...). A file that ends before its
// last pixel is an error, never a partly black frame; damage after the last pixel (a lost end
// chunk) only adds a note, as every pixel is there.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefiles/decoded_image.h"
#include "imagefiles/file_info.h"
#include "workspace/bitmap24.h"
#include "workspace/file_bytes.h"
#include "workspace/tiff_bitmap.h"

namespace talvenor {

DecodedImage ReadPng(const std::filesystem::path& file);
// The same from a whole file already in memory; `name` is what error texts call it.
DecodedImage DecodePng(std::span<const uint8_t> bytes, const std::string& name);

// Format "PNG", the size, the bits per pixel as stored (8 for an 8-bit palette, 64 for 16-bit
// RGBA) and the details "reader", "colour type", "bit depth", "interlace", "palette" (entries,
// palette files only), "recipe" (yes/no) and "decoding" (what ReadPng changes: alpha dropped,
// palette expanded to RGB, or "as stored"). Reads the whole file, as the text that carries a
// recipe may follow the pixels.
FileInfo ProbePng(const std::filesystem::path& file);

// The text of the first "Description" text chunk (tEXt, zTXt or iTXt) of a PNG file in
// memory, where results keep their recipe; nothing when there is none. A damaged file is an
// Error starting with `name`.
std::optional<std::string> PngDescription(std::span<const uint8_t> bytes, const std::string& name);

// 8-bit PNG of a 24-bit picture: RGB, or grey when every pixel is grey. A non-empty `recipe`
// goes into a tEXt chunk "Description" before the pixels. Written beside the target and
// renamed over it, so a failed save leaves an existing file intact. With a `set`, the file
// joins it and is replaced when the set is committed (so for every writer below).
void WritePng(const std::filesystem::path& file, const Bitmap24& picture, std::string_view recipe = {},
              SafeFileSet* set = nullptr);
// 16-bit RGB PNG of the top-left width x height of the wide image (the result images are
// allocated a pixel larger each way), the samples the 48-bit TIFF saves write.
void WritePng16(const std::filesystem::path& file, const TTIFFBitMap& image, int width, int height,
                std::string_view recipe = {}, SafeFileSet* set = nullptr);
// The bytes WritePng and WritePng16 write.
std::vector<uint8_t> EncodePng(const Bitmap24& picture, const std::string& name, std::string_view recipe = {});
std::vector<uint8_t> EncodePng16(const TTIFFBitMap& image, int width, int height, const std::string& name,
                                 std::string_view recipe = {});

}  // namespace talvenor
