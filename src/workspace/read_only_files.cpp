#include "workspace/read_only_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include "workspace/error.h"
#include "workspace/host.h"

namespace talvenor {

bool IsReadOnlyFile(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return ::access(file.c_str(), W_OK) != 0;
}

bool ConfirmReadOnlyReplace(Host& host, const std::filesystem::path& file) {
    if (!host.Interactive()) throw Error(file.string() + " is read-only");
    return host.Message(MsgKind::Warning, " " + file.string() + " is read-only. Replace it anyway ?", Buttons::YesNo) ==
           Answer::Yes;
}

}  // namespace talvenor
