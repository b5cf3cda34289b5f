#pragma once
// Saving the work as a project and opening it again, replaying it as far as it had come.
#include <filesystem>

#include "session/session.h"

namespace talvenor {

// "Save": asks for the file (or takes `path` when given, as the command line does) and writes
// the project. Returns whether a project was written.
bool SaveProjectClick(Session& s, const std::filesystem::path& path = {});

// "Save as" (AVI captures only): proposes the name with the capture's modification time
// ("_yyyymmdd_hhmmss"), renames the AVI to the chosen project's name and saves the project.
bool SaveProjectAsClick(Session& s);

// "yyyymmdd_hhmmss" of a file's modification time, in local time.
std::string ModificationStamp(const std::filesystem::path& file);

// Opens the project at `path`: the sequence, the calibration, the frame table, every stored
// control, then the replay by the stored work status (reference, ranking graph, stack,
// wavelet processing) and the stored page. False (with the message shown) when the capture
// or its first frame is missing.
bool LoadProjectFile(Session& s, const std::filesystem::path& path);

void RegisterProjectHandlers(Session& s);

}  // namespace talvenor
