// talvenor-cli stack, end to end, on a generated 2000-frame 640 x 480 mono AVI and a
// 500-frame colour AVI: seconds per stage, frames per second, peak memory of the process,
// and the time to read the capture once (each pass re-reads it, so three reads is the floor).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture.h"

extern char** environ;

using namespace talvenor;
namespace fs = std::filesystem;

namespace {

double ReadOnce(const fs::path& file) {
    std::vector<char> block(4 << 20);
    const auto t0 = std::chrono::steady_clock::now();
    std::ifstream in(file, std::ios::binary);
    while (in.read(block.data(), std::streamsize(block.size())) || in.gcount() > 0) {
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs the command with its output in `outFile`; returns wall seconds and peak memory (MB).
std::pair<double, double> Run(const std::vector<std::string>& args, const fs::path& outFile) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto t0 = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return {-1, -1};
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    posix_spawn_file_actions_destroy(&actions);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return {seconds, usage.ru_maxrss / 1024.0};
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-stack";
    fs::create_directories(dir);
    const int mono = argc > 1 ? std::atoi(argv[1]) : 2000, colour = argc > 2 ? std::atoi(argv[2]) : 500;
    std::printf("talvenor-cli stack, 640 x 480 (captures in the page cache)\n");
    for (const bool isColour : {false, true}) {
        capture::CaptureOptions o;
        o.frames = isColour ? colour : mono;
        o.format = isColour ? capture::CaptureFormat::AviRgb : capture::CaptureFormat::AviGrey;
        o.colour = isColour;
        o.writeTruth = false;
        const fs::path file = dir / "capture.avi";
        capture::WriteCapture(file, o);
        ReadOnce(file);
        const double read = ReadOnce(file);
        std::vector<std::string> args{(bin / "talvenor-cli").string(), "stack", file.string(), "-o",
                                      (dir / "stack.bmp").string(), "--json", "--keep", "25%", "--force"};
        if (isColour) args.push_back("--colour");
        const auto [seconds, peakMb] = Run(args, dir / "out.json");
        std::ifstream json(dir / "out.json");
        std::stringstream text;
        text << json.rdbuf();
        std::printf(" %s AVI, %d frames, %.0f MB: %.2f s in all (%.0f frames/s), peak memory %.0f MB\n",
                    isColour ? "colour" : "mono", o.frames, double(fs::file_size(file)) / 1e6, seconds, o.frames / seconds,
                    peakMb);
        std::printf("   stages: %s", text.str().c_str());
        std::printf("   reading the file once: %.2f s; the run is %.1fx three reads (target: within 4x)\n", read,
                    seconds / (3 * read));
        fs::remove(file);
    }
    std::printf("  (target: peak memory under 300 MB whatever the frame count)\n");
    fs::remove_all(dir);
    return 0;
}
