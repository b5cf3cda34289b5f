#include "session/dialog_dirs.h"

#include <filesystem>
#include <system_error>

namespace talvenor {

namespace {

bool IsFolder(const std::string& dir) {
    std::error_code ec;
    return !dir.empty() && std::filesystem::is_directory(dir, ec);
}

// The per-user store keeps each kind's folder, so the next run starts there too.
constexpr const char* kSection = "Files";
const char* KeyOf(FileGroup group) {
    switch (group) {
        case FileGroup::Projects: return "ProjectDir";
        case FileGroup::Results: return "ResultDir";
        case FileGroup::Calibration: return "CalibrationDir";
        case FileGroup::Filters: return "FilterDir";
    }
    return "ProjectDir";
}

}  // namespace

std::string StartDirFor(const Session& s, FileGroup group, bool saving) {
    if (std::string last = s.Settings.ReadString(kSection, KeyOf(group), ""); IsFolder(last)) return last;
    return saving ? SaveStartDir(s) : OpenStartDir(s);
}

void RememberDirOf(Session& s, FileGroup group, const std::filesystem::path& chosen) {
    const std::filesystem::path dir = std::filesystem::absolute(chosen).parent_path();
    if (!dir.empty()) s.Settings.WriteString(kSection, KeyOf(group), dir.string());
}

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
