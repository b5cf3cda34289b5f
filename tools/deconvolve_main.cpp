// talvenor-deconvolve: measures the Gaussian deconvolution of a stack against the truth of the
// generated capture it came from, and times it. See --help.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "capture/evaluate.h"
#include "capture/image_reading.h"
#include "wavelets/blind_sigma.h"
#include "wavelets/deconvolution.h"
#include "wavelets/mixed_radix_fft.h"
#include "wavelet_measure.h"
#include "workspace/text_util.h"

namespace {

using namespace talvenor;
using namespace talvenor::capture;

const char* const kHelp =
    "talvenor-deconvolve - how far Gaussian deconvolution brings a stack towards the truth.\n"
    "\n"
    "Usage: talvenor-deconvolve STACK --truth DIR [--grid] [--per-channel] [--sigma S]\n"
    "                           [--damping D] [--iterations N]\n"
    "                           [--wavelets] [--wavelet-grid]\n"
    "       talvenor-deconvolve --time\n"
    "\n"
    "STACK is a stack of a capture by talvenor-capture (16-bit TIFF); DIR holds its truth.\n"
    "Reports the disk PSNR (as talvenor-evaluate), the ring just outside the limb (its mean as a\n"
    "share of the way from the sky to the disk, the truth's beside it) and the sky's noise\n"
    "relative to the stack's, for the stack, the blind estimate of the blur, and the Wiener\n"
    "filter and Richardson-Lucy at that sigma with the default parameters.\n"
    "\n"
    "Options:\n"
    "  --truth DIR     where truth.tif and truth.csv are\n"
    "  --grid          also every sigma from the estimate - 0.4 to + 0.4 in steps of 0.1 with\n"
    "                  several parameters of each method, and the best of each\n"
    "  --per-channel   colour: also each channel restored on its own, next to the default (the\n"
    "                  mean of the channels restored and its change added to each)\n"
    "  --sigma S       use S instead of the blind estimate\n"
    "  --damping D     Richardson-Lucy's damping (default 1.5)\n"
    "  --iterations N  Richardson-Lucy's iterations (default: as \"Auto\" chooses them)\n"
    "  --wavelets      also the stack sharpened by the automatic wavelet gains (\"Auto\"), and a\n"
    "                  summary line: stack, auto gains, grid best, automatic deconvolution\n"
    "                  (Richardson-Lucy with the default settings at the blind sigma)\n"
    "  --wavelet-grid  --wavelets and also the best of dyadic gains 1, 2, 3, 4, 6, 8 on layers\n"
    "                  1-3 and 1, 1.5 on layers 4-6, each without and with layer 1's mean absolute\n"
    "                  value as its soft threshold\n"
    "  --time          time both methods on 640 x 480 and 1920 x 1080 colour pictures\n";

[[noreturn]] void Usage(const std::string& message) {
    std::cerr << "talvenor-deconvolve: " << message << "\nTry 'talvenor-deconvolve --help'.\n";
    std::exit(2);
}

struct Planes {
    int width = 0, height = 0;
    std::vector<Single2dArray> channels;
    std::vector<Single2dArray*> Pointers() {
        std::vector<Single2dArray*> p;
        for (auto& c : channels) p.push_back(&c);
        return p;
    }
};

Planes ToPlanes(const FloatImage& image) {
    Planes p{image.width, image.height, std::vector<Single2dArray>(std::size_t(image.channels))};
    for (int c = 0; c < image.channels; ++c) {
        p.channels[std::size_t(c)].Create(image.width, image.height);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                p.channels[std::size_t(c)].Put(x, y, 65535.0f * image.Plane(c)[std::size_t(y) * image.width + x]);
    }
    return p;
}

FloatImage ToImage(const Planes& p) {
    FloatImage image;
    image.Allocate(p.width, p.height, int(p.channels.size()));
    for (int c = 0; c < image.channels; ++c)
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                image.Plane(c)[std::size_t(y) * p.width + x] = p.channels[std::size_t(c)].Get(x, y) / 65535.0f;
    return image;
}

FloatImage Restored(const FloatImage& stack, const DeconvolutionSettings& s) {
    Planes p = ToPlanes(stack);
    const auto pointers = p.Pointers();
    Deconvolve(pointers, p.width, p.height, {0, 0, p.width, p.height}, s);
    return ToImage(p);
}

struct Judge {
    const GroundTruth& truth;
    double stackSky = 0, truthRing = 0;
    void Row(const std::string& label, const FloatImage& image) const {
        const PsnrResult psnr = DiskPsnr(image, truth);
        const Background b = BackgroundOf(image, truth);
        std::printf("  %-34s %7.2f dB   ring %+.3f (truth %+.3f)   sky noise x%.2f\n", label.c_str(), psnr.psnr,
                    b.ringShare, truthRing, stackSky > 0 ? b.skyStd / stackSky : 0.0);
    }
};

std::string Describe(const DeconvolutionSettings& s) {
    char text[96];
    if (s.method == DeconvolutionMethod::Wiener)
        std::snprintf(text, sizeof text, "Wiener s %.2f K %.4g", s.sigma, s.wienerK);
    else
        std::snprintf(text, sizeof text, "RL s %.2f it %d damp %.1f", s.sigma, s.iterations, s.damping);
    return text;
}

void Grid(const FloatImage& stack, const GroundTruth& truth, double centre, double blindK) {
    struct Best {
        double psnr = -1e9;
        DeconvolutionSettings s;
    };
    std::vector<DeconvolutionSettings> variants;
    for (double k : {blindK, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1})
        variants.push_back({DeconvolutionMethod::Wiener, 0, k});
    for (int it : {10, 20, 40})
        for (double d : {0.0, 1.0, 3.0}) variants.push_back({DeconvolutionMethod::RichardsonLucy, 0, 0, it, d});
    std::printf("  grid: PSNR dB by sigma (columns) and parameters (rows)\n  %-24s", "");
    for (int k = -4; k <= 4; ++k) std::printf(" %6.2f", centre + 0.1 * k);
    std::printf("\n");
    Best best[2];
    for (DeconvolutionSettings s : variants) {
        s.sigma = 1;
        std::string label = Describe(s);
        label = label.substr(0, label.find(" s ")) + label.substr(label.find(" s ") + 7);
        std::printf("  %-24s", label.c_str());
        for (int k = -4; k <= 4; ++k) {
            s.sigma = centre + 0.1 * k;
            if (s.sigma <= 0.05) {
                std::printf(" %6s", "-");
                continue;
            }
            const double psnr = DiskPsnr(Restored(stack, s), truth).psnr;
            std::printf(" %6.2f", psnr);
            std::fflush(stdout);
            Best& b = best[s.method == DeconvolutionMethod::Wiener ? 0 : 1];
            if (psnr > b.psnr) b = {psnr, s};
        }
        std::printf("\n");
    }
    for (const Best& b : best) std::printf("  best: %-30s %7.2f dB\n", Describe(b.s).c_str(), b.psnr);
}

double Seconds(const std::chrono::steady_clock::time_point& since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Time() {
    FftPlane2d plane(1024, 1024);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x) plane.Row(y)[x] = float((x * 7 + y * 13) % 101);
    const auto fftStart = std::chrono::steady_clock::now();
    plane.Forward();
    std::printf("  1024 x 1024 complex transform                                %7.3f s\n", Seconds(fftStart));
    for (auto [w, h] : {std::pair{640, 480}, std::pair{1920, 1080}}) {
        FloatImage image;
        image.Allocate(w, h, 3);
        unsigned state = 1;
        for (float& v : image.data) v = float((state = state * 1664525u + 1013904223u) >> 8) / float(1 << 24) * 0.5f;
        for (DeconvolutionMethod method : {DeconvolutionMethod::Wiener, DeconvolutionMethod::RichardsonLucy})
            for (bool luminance : {true, false}) {
                DeconvolutionSettings s;
                s.method = method;
                s.luminance = luminance;
                Planes p = ToPlanes(image);
                const auto pointers = p.Pointers();
                const auto start = std::chrono::steady_clock::now();
                Deconvolve(pointers, w, h, {0, 0, w, h}, s);
                std::printf("  %4d x %-4d colour  %-30s %-12s %7.3f s\n", w, h, Describe(s).c_str(),
                            luminance ? "luminance" : "per channel", Seconds(start));
            }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> stackFile, truthDir;
    std::optional<double> sigma, damping, iterations;
    bool grid = false, perChannel = false, time = false, wavelets = false, waveletGrid = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) Usage(a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kHelp;
            return 0;
        } else if (a == "--truth") {
            truthDir = value();
        } else if (a == "--sigma") {
            sigma = ParseNumber(value());
            if (!sigma || !(*sigma > 0)) Usage("--sigma needs a number above 0");
        } else if (a == "--iterations") {
            iterations = ParseNumber(value());
            if (!iterations || *iterations < 1) Usage("--iterations needs a number of 1 or more");
        } else if (a == "--damping") {
            damping = ParseNumber(value());
            if (!damping || *damping < 0) Usage("--damping needs a number of 0 or more");
        } else if (a == "--grid") {
            grid = true;
        } else if (a == "--wavelets") {
            wavelets = true;
        } else if (a == "--wavelet-grid") {
            wavelets = waveletGrid = true;
        } else if (a == "--per-channel") {
            perChannel = true;
        } else if (a == "--time") {
            time = true;
        } else if (a.rfind("-", 0) == 0) {
            Usage("unknown option " + a);
        } else {
            stackFile = a;
        }
    }
    if (time) {
        Time();
        return 0;
    }
    if (!stackFile || !truthDir) Usage("a stack and --truth DIR are needed");
    try {
        const GroundTruth truth = ReadGroundTruth(*truthDir);
        const FloatImage stack = ReadFloatImage(*stackFile);
        Planes planes = ToPlanes(stack);
        std::vector<const Single2dArray*> channels;
        for (auto& c : planes.channels) channels.push_back(&c);
        const auto start = std::chrono::steady_clock::now();
        const BlindSigmaEstimate blind = EstimateBlurSigma(channels, planes.width, planes.height, {0, 0, planes.width, planes.height});
        const double blindTime = Seconds(start);
        const BlurMatch equivalent = EquivalentBlur(stack, truth);
        // The estimate on the truth blurred by exactly that: what the scene alone makes of it.
        Planes blurredTruth = ToPlanes(GaussianBlurred(truth.image, equivalent.sigma));
        std::vector<const Single2dArray*> truthChannels;
        for (auto& c : blurredTruth.channels) truthChannels.push_back(&c);
        const double truthSigma =
            EstimateBlurSigma(truthChannels, blurredTruth.width, blurredTruth.height, {0, 0, blurredTruth.width, blurredTruth.height}).sigma;
        std::printf("%s: %d x %d, %d channel(s)\n", stackFile->c_str(), stack.width, stack.height, stack.channels);
        std::printf("  blind sigma %.2f px (exponent %.2f, noise floor %.3g, %.3f s); the truth blurred by %.2f px "
                    "matches the stack best, and on that picture the estimate is %.2f px\n",
                    blind.sigma, blind.exponent, blind.noiseFloor, blindTime, equivalent.sigma, truthSigma);
        Judge judge{truth, BackgroundOf(stack, truth).skyStd, BackgroundOf(truth.image, truth).ringShare};
        const double s = sigma.value_or(blind.sigma);
        judge.Row("stack", stack);
        DeconvolutionSettings wiener, rl;
        wiener.sigma = rl.sigma = s;
        wiener.method = DeconvolutionMethod::Wiener;
        rl.method = DeconvolutionMethod::RichardsonLucy;
        rl.iterations = blind.iterations;  // as "Auto" chooses them
        if (damping) rl.damping = *damping;
        if (iterations) rl.iterations = int(*iterations);
        judge.Row(Describe(wiener), Restored(stack, wiener));
        DeconvolutionSettings blindWiener = wiener;
        blindWiener.wienerK = blind.wienerK;
        judge.Row(Describe(blindWiener) + " (K from the estimate)", Restored(stack, blindWiener));
        const FloatImage deconvolved = Restored(stack, rl);
        judge.Row(Describe(rl), deconvolved);
        if (perChannel && stack.channels == 3) {
            for (DeconvolutionSettings s : {wiener, rl}) {
                s.luminance = false;
                judge.Row(Describe(s) + " per channel", Restored(stack, s));
            }
        }
        if (wavelets) {
            const WaveletMeasurement w =
                MeasureWavelets(stack, truth, waveletGrid, [&](const std::string& label, const FloatImage& image) { judge.Row(label, image); });
            char gridBest[16] = "-";
            if (waveletGrid) std::snprintf(gridBest, sizeof gridBest, "%.2f", w.gridBestPsnr);
            std::printf("  summary: stack %.2f | auto wavelets %.2f | wavelet grid best %s | auto deconvolution %.2f dB\n",
                        DiskPsnr(stack, truth).psnr, w.autoPsnr, gridBest, DiskPsnr(deconvolved, truth).psnr);
        }
        if (grid) Grid(stack, truth, std::nearbyint(s * 10) / 10, blind.wienerK);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "talvenor-deconvolve: " << e.what() << "\n";
        return 1;
    }
}
