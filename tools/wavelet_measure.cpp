#include "wavelet_measure.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "wavelets/auto_gains.h"
#include "wavelets/decomposition.h"
#include "workspace/error.h"

namespace talvenor::capture {

namespace {

struct Setting {
    std::array<float, kLayers + 1> gain{0, 1, 1, 1, 1, 1, 1};
    std::array<bool, kLayers + 1> cut{};
    std::array<float, kLayers + 1> threshold{};
};

// What the rebuild adds for one layer value: the value, or what its soft threshold leaves.
float Kept(const Setting& s, int n, float w) {
    const float t = s.threshold[std::size_t(n)];
    return s.cut[std::size_t(n)] ? w - std::min(std::max(w, -t), t) : w;
}

std::vector<Single2dArray> ToLevels(const FloatImage& image) {
    std::vector<Single2dArray> planes(std::size_t(image.channels));
    for (int c = 0; c < image.channels; ++c) {
        planes[std::size_t(c)].Create(image.width, image.height);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                planes[std::size_t(c)].Put(x, y, 65535.0f * image.Plane(c)[std::size_t(y) * image.width + x]);
    }
    return planes;
}

// The residual ([0]) and the six layers of each channel of the whole picture, in 16-bit levels,
// split by the program's own DecomposeLayer.
class SplitStack {
public:
    SplitStack(const FloatImage& stack, const SmoothingKernel& kernel, bool dyadic, double initial, double step)
        : width_(stack.width), height_(stack.height) {
        const LayerArea area{0, 0, width_ - 1, height_ - 1};
        Single2dArray scratch(width_, height_);
        std::vector<Single2dArray> planes = ToLevels(stack);
        for (int c = 0; c < stack.channels; ++c) {
            std::array<Single2dArray, kLayers + 1>& layers = channels_.emplace_back();
            for (int n = 1; n <= kLayers; ++n) {
                layers[std::size_t(n)].Create(width_, height_);
                LayerSums sums;
                DecomposeLayer(planes[std::size_t(c)], scratch, layers[std::size_t(n)], width_, height_, area,
                               ScaleOfLayer(n, dyadic, initial, step), kernel, &sums);
                // The noise window's statistics come from the green (or only) channel.
                if (c == (stack.channels == 3 ? 1 : 0)) meanAbs_[std::size_t(n)] = StatisticOf(sums).meanAbs;
            }
            layers[0] = std::move(planes[std::size_t(c)]);
        }
    }

    int Channels() const { return int(channels_.size()); }
    // The noise estimator D's threshold for layer n (its mean absolute value).
    float MeanAbs(int n) const { return meanAbs_[std::size_t(n)]; }

    // [0] the residual, [1..6] the layers.
    float Layer(int c, int n, int x, int y) const { return channels_[std::size_t(c)][std::size_t(n)].Get(x, y); }

    float Value(const Setting& s, int c, int x, int y) const {
        const auto& layers = channels_[std::size_t(c)];
        float sum = layers[0].Get(x, y);
        for (int n = 1; n <= kLayers; ++n) sum += s.gain[std::size_t(n)] * Kept(s, n, layers[std::size_t(n)].Get(x, y));
        return sum;
    }

    FloatImage Rebuilt(const Setting& s) const {
        FloatImage out;
        out.Allocate(width_, height_, Channels());
        for (int c = 0; c < Channels(); ++c)
            for (int y = 0; y < height_; ++y)
                for (int x = 0; x < width_; ++x)
                    out.Plane(c)[std::size_t(y) * width_ + x] = Value(s, c, x, y) / 65535.0f;
        return out;
    }

    int Width() const { return width_; }

private:
    int width_, height_;
    std::vector<std::array<Single2dArray, kLayers + 1>> channels_;
    std::array<float, kLayers + 1> meanAbs_{};
};

// The split's values at the judged pixels only, layer 1 also with its threshold applied: a grid
// setting is then a few multiply-adds per judged pixel.
class JudgedLayers {
public:
    JudgedLayers(const SplitStack& split, const DiskJudge& judge, float cut1) {
        if (split.Channels() != judge.Planes()) throw Error("the stack and the truth compare different channels");
        const std::size_t count = judge.Pixels().size();
        Setting cut;
        cut.cut[1] = true;
        cut.threshold[1] = cut1;
        for (int c = 0; c < split.Channels(); ++c) {
            auto& at = at_.emplace_back();
            for (auto& v : at) v.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                const int x = int(judge.Pixels()[i] % std::size_t(split.Width()));
                const int y = int(judge.Pixels()[i] / std::size_t(split.Width()));
                for (int n = 0; n <= kLayers; ++n) at[std::size_t(n)][i] = split.Layer(c, n, x, y);
                at[kLayers + 1][i] = Kept(cut, 1, at[1][i]);
            }
        }
        values_.assign(at_.size(), std::vector<float>(count));
    }

