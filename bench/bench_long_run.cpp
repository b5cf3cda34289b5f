// A long capture end to end: FRAMES (default 5000) grey 1920 x 1080 frames as an 8-bit SER,
// aligned and stacked by `talvenor-cli stack` in a process of its own, whose peak memory
// (resident set, from the kernel's accounting of the finished process) and time are
// reported next to the program's idle size. The capture is written once into a temporary
// folder and removed afterwards (it takes about 2 GB per 1000 frames).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace talvenor;

namespace {

struct Run {
    int status = -1;
    double seconds = 0;
    double peakMb = 0;
};

// Runs the program and waits for it; its own peak resident set comes with its end.
Run RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Run r;
    const auto t0 = std::chrono::steady_clock::now();
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return r;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.peakMb = double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 5000;
    if (frames < 2) {
        std::fprintf(stderr, "usage: bench_long_run [FRAMES]\n");
        return 2;
    }
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const std::string cli = (bin / "talvenor-cli").string();
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-long-run";
    fs::create_directories(dir);
    const fs::path ser = dir / "long.ser";

    capture::CaptureOptions o;
    o.format = capture::CaptureFormat::SerMono;
    o.frames = frames;
    o.width = 1920;
    o.height = 1080;
    o.writeTruth = false;
    std::printf("Long capture: %d frames of 1920 x 1080, 8-bit grey SER\n", frames);
    const capture::CaptureSummary written = capture::WriteCapture(ser, o);
    std::printf("  written in %.0f s (%.1f GB)\n", written.seconds, double(written.bytes) / 1e9);

    const Run idle = RunProgram({cli, "info", ser.string()});
    const Run stack = RunProgram({cli, "stack", ser.string(), "-o", (dir / "stack.tif").string()});
    std::printf("  talvenor-cli info (idle size):  peak %6.0f MB\n", idle.peakMb);
    std::printf("  talvenor-cli stack:             peak %6.0f MB, %6.1f s (%.0f frames/s), exit %d\n", stack.peakMb,
                stack.seconds, frames / stack.seconds, stack.status);
    std::printf("  (target: peak under 500 MB)\n");
    fs::remove_all(dir);
    return stack.status == 0 ? 0 : 1;
}
