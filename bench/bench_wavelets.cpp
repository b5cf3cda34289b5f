// The Wavelet Processing page's work on a 1024 x 768 colour stack with the default 512 x 512
// processing area in the middle: the split of the area's three channels into six layers
// (linear scheme 1 / 0 and dyadic 1 .. 32), one rebuild of the processed picture from the
// stored layers (also with noise thresholds on all six layers and anti-ringing), and "Do all" over the whole image. Median milliseconds of several runs,
// against the targets the page needs to feel immediate. Then the one-click choices on generated
// 640 x 480 and 1920 x 1080 colour stacks: "Auto" gains and the automatic deconvolution (blind
// sigma, default settings, whole picture), and one deconvolution of a 512 x 512 area, clipped to
// the 640 x 480 picture (what a slider move costs).
//
// Arguments: [runs] (default 7).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "session/session.h"
#include "session/startup.h"
#include "session/wavelet_process.h"
#include "wavelets/auto_gains.h"
#include "wavelets/blind_sigma.h"
#include "wavelets/decomposition.h"
#include "wavelets/deconvolution.h"
#include "wavelets/gamma_curve.h"
#include "wavelets/rebuild.h"
#include "workspace/scripted_host.h"
#include "workspace/stack_buffers.h"

using namespace talvenor;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr double kDecomposeTargetMs = 100, kRebuildTargetMs = 10, kNoiseRebuildTargetMs = 15, kSigmaMoveTargetMs = 100;

// Milliseconds of `runs` calls of `work` (after one warm-up), each preceded by an untimed
// `setup` that puts back what the previous call consumed: the median, and the fastest, which
// shows how much a busy neighbour on shared cores added.
struct Timing {
    double median = 0, fastest = 0;
};
Timing Measure(const std::function<void()>& setup, const std::function<void()>& work, int runs) {
    setup();
    work();
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        setup();
        const auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

void Row(const char* what, const Timing& t, double targetMs) {
    std::printf("  %-52s %8.2f ms (fastest %7.2f)", what, t.median, t.fastest);
    if (targetMs > 0) std::printf("   target <= %4.0f ms   %s\n", targetMs, t.median <= targetMs ? "PASS" : "FAIL");
    else std::printf("   no target\n");
}

// A stacked planet: a limb-darkened disk with belts, a little fine texture, red and blue
// brighter on opposite sides, on a dark sky, with photon-like noise (its spread grows with
// the square root of the level) left after stacking. Levels 0 .. 255.
void FillStack(Workspace& ws, Bitmap24& picture) {
    std::mt19937 rng(12345);
    std::normal_distribution<float> unit(0.0f, 1.0f);
    const double cx = kWidth * 0.5, cy = kHeight * 0.5, r = kHeight * 0.38;
    picture.SetSize(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double d = std::hypot(x - cx, y - cy) / r;
            double v = 8;
            if (d < 1) {
                const double limb = std::sqrt(1 - d * d);
                v = 40 + limb * (150 + 35 * std::sin((y - cy) * 0.045) + 12 * std::sin(y * 0.31 + x * 0.02) +
                                 6 * std::cos(x * 0.7 + y * 0.4));
            }
            const double tilt = (x - cx) / r * 12;
            const double level[3] = {v * 1.05 + tilt, v, v * 0.85 - tilt};
            float out[3];
            for (int c = 0; c < 3; ++c) {
                const double noisy = level[c] + unit(rng) * 0.35 * std::sqrt(std::max(level[c], 0.0));
                out[c] = float(std::clamp(noisy, 0.0, 255.0));
                ws.StackSum[std::size_t(c)].Row(y)[x] = out[c];
            }
            ws.StackSum[3].Row(y)[x] = 0.299f * out[0] + 0.587f * out[1] + 0.114f * out[2];
            picture.SetPixel(x, y, Bgr{uint8_t(std::nearbyint(out[2])), uint8_t(std::nearbyint(out[1])),
                                       uint8_t(std::nearbyint(out[0]))});
        }
}

// The largest difference, over the area's three channels, between the working image and the
// residual plus the six layers: the split must add back up or the timings mean nothing.
float ReconstructionError(Workspace& ws, const LayerArea& a) {
    float worst = 0;
    for (int c = 0; c < 3; ++c)
        for (int y = a.top; y <= a.bottom; ++y)
            for (int x = a.left; x <= a.right; ++x) {
                float sum = ws.ResultPlanes[std::size_t(c)].Get(x, y);
                for (int n = 1; n <= kLayers; ++n) sum += ws.LayerPlanes[std::size_t(n)][std::size_t(c)].Get(x - a.left, y - a.top);
                worst = std::max(worst, std::fabs(sum - ws.StackSum[std::size_t(c)].Get(x, y)));
            }
    return worst;
}

// The machine's load average over the last minute: on shared cores a busy neighbour
// inflates every figure, and the reader should know it did.
std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string first;
    in >> first;
    return first.empty() ? "unknown" : first;
}

