#pragma once
// Where the file dialogs start: where the user's files are, never the program's folder.
#include <filesystem>
#include <string>

#include "session/session.h"

namespace talvenor {

// The folder of the open capture (the AVI's or the series' first frame's), empty when
// nothing is open.
std::string CaptureFolder(const Session& s);

// Open dialogs: the capture's folder, else the last input folder ("Files"/"Dir").
std::string OpenStartDir(const Session& s);

// Save dialogs: the capture's folder, else the last folder saved to ("Files"/"SaveDir"),
// else the last input folder. A stored folder that no longer exists is passed over.
std::string SaveStartDir(const Session& s);

// The kinds of file the dialogs handle, each remembering its own last folder (captures by the
// input folder itself).
enum class FileGroup { Projects, Results, Calibration, Filters };

// Where a dialog for that kind of file starts: the last folder a file of the kind was opened
// from or saved to (in this run or an earlier one) while it still exists; else where the
// user's files are (SaveStartDir or OpenStartDir).
std::string StartDirFor(const Session& s, FileGroup group, bool saving);

// A file of that kind was chosen: the next dialog for the kind starts in its folder.
void RememberDirOf(Session& s, FileGroup group, const std::filesystem::path& chosen);

}  // namespace talvenor
