#pragma once
// Files the user protected against writing. A save never replaces one silently: the desktop
// asks, the command line (nobody there to answer) refuses.
#include <filesystem>

namespace talvenor {

class Host;

// Whether `file` exists and is protected against writing: no write permission bit is set (the
// owner's choice, which even the administrator's account respects here), or this user may not
// write it. A missing file is not read-only.
bool IsReadOnlyFile(const std::filesystem::path& file);

// For a read-only `file` about to be replaced: asks " <file> is read-only. Replace it anyway ?"
// (Yes/No) when a person is there to answer and returns whether they said Yes. Without one (the
// command line) throws Error "<file> is read-only".
bool ConfirmReadOnlyReplace(Host& host, const std::filesystem::path& file);

}  // namespace talvenor
