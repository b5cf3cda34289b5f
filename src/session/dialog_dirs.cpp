#include "session/dialog_dirs.h"

#include <filesystem>
#include <system_error>

namespace talvenor {

namespace {

bool IsFolder(const std::string& dir) {
    std::error_code ec;
    return !dir.empty() && std::filesystem::is_directory(dir, ec);
}

}  // namespace

std::string CaptureFolder(const Session& s) {
    const Workspace& ws = s.ws;
    if (!ws.IsImageSeries && ws.AviFileName == "none") return {};
    // Every way of opening a capture makes its folder the current one.
    const std::string& dir = s.form.DirectoryListBox1.Directory;
    return IsFolder(dir) ? dir : std::string();
}

std::string OpenStartDir(const Session& s) {
    if (std::string dir = CaptureFolder(s); !dir.empty()) return dir;
    const std::string& last = s.form.DirectoryListBox1.Directory;
    return IsFolder(last) ? last : std::string();
}

std::string SaveStartDir(const Session& s) {
    if (std::string dir = CaptureFolder(s); !dir.empty()) return dir;
    if (IsFolder(s.form.SaveDialog1.InitialDir)) return s.form.SaveDialog1.InitialDir;
    return OpenStartDir(s);
}

}  // namespace talvenor
