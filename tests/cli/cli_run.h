#pragma once
// Running talvenor-cli inside a test, and the small generated captures the command tests feed it.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "cli/cli_app.h"

namespace talvenor::testing {

struct CliRun {
    int code;
    std::string out, err;
    std::string said() const { return out + err; }
};

inline CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunCli(args, out, err);
    return {code, out.str(), err.str()};
}

// The exit status, with everything the command printed in `said` when given.
inline int CliStatus(const std::vector<std::string>& args, std::string* said = nullptr) {
    const CliRun r = Cli(args);
    if (said) *said = r.said();
    return r.code;
}

// A plain generated capture (simple model, no truth files) written as the AVI `file`.
inline std::filesystem::path PlainCapture(const std::filesystem::path& file, int frames, int width, int height,
                                          bool colour = false) {
    capture::CaptureOptions o;
    o.frames = frames;
    o.width = width;
    o.height = height;
    o.colour = colour;
    o.writeTruth = false;
    capture::WriteCapture(file, o);
    return file;
}

// A small Motion-JPEG capture of `frames` 96 x 80 frames, for damaging by hand.
inline std::filesystem::path SmallMjpegCapture(const std::filesystem::path& file, int frames = 12) {
    capture::CaptureOptions o;
    o.format = capture::CaptureFormat::AviMjpeg;
    o.frames = frames;
    o.width = 96;
    o.height = 80;
    o.writeTruth = false;
    capture::WriteCapture(file, o);
    return file;
}

inline std::string FileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace talvenor::testing
