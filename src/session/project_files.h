#pragma once
// Saving the work as a project and opening it again, replaying it as far as it had come.
#include <filesystem>
#include <string>
#include <string_view>

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

// The project text of the work as it stands (what "Save" would write): the recipe a result
// image carries.
std::string ProjectText(Session& s);

// Opens a project given as text (a result's recipe); `origin` names where it came from.
bool LoadProjectText(Session& s, std::string_view text, const std::filesystem::path& origin);

void RegisterProjectHandlers(Session& s);

}  // namespace talvenor
