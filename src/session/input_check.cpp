#include "session/input_check.h"

#include <filesystem>

#include "imagefiles/file_kind.h"
#include "input/any_picture.h"
#include "workspace/error.h"
#include "workspace/text_util.h"

namespace talvenor {

namespace fs = std::filesystem;

int InputTypeOfFile(const std::string& path) {
    const std::string ext = ToLower(fs::path(path).extension().string());
    if (ext == ".avi" || ext == ".ser") return 1;
    if (ext == ".bmp") return 2;
    if (ext == ".fit" || ext == ".fits" || ext == ".fts" || IsGzipFitsName(path)) return 3;
    if (ext == ".jpg" || ext == ".jpeg") return 4;
    if (ext == ".tif" || ext == ".tiff") return 5;
    if (ext == ".png") return 6;
    return 0;
}

int InputTypeForChoice(const std::vector<std::string>& files, int filterIndex) {
    if (files.empty()) return filterIndex;
    const int own = InputTypeOfFile(files[0]);
    return own != 0 ? own : filterIndex;
}

std::string InputRefusal(const std::vector<std::string>& files, int type) {
    if (files.empty()) return "no file was chosen";
    std::string first;
    // A series needs one readable frame to size it (the others are checked as they are met);
    // a video is judged by its first frame.
    const std::size_t tried = type == 1 ? 1 : files.size();
    for (std::size_t i = 0; i < tried; ++i) {
        std::error_code ec;
        if (!fs::is_regular_file(files[i], ec)) {
            if (first.empty()) first = files[i] + ": not a readable file";
            continue;
        }
        try {
            ReadAnyPicture(files[i]);
            return {};
        } catch (const Error& e) {
            if (first.empty()) first = e.what();
        } catch (const std::bad_alloc&) {
            if (first.empty()) first = files[i] + ": not enough memory to read it";
        }
    }
    return first;
}

}  // namespace talvenor
