// talvenor-cli stack on captures like real ones (photon and read noise over a black level,
// seeing that wanders and differs between the axes, pointing that random-walks): seconds
// per stage, frames per second and peak memory of the process against the time to decode
// the capture three times in-process and the memory target, and the stack's disk PSNR next
// to the sharpest single frame's and the oracle stack's, with the rank correlation of the
// program's frame quality with the true blur.
//
// The captures are generated once into <build>/bench-data/ and reused by later runs.
// Arguments: "quick" skips the 1920 x 1080 capture.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "input/avi_file.h"
#include "bench_process.h"

using namespace talvenor;
using namespace talvenor::bench;
namespace fs = std::filesystem;

namespace {

constexpr double kTargetRatio = 4.0;  // stack time over the time to decode the capture three times
constexpr double kTargetMb = 300.0;

constexpr double kPointsRatio = 2.0;    // the alignment-point stack over the global stack, whole process
constexpr double kPointsSeconds = 3.0;  // ... and at most this long on the 500-frame colour capture

// Decodes every frame with the program's AVI reader; seconds.
double DecodeAll(const fs::path& file) {
    const auto t0 = std::chrono::steady_clock::now();
    AviFile avi(file);
    Bitmap24 frame;
    for (int64_t i = avi.Start(); i < avi.Start() + avi.Length(); ++i) avi.DecodeFrame(i, frame);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    return line.size() > 100 ? line.substr(0, 100) + "..." : line;
}

void Measure(const fs::path& bin, const fs::path& root, const Kind& k) {
    const fs::path avi = EnsureCapture(root, k);
    const fs::path dir = avi.parent_path();
    const double mb = double(fs::file_size(avi)) / 1e6;
    std::printf("\n%s: %d x %d, %d frames, %s, %.0f MB (%s)%s\n", k.name, k.width, k.height, k.frames,
                k.colour ? "colour 24-bit" : "mono 8-bit", mb, avi.c_str(),
                k.distort > 0 ? ", seeing that bends (--distort 0.8) and is patchy (--patchy 0.35)" : "");

    DecodeAll(avi);  // into the page cache
    double read3 = 0;
    for (int i = 0; i < 3; ++i) read3 += DecodeAll(avi);
    std::printf("  reading it three times (every frame decoded in-process): %.2f s (%.0f frames/s)\n", read3,
                3 * k.frames / read3);

    const capture::GroundTruth truth = capture::ReadGroundTruth(dir);
    capture::CaptureFrames frames(avi);
    const capture::FrameReader reader = [&](int i, capture::FloatImage& out) { frames.Read(i, out); };
    const auto best = capture::BestFramePsnr(reader, truth, 5);
    const auto oracle = capture::OracleStack(reader, truth, 0.25);
    std::printf("  best single frame %.2f dB (frame %d, true sigma %.2f px); oracle stack %.2f dB (best %d by true "
                "blur, moved back exactly)\n",
                best.psnr.psnr, best.frame, truth.frames[std::size_t(best.frame)].sigma, oracle.psnr.psnr, oracle.frames);

    std::vector<std::vector<std::string>> variants = {{}, {"--ap", "off"}, {"--ap", "off", "--subpixel"}};
    if (k.distort > 0) variants = {{}, {"--ap", "off"}};
    double pointsTime = 0, globalTime = 0;
    std::printf("  %-21s %6s %8s %6s %5s %6s %7s %7s %9s %8s %8s  %s\n", "talvenor-cli stack", "align", "optimize",
                "stack", "save", "total", "fps", "peak MB", "/3 reads", "PSNR dB", "Spearman", "targets");
    for (const auto& extra : variants) {
        std::string label = "defaults";
        if (!extra.empty()) {
            label.clear();
            for (const auto& e : extra) label += (label.empty() ? "" : " ") + e;
        }
        const fs::path out = dir / "stack.tif", shifts = dir / "shifts.csv";
        fs::remove(out);
        fs::remove(shifts);
        std::vector<std::string> args{(bin / "talvenor-cli").string(), "stack", avi.string(), "-o", out.string(),
                                      "--json", "--shifts-csv", shifts.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const Run run = Spawn(args, dir);
        if (run.status != 0) {
            const bool unknown = run.err.find("unknown") != std::string::npos || run.status == 2;
            std::printf("  %-21s %s\n", label.c_str(),
                        unknown ? "not available" : ("failed: " + FirstLine(run.err)).c_str());
            continue;
        }
        const double total = JsonNumber(run.out, "total").value_or(run.wall);
        if (extra.empty()) pointsTime = run.wall;
        if (extra == std::vector<std::string>{"--ap", "off"}) globalTime = run.wall;
        std::string psnr = "-", spearman = "-";
        try {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f", capture::DiskPsnr(capture::ReadFloatImage(out), truth).psnr);
            psnr = text;
            const auto r = capture::QualityAgainstBlur(capture::ReadShiftsCsv(shifts), truth.frames);
            std::snprintf(text, sizeof text, "%+.3f", r.spearman);
            spearman = text;
        } catch (const std::exception& e) {
            psnr = "error";
            std::printf("  (%s)\n", e.what());
        }
        std::string verdict;
        if (total / read3 > kTargetRatio) verdict += "slow ";
        if (run.peakMb > kTargetMb) verdict += "memory ";
        if (verdict.empty()) verdict = "met";
        std::printf("  %-21s %6.2f %8.2f %6.2f %5.2f %6.2f %7.0f %7.0f %8.2fx %8s %8s  %s\n", label.c_str(),
                    JsonNumber(run.out, "align").value_or(-1), JsonNumber(run.out, "optimize").value_or(-1),
                    JsonNumber(run.out, "stack").value_or(-1), JsonNumber(run.out, "save").value_or(-1), total,
                    k.frames / total, run.peakMb, total / read3, psnr.c_str(), spearman.c_str(), verdict.c_str());
    }
    if (pointsTime > 0 && globalTime > 0) {
        const bool capped = k.colour && k.width == 640 && k.frames == 500;
        const bool met = pointsTime <= kPointsRatio * globalTime && (!capped || pointsTime <= kPointsSeconds);
        std::printf("  alignment points (defaults) against --ap off, whole process: %.2f s / %.2f s = %.2fx  %s\n",
                    pointsTime, globalTime, pointsTime / globalTime, met ? "met" : "slow");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "quick") == 0;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path root = bin.parent_path() / "bench-data";
    if (!fs::exists(bin / "talvenor-cli")) {
        std::printf("talvenor-cli is not built beside %s\n", bin.c_str());
        return 1;
    }
    std::printf("Realistic captures (seed 1, seeing 0.8 .. 3.5 px, 3 e-/ADU, 3 e- read noise, peak ~200 ADU),\n"
                "stacked by talvenor-cli as a child process (page cache warm)\n");
    std::vector<Kind> kinds = {{"realistic-colour-640x480-500", 640, 480, 500, true},
                               {"bending-colour-640x480-500", 640, 480, 500, true, 0.8, 0.35},
                               {"bending-mono-640x480-500", 640, 480, 500, false, 0.8, 0.35},
                               {"realistic-mono-640x480-2000", 640, 480, 2000, false}};
    if (!quick) {
        kinds.push_back({"realistic-mono-1920x1080-200", 1920, 1080, 200, false});
        kinds.push_back({"bending-mono-1920x1080-200", 1920, 1080, 200, false, 0.8, 0.35});
    }
    for (const Kind& k : kinds) Measure(bin, root, k);
    std::printf("\nTargets: total within %.0fx three reads of the capture, peak memory under %.0f MB; the alignment\n"
                "points' stack within %.0fx the global stack's time (and %.0f s on the 500-frame colour capture).\n"
                "PSNR: disk PSNR against the truth after registration and gain/offset matching (higher is better).\n"
                "Spearman: rank correlation of the frame quality with the true blur; -1 means the quality sorts the\n"
                "frames by sharpness exactly, +1 that it sorts them backwards.\n",
                kTargetRatio, kTargetMb, kPointsRatio, kPointsSeconds);
    return 0;
}