// Three planes of 16-bit levels holding a blurred, noisy planet (as the working planes hold a
// stack), for the one-click choices.
std::vector<Single2dArray> PlanetPlanes(int w, int h) {
    std::mt19937 rng(777);
    std::normal_distribution<float> unit(0.0f, 1.0f);
    std::vector<Single2dArray> planes(3);
    const double cx = w * 0.5, cy = h * 0.5, r = h * 0.38;
    for (int c = 0; c < 3; ++c) {
        planes[std::size_t(c)].Create(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                // Soft-edged so the picture is already blurred: its belts and spots a few pixels wide.
                const double d = std::hypot(x - cx, y - cy) / r, edge = 0.5 - 0.5 * std::tanh((d - 1) * r / 1.5);
                const double v = 2000 + edge * (30000 + 6000 * std::sin((y - cy) * 0.045) + 2500 * std::sin(y * 0.31 + x * 0.02)) * (1 - 0.1 * c);
                planes[std::size_t(c)].Put(x, y, float(v + unit(rng) * 0.6 * std::sqrt(v)));
            }
    }
    return planes;
}

void OneClickRows(int runs) {
    const SmoothingKernel kernel = NormalisedKernel(DefaultKernelValues());
    for (const auto& [w, h, autoTarget, deconvolveTarget] :
         {std::tuple{640, 480, 500.0, 500.0}, std::tuple{1920, 1080, 2000.0, 2000.0}}) {
        const std::vector<Single2dArray> planes = PlanetPlanes(w, h);
        std::vector<const Single2dArray*> read;
        for (const Single2dArray& p : planes) read.push_back(&p);
        const PixelRect whole{0, 0, w, h};
        std::printf(" %d x %d colour stack (16-bit levels)\n", w, h);
        AutoWavelets chosen;
        const Timing autoGains = Measure([] {}, [&] { chosen = ChooseAutoWavelets(read, w, h, whole, kernel); }, runs);
        Row("\"Auto\" gains, ChooseAutoWavelets", autoGains, autoTarget);
        std::printf("    (chose %s, gains %d %d %d %d %d %d, blind sigma %.2f)\n", chosen.dyadic ? "dyadic" : "linear",
                    chosen.gain[1], chosen.gain[2], chosen.gain[3], chosen.gain[4], chosen.gain[5], chosen.gain[6], chosen.sigma);
        std::vector<Single2dArray> work(3);
        std::vector<Single2dArray*> written;
        for (Single2dArray& p : work) p.Create(w, h), written.push_back(&p);
        auto fresh = [&] {
            for (int c = 0; c < 3; ++c)
                for (int y = 0; y < h; ++y) std::copy_n(planes[std::size_t(c)].Row(y), w, work[std::size_t(c)].Row(y));
        };
        const Timing deconvolve = Measure(fresh, [&] {
            DeconvolutionSettings s;
            s.sigma = EstimateBlurSigma(read, w, h, whole).sigma;
            Deconvolve(written, w, h, whole, s);
        }, std::max(1, std::min(runs, 5)));
        Row("automatic deconvolution (blind sigma + Deconvolve)", deconvolve, deconvolveTarget);
        if (w == 640) {
            const PixelRect area{64, 0, 576, 480};  // 512 x 480: the area clipped to the picture
            const Timing slider = Measure(fresh, [&] { Deconvolve(written, w, h, area, DeconvolutionSettings{}); }, runs);
            Row("Deconvolve, 512-wide area, default settings", slider, 100);
        }
    }
}

