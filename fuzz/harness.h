#pragma once
// What every reader's fuzzer shares. A reader may refuse an input with talvenor::Error (the
// clean refusal the program shows the user); anything else escapes the harness and libFuzzer
// reports it: a crash, a sanitizer finding, another exception, a leak or a hang.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "workspace/controls.h"
#include "workspace/error.h"

namespace talvenor::fuzz {

// The input handed to a reader that only opens files by name. Each fuzzing process has its
// own folder under the temporary directory (TMPDIR, which `make fuzz` points into the build
// folder) and writes every input over one file there, named as the program would see it:
// some readers go by the extension or the name (a FITS file's channel).
class InputFile {
public:
    explicit InputFile(std::string_view name)
        : dir_(std::filesystem::temp_directory_path() / ("talvenor-fuzz-" + std::to_string(::getpid()))),
          path_(dir_ / std::string(name)) {
        std::filesystem::create_directories(dir_);
    }
    ~InputFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The file name alone: what every refusal must contain, whether it names the full path or not.
    std::string Name() const { return path_.filename().string(); }

    const std::filesystem::path& Write(std::span<const uint8_t> bytes) {
        std::FILE* out = std::fopen(path_.c_str(), "wb");
        if (!out) std::abort();  // the harness itself is broken, not the reader
        const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (std::fclose(out) != 0 || !written) std::abort();
        return path_;
    }

private:
    std::filesystem::path dir_;
    std::filesystem::path path_;
};

// Runs one reading step; a refusal ends only that step, so later steps still see the input.
// The readers promise that a refusal names the file, so the user knows which one is broken:
// a text without `name` stops the fuzzer like a crash.
template <class Step>
void Refusable(std::string_view name, Step&& step) {
    try {
        step();
    } catch (const Error& e) {
        if (std::string_view(e.what()).find(name) == std::string_view::npos) {
            std::fprintf(stderr, "refusal without the file's name \"%.*s\": %s\n", int(name.size()), name.data(),
                         e.what());
            std::abort();
        }
    }
}

// The form takes milliseconds to build (its pictures are painted), far longer than most
// inputs take to read, so one form serves every input of a process. Readers only set values
// on it, which the next input may set again.
inline Controls& Form() {
    static Controls form;
    return form;
}

inline std::string_view Text(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace talvenor::fuzz
