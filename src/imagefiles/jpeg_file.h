#pragma once
// JPEG files through libjpeg: frames of a JPEG series and the JPEG results the user saves.
//
// Grey (one component) and colour (YCbCr or RGB, three components) pictures decode to
// 24 bits with libjpeg's default settings, so the pixels are exactly those `djpeg` gives.
// CMYK and YCCK files are refused with an error naming their colour space.
//
// Every failure raises talvenor::Error starting with the file's name, followed by libjpeg's
// own message. A file that ends before its last pixel is an error too: libjpeg would warn
// and fill the rest with grey, and a half-grey frame must never reach a stack unnoticed.
// A header claiming more than kMaxDecodedPixels (decoded_image.h), or more than the file's
// scans can code (jpeg_scan_data.h), is refused before libjpeg allocates the picture.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imagefiles/file_info.h"
#include "workspace/bitmap24.h"
#include "workspace/file_bytes.h"

namespace talvenor {

Bitmap24 ReadJpeg(const std::filesystem::path& file);
// The same from a whole file already in memory (an MJPEG frame, a test); `name` is what
// error texts call it.
Bitmap24 DecodeJpeg(std::span<const uint8_t> bytes, const std::string& name);
// How subsampled colour is brought to full size: libjpeg's smooth interpolation (stills, as
// every viewer shows them), or each chroma sample repeated, as ffmpeg shows Motion-JPEG video.
enum class JpegChroma { Smooth, Repeated };

// For the passes: decodes into `picture`, keeping its storage when the size is unchanged.
// After an error `picture` may hold part of the frame.
void DecodeJpeg(std::span<const uint8_t> bytes, const std::string& name, Bitmap24& picture,
                JpegChroma chroma = JpegChroma::Smooth);

// Format "JPEG", the size, bits = 8 x components, and the details "components",
// "colour space", "progressive" (yes/no), "scan data" (entropy-coded bytes and scans) and
// "readable" ("yes (...limit...)" or "no: " and the reason a decode would give). Decodes no pixels.
FileInfo ProbeJpeg(const std::filesystem::path& file);

// Encodes with the encoder's default settings (jpeg_set_defaults: quality 75, 4:2:0 YCbCr,
// baseline) and writes beside the target, then renames over it, so a failed save leaves an
// existing file intact. A comment goes into COM segments before the image (split over as
// many as it needs: one holds kCommentSegment bytes).
void WriteJpeg(const std::filesystem::path& file, const Bitmap24& picture, std::string_view comment = {},
               SafeFileSet* set = nullptr);
// The bytes WriteJpeg writes.
std::vector<uint8_t> EncodeJpeg(const Bitmap24& picture, const std::string& name, std::string_view comment = {});
inline constexpr std::size_t kCommentSegment = 65533;

// The COM segments before the first scan of a JPEG file, joined in their order (empty when
// there are none or the bytes are not a JPEG file; a damaged segment ends the search).
std::string JpegComment(std::span<const uint8_t> bytes);

}  // namespace talvenor
