#pragma once
// The status bar's word on the last save: every saver reports the file it wrote here, once
// it is written, and the next operation takes the word away.
#include <filesystem>

#include "workspace/workspace.h"

namespace talvenor {

// "Saved " and the full path of the file written.
void NoteSaved(Workspace& ws, const std::filesystem::path& written);
// "Copied to the clipboard".
void NoteCopied(Workspace& ws);

}  // namespace talvenor
