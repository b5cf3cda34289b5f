#pragma once
// Recognises the kind of an input file by its first bytes, not by its name: captures come
// from many programs and not all of them name their files well.
#include <filesystem>
#include <string_view>

namespace talvenor {

enum class FileKind { Unknown, Bmp, Jpeg, Fits, Tiff, Avi, Ser, Png };

std::string_view FileKindName(FileKind kind);

// Reads the first bytes of the file; throws Error naming the file when it cannot be read.
FileKind DetectFileKind(const std::filesystem::path& file);
// Whether the name is that of a gzip-compressed FITS file (".fits.gz", ".fit.gz", ".fts.gz").
bool IsGzipFitsName(const std::filesystem::path& file);
// The same from bytes already read (at least the first 14 when available).
FileKind DetectFileKind(std::string_view head);

}  // namespace talvenor
