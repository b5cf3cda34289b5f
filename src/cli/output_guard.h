#pragma once
// Before a command does any work: no file it is to write may be one it reads (compared by the
// file's identity, so links and other spellings of a path are caught), no two outputs may be one
// file, and an existing output is replaced only when the user agrees (--force / -y).
#include <filesystem>
#include <string>
#include <vector>

namespace talvenor {

class CliHost;

// One file option of a command: "-o st.bmp", "--project run.rsp", ...
struct OutputFile {
    std::string option;
    std::filesystem::path path;
    // The save behind it asks its own overwrite question (the page saves, the FITS writer);
    // the others (--project, the CSV files) write without asking, so they are asked here.
    bool saveAsks = false;
    bool projectFile = false;  // asked with the project save's question
};

// The files an output option may write: a FITS name stands for its grey file or its three
// channel files; ".jpeg" and ".tiff" are written as ".jpg" and ".tif".
std::vector<std::filesystem::path> FilesWritten(const std::filesystem::path& output);

// The files a command reads for these inputs: each one, the frames a frame list names and, for
// a FITS name, its channel files.
std::vector<std::filesystem::path> FilesRead(const std::vector<std::string>& inputs);

// Whether the two names are one file: the same file on disk, or, for names not there yet, the
// same path once "." and ".." and links of the folders are resolved.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Throws Error naming the option and the file when an output is one of `read` or another
// output; asks about each existing output through `host` (answered by --force) and throws
// when the answer is no. Nothing has been written when it throws.
void GuardOutputs(const std::vector<std::filesystem::path>& read, const std::vector<OutputFile>& outputs, CliHost& host);

}  // namespace talvenor
