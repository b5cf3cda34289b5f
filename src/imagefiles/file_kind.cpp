#include "imagefiles/file_kind.h"

#include <cerrno>
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
    if (starts(std::string_view("II\x2A\x00", 4)) || starts(std::string_view("MM\x00\x2A", 4))) return FileKind::Tiff;
    if (starts("RIFF") && h.size() >= 12 && h.substr(8, 4) == "AVI ") return FileKind::Avi;
    if (starts("LUCAM-RECORDER")) return FileKind::Ser;
    if (starts("\x89PNG\r\n\x1A\n")) return FileKind::Png;
    return FileKind::Unknown;
}

FileKind DetectFileKind(const std::filesystem::path& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) throw Error(file.string() + " is a directory, not an image or video file");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw Error("Cannot open " + file.string() + ": " + std::strerror(errno));
    char head[16] = {};
    in.read(head, sizeof head);
    return DetectFileKind(std::string_view(head, std::size_t(in.gcount())));
}

}  // namespace talvenor
