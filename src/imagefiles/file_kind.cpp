#include "imagefiles/file_kind.h"

#include <cerrno>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "workspace/error.h"

namespace talvenor {

std::string_view FileKindName(FileKind kind) {
    switch (kind) {
        case FileKind::Bmp: return "BMP";
        case FileKind::Jpeg: return "JPEG";
        case FileKind::Fits: return "FITS";
        case FileKind::Tiff: return "TIFF";
        case FileKind::Avi: return "AVI";
        case FileKind::Ser: return "SER";
        case FileKind::Png: return "PNG";
        case FileKind::Unknown: break;
    }
    return "unknown";
}

FileKind DetectFileKind(std::string_view h) {
    auto starts = [&](std::string_view magic) { return h.substr(0, magic.size()) == magic; };
    if (starts("BM") && h.size() >= 14) return FileKind::Bmp;
    if (starts("\xFF\xD8\xFF")) return FileKind::Jpeg;
    if (starts("SIMPLE  =")) return FileKind::Fits;
    // Classic TIFF and BigTIFF (version 43), in either byte order.
    if (starts(std::string_view("II\x2A\x00", 4)) || starts(std::string_view("MM\x00\x2A", 4)) ||
        starts(std::string_view("II\x2B\x00", 4)) || starts(std::string_view("MM\x00\x2B", 4)))
        return FileKind::Tiff;
    if (starts("RIFF") && h.size() >= 12 && h.substr(8, 4) == "AVI ") return FileKind::Avi;
    if (starts("LUCAM-RECORDER")) return FileKind::Ser;
    if (starts("\x89PNG\r\n\x1A\n")) return FileKind::Png;
    return FileKind::Unknown;
}

bool IsGzipFitsName(const std::filesystem::path& file) {
    std::string name = file.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* tail : {".fit.gz", ".fits.gz", ".fts.gz"})
        if (name.size() > std::strlen(tail) && name.compare(name.size() - std::strlen(tail), std::string::npos, tail) == 0)
            return true;
    return false;
}

FileKind DetectFileKind(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) throw Error(file.string() + " is a directory, not an image or video file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error("Cannot open " + file.string() + ": " + std::strerror(errno));
    char head[16] = {};
    in.read(head, sizeof head);
    const std::string_view bytes(head, std::size_t(in.gcount()));
    // FITS tools write gzip-compressed files (NAME.fits.gz) that the FITS library opens as
    // they are; only the name tells them from any other gzip file.
    if (bytes.substr(0, 2) == "\x1F\x8B" && IsGzipFitsName(file)) return FileKind::Fits;
    return DetectFileKind(bytes);
}

}  // namespace talvenor