    double Psnr(const DiskJudge& judge, const std::array<float, kLayers + 1>& gain, bool cut1) {
        std::vector<const float*> planes;
        for (std::size_t c = 0; c < at_.size(); ++c) {
            const auto& at = at_[c];
            std::vector<float>& v = values_[c];
            const std::vector<float>& first = cut1 ? at[kLayers + 1] : at[1];
            for (std::size_t i = 0; i < v.size(); ++i) {
                float sum = at[0][i] + gain[1] * first[i];
                for (int n = 2; n <= kLayers; ++n) sum += gain[std::size_t(n)] * at[std::size_t(n)][i];
                v[i] = sum;
            }
            planes.push_back(v.data());
        }
        return judge.Psnr(planes);
    }

private:
    std::vector<std::array<std::vector<float>, kLayers + 2>> at_;  // residual, layers 1..6, layer 1 cut
    std::vector<std::vector<float>> values_;
};

std::string Describe(const Setting& s, const char* scheme) {
    char text[160];
    int used = std::snprintf(text, sizeof text, "%s gains", scheme);
    for (int n = 1; n <= kLayers; ++n) used += std::snprintf(text + used, sizeof text - std::size_t(used), " %g", s.gain[std::size_t(n)]);
    for (int n = 1; n <= kLayers; ++n)
        if (s.cut[std::size_t(n)])
            used += std::snprintf(text + used, sizeof text - std::size_t(used), ", layer %d cut at %.0f", n, s.threshold[std::size_t(n)]);
    return text;
}

}  // namespace

WaveletMeasurement MeasureWavelets(const FloatImage& stack, const GroundTruth& truth, bool grid,
                                   const std::function<void(const std::string&, const FloatImage&)>& row) {
    WaveletMeasurement out;
    const SmoothingKernel kernel = NormalisedKernel(DefaultKernelValues());
    const std::vector<Single2dArray> planes = ToLevels(stack);
    std::vector<const Single2dArray*> pointers;
    for (const Single2dArray& p : planes) pointers.push_back(&p);
    const auto start = std::chrono::steady_clock::now();
    const AutoWavelets chosen = ChooseAutoWavelets(pointers, stack.width, stack.height, {0, 0, stack.width, stack.height}, kernel);
    out.autoSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    Setting automatic;
    for (int n = 1; n <= kLayers; ++n) {
        automatic.gain[std::size_t(n)] = float(chosen.gain[std::size_t(n)]) / 10;
        automatic.cut[std::size_t(n)] = chosen.cut[std::size_t(n)];
        automatic.threshold[std::size_t(n)] = chosen.threshold[std::size_t(n)];
    }
    char scheme[48];
    if (chosen.dyadic) std::snprintf(scheme, sizeof scheme, "dyadic");
    else std::snprintf(scheme, sizeof scheme, "linear %g/%g", chosen.initial, chosen.step);
    out.autoChoice = Describe(automatic, scheme);
    const FloatImage rebuilt = SplitStack(stack, kernel, chosen.dyadic, chosen.initial, chosen.step).Rebuilt(automatic);
    out.autoPsnr = DiskPsnr(rebuilt, truth).psnr;
    row("auto wavelets", rebuilt);
    std::printf("    auto: %s (blind sigma %.2f, %.3f s)\n", out.autoChoice.c_str(), chosen.sigma, out.autoSeconds);
    if (!grid) return out;

    // Dyadic gains a user would try, each with and without the noise window's estimator D on
    // layer 1, judged where the stack itself registers.
    const SplitStack dyadic(stack, kernel, true, 1, 0);
    const DiskJudge judge(truth, DiskPsnr(stack, truth));
    JudgedLayers layers(dyadic, judge, dyadic.MeanAbs(1));
    std::vector<double> all;
    Setting best;
    out.gridBestPsnr = -1e9;
    const float fine[] = {1, 2, 3, 4, 6, 8}, coarse[] = {1, 1.5f};
    for (float g1 : fine)
        for (float g2 : fine)
            for (float g3 : fine)
                for (float g4 : coarse)
                    for (float g5 : coarse)
                        for (float g6 : coarse)
                            for (bool cut : {false, true}) {
                                const std::array<float, kLayers + 1> gain{0, g1, g2, g3, g4, g5, g6};
                                const double psnr = layers.Psnr(judge, gain, cut);
                                all.push_back(psnr);
                                if (psnr > out.gridBestPsnr) {
                                    out.gridBestPsnr = psnr;
                                    best.gain = gain;
                                    best.cut[1] = cut;
                                    best.threshold[1] = cut ? dyadic.MeanAbs(1) : 0;
                                }
                            }
    out.gridSettings = int(all.size());
    std::nth_element(all.begin(), all.begin() + std::ptrdiff_t(all.size() / 2), all.end());
    out.gridMedianPsnr = all[all.size() / 2];
    out.gridBest = Describe(best, "dyadic");
    const FloatImage bestImage = dyadic.Rebuilt(best);
    out.gridBestPsnr = DiskPsnr(bestImage, truth).psnr;
    row("wavelet grid best", bestImage);
    std::printf("    grid best of %d: %s (median %.2f dB)\n", out.gridSettings, out.gridBest.c_str(), out.gridMedianPsnr);
    return out;
}

}  // namespace talvenor::capture
