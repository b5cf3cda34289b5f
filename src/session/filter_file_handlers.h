#pragma once
// The "Save" and "Load" buttons of the "Wavelet Filter" window: the 25 kernel weights to and
// from a filter file, with a copy of the last one kept beside the settings file.
#include <filesystem>

#include "session/session.h"

namespace talvenor {

// Where the copy of the last saved or loaded filter lives: beside the settings file (the
// program's folder when it is writable), else in the program's folder.
std::filesystem::path FilterCopyPath(const Session& s);

void SaveFilterClick(Session& s);
void LoadFilterClick(Session& s);

void RegisterFilterFileHandlers(Session& s);

}  // namespace talvenor
