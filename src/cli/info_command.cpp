#include "cli/info_command.h"

#include <filesystem>
#include <ostream>
#include <string_view>

#include "imagefiles/bmp_file.h"
#include "imagefiles/file_kind.h"
#include "imagefiles/fits_file.h"
#include "imagefiles/jpeg_file.h"
#include "imagefiles/png_file.h"
#include "imagefiles/tiff_file.h"
#include "input/avi_file.h"
#include "input/ser_file.h"
#include "workspace/error.h"

namespace talvenor {

namespace {

FileInfo Probe(const std::filesystem::path& file) {
    switch (DetectFileKind(file)) {
        case FileKind::Bmp: return ProbeBmp(file);
        case FileKind::Jpeg: return ProbeJpeg(file);
        case FileKind::Fits: return ProbeFits(file);
        case FileKind::Tiff: return ProbeTiff(file);
        case FileKind::Png: return ProbePng(file);
        case FileKind::Avi: return ProbeAvi(file);
        case FileKind::Ser: return ProbeSer(file);
        case FileKind::Unknown: break;
    }
    throw Error(file.string() + ": not a BMP, JPEG, PNG, FITS, TIFF, AVI or SER file");
}

std::string_view DefaultReader(std::string_view format) {
    if (format == "JPEG") return "libjpeg";
    if (format == "AVI") return "own (compressed codecs through libavcodec)";
    return "own";
}

}  // namespace

int RunInfoCommand(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    if (files.empty()) {
        err << "talvenor-cli: info needs at least one FILE (see talvenor-cli --help)\n";
        return 2;
    }
    int status = 0;
    for (const std::string& name : files) {
        try {
            const FileInfo info = Probe(name);
            out << name << "\n";
            out << "  format: " << info.Format << "\n";
            out << "  size: " << info.Width << " x " << info.Height << "\n";
            out << "  bits: " << info.Bits << "\n";
            bool named = false;
            for (const auto& [key, value] : info.Details) named = named || key == "reader";
            // Every file says what decoded it; the readers of their own format say it themselves.
            if (!named) out << "  reader: " << DefaultReader(info.Format) << "\n";
            for (const auto& [key, value] : info.Details) out << "  " << key << ": " << value << "\n";
        } catch (const std::exception& e) {
            err << "talvenor-cli: " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace talvenor
