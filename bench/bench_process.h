#pragma once
// The benchmarks that run talvenor-cli as a process of its own: the realistic captures they
// share (generated once into <build>/bench-data/ and reused), the child process with its
// output and peak memory, and the numbers of its --json.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture.h"

namespace talvenor::bench {

namespace fs = std::filesystem;

// A realistic capture: its folder name under bench-data, size, frames and seeing.
struct Kind {
    const char* name;
    int width, height, frames;
    bool colour;
    double distort = 0, patchy = 0;  // seeing that moves and blurs each area on its own
};

inline std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Generates the capture unless a finished one with the same description is there.
inline fs::path EnsureCapture(const fs::path& root, const Kind& k) {
    const fs::path dir = root / k.name;
    const fs::path avi = dir / "capture.avi", stamp = dir / "done";
    capture::CaptureOptions o = capture::RealisticCaptureOptions();
    o.width = k.width;
    o.height = k.height;
    o.frames = k.frames;
    o.colour = k.colour;
    o.format = k.colour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey;
    o.seed = 1;
    o.seeing.distortion = k.distort;
    o.seeing.patchiness = k.patchy;
    std::string description = "realistic v1 " + std::to_string(k.width) + "x" + std::to_string(k.height) + " " +
                              std::to_string(k.frames) + (k.colour ? " colour" : " mono") + " seed 1\n";
    if (k.distort > 0 || k.patchy > 0)
        description += "distort " + std::to_string(k.distort) + " patchy " + std::to_string(k.patchy) + "\n";
    if (fs::exists(avi) && ReadText(stamp) == description) return avi;
    fs::create_directories(dir);
    fs::remove(stamp);
    std::printf("  generating %s ...\n", (dir / "capture.avi").c_str());
    std::fflush(stdout);
    const auto summary = capture::WriteCapture(avi, o);
    std::printf("  %s\n", summary.Describe(o).c_str());
    std::ofstream(stamp) << description;
    return avi;
}

struct Run {
    int status = -1;
    double wall = 0;
    double peakMb = 0;
    std::string out, err;
};

// fork/exec with stdout and stderr in files; wait4 gives the child's peak resident memory.
inline Run Spawn(const std::vector<std::string>& args, const fs::path& scratch) {
    const fs::path outFile = scratch / "stdout.txt", errFile = scratch / "stderr.txt";
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Run run;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int o = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0) _exit(126);
        dup2(o, 1);
        dup2(e, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) return run;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) == pid) {
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.peakMb = double(usage.ru_maxrss) / 1024.0;
    }
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.out = ReadText(outFile);
    run.err = ReadText(errFile);
    return run;
}

// A number after "key": in the CLI's one-line JSON; nullopt when absent.
inline std::optional<double> JsonNumber(const std::string& json, const std::string& key) {
    const std::string needle = "\"" + key + "\": ";
    const auto at = json.find(needle);
    if (at == std::string::npos) return std::nullopt;
    return std::strtod(json.c_str() + at + needle.size(), nullptr);
}

// The number of "key" inside the object "object": {...} of the JSON (the CLI's stage objects
// share their keys); nullopt when either is absent.
inline std::optional<double> JsonNumberIn(const std::string& json, const std::string& object, const std::string& key) {
    const auto at = json.find("\"" + object + "\": {");
    if (at == std::string::npos) return std::nullopt;
    return JsonNumber(json.substr(at, json.find('}', at) - at), key);
}

}  // namespace talvenor::bench
