#include "workspace/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "workspace/error.h"
#include "workspace/safe_file_set.h"

namespace talvenor {

namespace fs = std::filesystem;

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
std::string Reason(int err) { return err ? std::strerror(err) : "unknown error"; }
[[noreturn]] void Fail(const fs::path& file, const std::string& what) { throw Error(file.string() + ": " + what); }
}  // namespace

std::vector<uint8_t> ReadFileBytes(const fs::path& file) {
    std::vector<uint8_t> bytes;
    ReadFileBytes(file, bytes);
    return bytes;
}

void ReadFileBytes(const fs::path& file, std::vector<uint8_t>& bytes) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) Fail(file, "is a directory, not a file");
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(file.c_str(), "rb"));
    if (!in) Fail(file, "cannot open (" + Reason(errno) + ")");
    const uintmax_t size = fs::file_size(file, ec);
    try {
        bytes.resize(ec ? 0 : std::size_t(size));  // no new memory when the last frame was as large
    } catch (const std::bad_alloc&) {
        Fail(file, "not enough memory to read " + std::to_string(size) + " bytes");
    }
    errno = 0;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), in.get());
    if (got < bytes.size()) {
        if (std::ferror(in.get())) Fail(file, "cannot read (" + Reason(errno) + ")");
        bytes.resize(got);  // the file shrank since its size was taken
    }
}

void WriteFileReplacing(const fs::path& file, std::span<const uint8_t> bytes, SafeFileSet* set) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) Fail(file, "cannot write: it is a directory");
    if (set) {
        set->Add(file).Write(bytes.data(), bytes.size());
        return;
    }
    SafeFileWriter out(file);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
}

}  // namespace talvenor
