#pragma once
// Where the file dialogs start: where the user's files are, never the program's folder.
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

}  // namespace talvenor
