// How close a whole `talvenor-cli stack` process comes to merely reading its capture: each
// capture stacked with the defaults (alignment points on) and with --ap off, the median of
// five processes each, against the median of five `cat` of the capture three times, measured
// in the same run with the page cache warm. Also the CPU the default run used (cores busy on
// average) and, for an MPEG-4 capture whose key frames are far apart, the optimizer's pass
// against one sequential decode of the capture's frames.
//
// The captures are generated once into <build>/bench-data/ (shared with bench_realistic);
// the MPEG-4 one needs the ffmpeg program and is left out without it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"
#include "input/avi_file.h"

using namespace talvenor;
using namespace talvenor::bench;

namespace {

constexpr int kRuns = 5;
constexpr double kPointsRatio = 2.0;  // the default (alignment points) over the global stack
constexpr double kCores = 1.5;        // CPU seconds per wall second of the 500-frame colour run
constexpr double kDecodeRatio = 1.5;  // the MPEG-4 optimizer pass over one sequential decode

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// `cat FILE FILE FILE > /dev/null`, median seconds of kRuns.
double CatThreeTimes(const fs::path& file, const fs::path& scratch) {
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i)
        t.push_back(Spawn({"/bin/sh", "-c", "cat \"$0\" \"$0\" \"$0\" > /dev/null", file.string()}, scratch).wall);
    return Median(t);
}

struct Stacked {
    double wall = 0, cpu = 0, optimize = 0;  // optimize: seconds per optimizer pass
    bool ok = true;
};

// kRuns stack processes: the median wall time, with the CPU time and optimizer stage of that run.
Stacked StackRuns(const fs::path& bin, const fs::path& capture, const std::vector<std::string>& extra) {
    const fs::path dir = capture.parent_path();
    std::vector<std::string> args{(bin / "talvenor-cli").string(), "stack", capture.string(), "-o",
                                  (dir / "speed.tif").string(), "-y", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<Stacked> runs;
    for (int i = 0; i < kRuns; ++i) {
        const Run run = Spawn(args, dir);
        if (run.status != 0) {
            std::printf("  failed: %s\n", run.err.substr(0, run.err.find('\n')).c_str());
            return {0, 0, 0, false};
        }
        // The optimizer's stage holds all its runs (the alignment repeats it while it improves).
        const double passes = std::max(1.0, JsonNumber(run.out, "optimizer_runs").value_or(1));
        runs.push_back({run.wall, JsonNumberIn(run.out, "cpu_seconds", "total").value_or(0),
                        JsonNumberIn(run.out, "seconds", "optimize").value_or(0) / passes, true});
    }
    std::sort(runs.begin(), runs.end(), [](const Stacked& a, const Stacked& b) { return a.wall < b.wall; });
    return runs[runs.size() / 2];
}

void Measure(const fs::path& bin, const fs::path& root, const Kind& k, double limit) {
    const fs::path avi = EnsureCapture(root, k);
    const double read3 = CatThreeTimes(avi, avi.parent_path());
    const Stacked points = StackRuns(bin, avi, {});
    const Stacked global = StackRuns(bin, avi, {"--ap", "off"});
    if (!points.ok || !global.ok) return;
    const double ratio = points.wall / read3;
    std::printf("%-30s %6.3f s %8.3f s %6.2fx (%.1fx) %8.3f s %6.2fx %5.2f %6.2f  %s\n", k.name, read3, points.wall, ratio,
                limit, global.wall, points.wall / global.wall, points.cpu / points.wall, points.cpu,
                ratio <= limit && points.wall <= kPointsRatio * global.wall ? "met" : "slow");
}

// Every frame of the AVI decoded in order by the program's reader, median seconds of kRuns.
double DecodeInOrder(const fs::path& file) {
    std::vector<double> t;
    for (int i = 0; i < kRuns; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        AviFile avi(file);
        Bitmap24 frame;
        for (int64_t f = avi.Start(); f < avi.Start() + avi.Length(); ++f) avi.DecodeFrame(f, frame);
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return Median(t);
}

// The 101-frame 1280 x 960 colour capture as MPEG-4 Part 2 ("DIVX") with a key frame every 300
// frames, as capture programs write it; empty when ffmpeg is missing.
fs::path EnsureMpeg4(const fs::path& root) {
    const Kind raw{"realistic-colour-1280x960-101", 1280, 960, 101, true};
    const fs::path out = root / raw.name / "divx.avi";
    if (fs::exists(out)) return out;
    if (!fs::exists("/usr/bin/ffmpeg")) return {};
    const fs::path source = EnsureCapture(root, raw);
    const Run run = Spawn({"/usr/bin/ffmpeg", "-nostdin", "-y", "-i", source.string(), "-c:v", "mpeg4", "-vtag", "DIVX",
                           "-q:v", "3", "-g", "300", out.string()},
                          source.parent_path());
    return run.status == 0 ? out : fs::path();
}

void MeasureMpeg4(const fs::path& bin, const fs::path& root) {
    const fs::path avi = EnsureMpeg4(root);
    if (avi.empty()) {
        std::printf("\nMPEG-4 capture: ffmpeg is not installed, left out\n");
        return;
    }
    const double decode = DecodeInOrder(avi);
    const Stacked run = StackRuns(bin, avi, {});
    if (!run.ok) return;
    std::printf("\nMPEG-4 (DIVX, key frames 300 apart), 101 x 1280 x 960 colour: optimizer %.3f s a pass, one sequential "
                "decode %.3f s = %.2fx (target %.1fx) %s; whole stack %.3f s\n",
                run.optimize, decode, run.optimize / decode, kDecodeRatio,
                run.optimize <= kDecodeRatio * decode ? "met" : "slow", run.wall);
}

}  // namespace

int main() {
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path root = bin.parent_path() / "bench-data";
    std::printf("Whole talvenor-cli stack processes against cat of the capture three times (median of %d, page cache "
                "warm)\n",
                kRuns);
    std::printf("%-30s %8s %10s %15s %10s %7s %5s %6s\n", "capture", "cat x3", "defaults", "/cat x3 (target)", "--ap off",
                "points", "cores", "CPU s");
    Measure(bin, root, {"realistic-colour-640x480-500", 640, 480, 500, true}, 2.0);
    Measure(bin, root, {"realistic-mono-640x480-2000", 640, 480, 2000, false}, 2.0);
    Measure(bin, root, {"realistic-mono-1920x1080-200", 1920, 1080, 200, false}, 2.5);
    MeasureMpeg4(bin, root);
    std::printf("\nTargets: the defaults within the ratio of three reads shown, and within %.0fx the global stack "
                "(--ap off);\nthe 500-frame colour run busy on more than %.1f cores (CPU s / wall s).\n",
                kPointsRatio, kCores);
    return 0;
}
