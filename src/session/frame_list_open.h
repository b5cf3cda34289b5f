#pragma once
// "Project Load" and a file given on the command line: frame lists (.rfl) open as a new
// sequence here; projects (.rsp) are read by the project files.
#include <string>

#include "session/session.h"

namespace talvenor {

// Opens a frame list as the sequence, with the frame list window and "Add" shown.
void OpenFrameListFile(Session& s, const std::string& path);

// Opens OpenDialog2's file (or asks for one unless it came from the command line).
void LoadProjectClick(Session& s);

}  // namespace talvenor
