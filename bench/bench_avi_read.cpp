// Frames per second reading every frame of a 2000-frame 640 x 480 capture (raw 8-bit grey,
// raw 24-bit, MJPEG) with the program's AVI reader, next to the rate of merely reading the
// file's bytes. The captures are generated into a temporary folder and removed afterwards.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <vector>

#include "capture/capture.h"
#include "input/avi_file.h"

using namespace talvenor;
namespace fs = std::filesystem;

namespace {

double Seconds(const std::function<void()>& fn) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Reads the whole file in 4 MiB blocks, as fast as the system delivers it.
double ByteReadSeconds(const fs::path& file) {
    std::vector<char> block(4 << 20);
    return Seconds([&] {
        std::ifstream in(file, std::ios::binary);
        while (in.read(block.data(), std::streamsize(block.size())) || in.gcount() > 0) {
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const fs::path dir = fs::temp_directory_path() / "talvenor-bench-avi";
    fs::create_directories(dir);
    std::printf("AVI reading, %d frames of 640 x 480 (second pass over each file, so from the page cache)\n", frames);
    const struct {
        const char* name;
        capture::CaptureFormat format;
    } kinds[] = {{"raw 8-bit grey", capture::CaptureFormat::AviGrey},
                 {"raw 24-bit", capture::CaptureFormat::AviRgb},
                 {"MJPEG", capture::CaptureFormat::AviMjpeg}};
    for (const auto& k : kinds) {
        capture::CaptureOptions options;
        options.frames = frames;
        options.format = k.format;
        options.writeTruth = false;
        const fs::path file = dir / "capture.avi";
        capture::WriteCapture(file, options);
        const double mb = double(fs::file_size(file)) / 1e6;
        ByteReadSeconds(file);  // into the page cache
        const double read = ByteReadSeconds(file);
        Bitmap24 frame;
        const double decode = Seconds([&] {
            AviFile avi(file);
            for (int64_t i = avi.Start(); i < avi.Start() + avi.Length(); ++i) avi.DecodeFrame(i, frame);
        });
        std::printf("  %-16s %8.0f frames/s  %7.0f MB/s   byte read %8.0f frames/s  %7.0f MB/s   share %3.0f%%\n", k.name,
                    frames / decode, mb / decode, frames / read, mb / read, 100.0 * read / decode);
        fs::remove(file);
    }
    std::printf("  (target for the raw formats: at least 50%% of the byte-read rate)\n");
    fs::remove_all(dir);
    return 0;
}