struct Scheme {
    const char* name;
    bool dyadic;
};

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const fs::path dir = fs::temp_directory_path() / ("talvenor-bench-wavelets-" + std::to_string(::getpid()));
    fs::create_directories(dir / "app");
    fs::create_directories(dir / "config");

    ScriptedHost host;
    host.ShowProgressPictures = false;
    {
        Session s(host);
        StartUpEnvironment env;
        env.CurrentDir = dir / "app";
        env.ProgramFile = dir / "app" / "talvenor";
        env.UserConfigDir = dir / "config";
        StartUp(s, env);

        // A finished colour stack, as the stacker leaves it.
        Workspace& ws = s.ws;
        Controls& f = s.form;
        SetProcessAreaMax(ws, 3);
        ws.ImageWidth = kWidth;
        ws.ImageHeight = kHeight;
        AllocateStackBuffers(ws, f, kWidth, kHeight);
        FillStack(ws, f.Stackimage.Image);
        ws.StackReady = true;
        s.stack.StackMin = 0;
        s.stack.StackMax = 255;
        f.ColourStack.Checked = true;
        f.LRGB2.Checked = false;
        CurveFromGamma(1.0, ws.GammaCurve);
        // A sharpening a user would set: the fine layers raised, the coarse ones as they are.
        GainSlider(f, 1).Value = 30;
        GainSlider(f, 2).Value = 20;
        GainSlider(f, 3).Value = 15;
        const LayerArea area = ProcessArea(ws);

        std::printf("Wavelet processing, %d x %d colour stack, %d x %d area at (%d, %d), median of %d runs\n", kWidth,
                    kHeight, area.right - area.left + 1, area.bottom - area.top + 1, area.left, area.top, runs);
        std::printf(" (%u hardware threads, load average %s at the start)\n", std::thread::hardware_concurrency(),
                    LoadAverage().c_str());

        for (const Scheme scheme : {Scheme{"linear 1 / 0", false}, Scheme{"dyadic 1 .. 32", true}}) {
            f.Scaletype.ItemIndex = scheme.dyadic ? 0 : 1;
            f.LevelStep.Value = 1;
            f.Multiplicant.Value = 0;
            std::printf(" %s scheme (scales", scheme.name);
            for (int n = 1; n <= kLayers; ++n)
                std::printf(" %d", ScaleOfLayer(n, scheme.dyadic, f.LevelStep.Value, f.Multiplicant.Value));
            std::printf(")\n");

            // 1. The split alone: 6 layers x 3 channels of DecomposeLayer on fresh working planes.
            auto fresh = [&] { BuildWorkingPlanesFromControls(s); };
            auto split = [&] {
                for (int n = 1; n <= kLayers; ++n) {
                    const int scale = ScaleOfLayer(n, scheme.dyadic, f.LevelStep.Value, f.Multiplicant.Value);
                    LayerSums sums;
                    for (int c = 0; c < 3; ++c)
                        DecomposeLayer(ws.ResultPlanes[std::size_t(c)], ws.ScratchPlane,
                                       ws.LayerPlanes[std::size_t(n)][std::size_t(c)], ws.ImageWidth, ws.ImageHeight,
                                       area, scale, s.wavelets.Kernel, c == 1 ? &sums : nullptr);
                }
            };
            const Timing core = Measure(fresh, split, runs);
            const float error = ReconstructionError(ws, area);
            Row("decomposition, 18 x DecomposeLayer (core)", core, kDecomposeTargetMs);
            const Timing session = Measure(fresh, [&] { DecomposeAllLayers(s, nullptr); }, runs);
            Row("decomposition, DecomposeAllLayers (page)", session, kDecomposeTargetMs);
            std::printf("    (residual + layers vs the stack: largest difference %.2g)\n", double(error));
            if (error > 1e-3f) std::printf("    WARNING: the layers do not add back up to the image\n");

            // "Process" with stale layers: working planes, split, statistics and the rebuild.
            const Timing process = Measure([&] { ws.LayersStale = true; }, [&] { Process(s); }, runs);
            Row("Process with stale layers (planes + split + rebuild)", process, 0);
        }

        // 2. The rebuild from the stored layers (the layers of the linear default).
        f.Scaletype.ItemIndex = 1;
        ws.LayersStale = true;
        Process(s);
        const RebuildSettings settings = RebuildSettingsFromControls(s);
        Bitmap24& picture = f.ProcessImage.Image;
        const Timing rebuild = Measure([] {}, [&] { RebuildProcessedImage(ws, settings, picture); }, runs);
        Row("rebuild, RebuildProcessedImage", rebuild, kRebuildTargetMs);
        const Timing rebuildPage = Measure([] {}, [&] { RebuildImage(s); }, runs);
        Row("rebuild, RebuildImage (captions, marks, rebuild)", rebuildPage, kRebuildTargetMs);
        long long painted = 0;
        for (int y = area.top; y <= area.bottom; ++y)
            for (int x = area.left; x <= area.right; ++x) painted += picture.Row(y)[3 * x + 1];
        std::printf("    (mean green level of the rebuilt area %.1f)\n",
                    double(painted) / ((area.right - area.left + 1.0) * (area.bottom - area.top + 1.0)));

        // 2b. The rebuild with a noise threshold on every layer (soft) and anti-ringing on.
        {
            RebuildSettings noisy = settings;
            for (int n = 1; n <= kLayers; ++n) {
                noisy.cut[std::size_t(n)] = true;
                noisy.threshold[std::size_t(n)] = s.wavelets.LayerMeanAbs[std::size_t(n)];
            }
            noisy.antiRing = true;
            noisy.antiRingLevel = 40;
            const Timing rebuildNoise = Measure([] {}, [&] { RebuildProcessedImage(ws, noisy, picture); }, runs);
            Row("rebuild, six thresholds and anti-ringing", rebuildNoise, kNoiseRebuildTargetMs);
        }

        // 3. "Do all": every tile of the image, then the area again.
        const int doAllRuns = std::max(1, std::min(runs, 5));
        const Timing doAll = Measure([] {}, [&] { ProcessAllTiles(s); }, doAllRuns);
        Row("Do all, ProcessAllTiles (linear 1 / 0)", doAll, 0);
        f.Scaletype.ItemIndex = 0;
        const Timing doAllDyadic = Measure([] {}, [&] { ProcessAllTiles(s); }, doAllRuns);
        Row("Do all, ProcessAllTiles (dyadic 1 .. 32)", doAllDyadic, 0);
        std::printf("    (the page's own clock: \"%s\")\n", f.DoAllspeed.Caption.c_str());
        // 4. The deconvolution's sigma let go: the 512 x 512 area restored, split and rebuilt.
        {
            f.Scaletype.ItemIndex = 1;
            f.SharpenMethod.ItemIndex = 1;
            s.Dispatch("SharpenMethod", Event::Click);
            const Timing move = Measure([] {}, [&] {
                f.DeconvSigma.Value = f.DeconvSigma.Value == 150 ? 160 : 150;
                s.Dispatch("DeconvSigma", Event::Change);
            }, runs);
            Row("deconvolution sigma moved (restore + split + rebuild)", move, kSigmaMoveTargetMs);
        }
        std::printf("One-click choices, median of %d runs\n", runs);
        OneClickRows(runs);
        s.Close();
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
