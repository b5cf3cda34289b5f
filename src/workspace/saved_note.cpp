#include "workspace/saved_note.h"

#include <system_error>

namespace talvenor {

void NoteSaved(Workspace& ws, const std::filesystem::path& written) {
    // The full path: a bare name would not say which folder the dialog was in.
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(written, ec);
    ws.SavedNote = "Saved " + (ec ? written : full.lexically_normal()).string();
}

void NoteCopied(Workspace& ws) { ws.SavedNote = "Copied to the clipboard"; }

}  // namespace talvenor
