#include "cli/info_command.h"

#include <filesystem>
#include <ostream>

#include "imagefiles/file_kind.h"
#include "workspace/error.h"

namespace talvenor {

int RunInfoCommand(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
    if (files.empty()) {
        err << "talvenor-cli: info needs at least one FILE (see talvenor-cli --help)\n";
        return 2;
    }
    int status = 0;
    for (const std::string& name : files) {
        try {
            const FileKind kind = DetectFileKind(std::filesystem::path(name));
            if (kind == FileKind::Unknown)
                throw Error(name + ": not a BMP, JPEG, FITS, TIFF or AVI file");
            out << name << "\n";
            out << "  format: " << FileKindName(kind) << "\n";
            out << "  bytes: " << std::filesystem::file_size(name) << "\n";
        } catch (const std::exception& e) {
            err << "talvenor-cli: " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace talvenor
