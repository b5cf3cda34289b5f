#include "wavelets/auto_gains.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "wavelets/blind_sigma.h"
#include "wavelets/fine_thresholds.h"
#include "wavelets/gain_fit.h"

namespace talvenor {

namespace {

// A layer is weakened as far as leaving it out (the finest, mostly noise, often is), never
// inverted. Measured on generated captures, gains held at 1 or above lost 0.2-0.6 dB, at 0.5 or
// above 0.1-0.2 dB, against this range.
constexpr double kLowestGain = 0.0;
constexpr double kHighestGain = 100.0;  // the sliders' end

struct Scheme {
    bool dyadic;
    double initial, step;
};
// Dyadic first: on a tie it is the one users know.
constexpr Scheme kSchemes[] = {{true, 1, 0},  {false, 1, 1}, {false, 1, 2}, {false, 1, 3},
                               {false, 2, 1}, {false, 2, 2}, {false, 2, 3}};

// Each channel's own blind estimate: its blur, how its detail falls off and its noise, on one
// scale of power for all channels.
std::vector<SpectrumModel> ChannelModels(std::span<const Single2dArray* const> channels, int imageWidth,
                                         int imageHeight, const PixelRect& area) {
    std::vector<SpectrumModel> models;
    for (const Single2dArray* c : channels) {
        const Single2dArray* one[] = {c};
        const BlindSigmaEstimate e = EstimateBlurSigma(one, imageWidth, imageHeight, area);
        if (e.sigma > 0 && e.amplitude > 0)
            models.push_back({e.sigma, e.exponent, e.amplitude * e.meanPower, e.noiseFloor * e.meanPower});
    }
    return models;
}

// Whether the scene's light outweighs the noise over the frequencies the layers cover. On a
// picture of noise alone the fit explains the flat spectrum by its floor and a scene of next to
// no power; the model would then smooth the noise away, but there is nothing to sharpen and the
// picture is left as it was.
bool HoldsAScene(const std::vector<SpectrumModel>& models) {
    double signal = 0, noise = 0;
    for (const SpectrumModel& m : models)
        for (int k = 1; k <= 50; ++k) {
            const double f = 0.01 * k;  // cycles per pixel, each ring weighted by its length
            signal += f * m.signal * std::pow(f, -m.exponent) * std::exp(-4 * std::numbers::pi * std::numbers::pi * m.sigma * m.sigma * f * f);
            noise += f * m.noise;
        }
    return signal > noise;
}

// The scheme and gains (in tenths, as the sliders hold them) with the least expected error;
// dyadic on a tie.
void ChooseSchemeAndGains(const std::vector<SpectrumModel>& models, const SmoothingKernel& kernel, AutoWavelets& out) {
    double lowest = 0;
    bool first = true;
    for (const Scheme& scheme : kSchemes) {
        const GainProblem problem = ExpectedError(models, kernel, ScalesOf(scheme.dyadic, scheme.initial, scheme.step));
        Gains g = problem.Solve(kLowestGain, kHighestGain);
        std::array<int, kLayers + 1> tenths{};
        for (int n = 0; n < kLayers; ++n) {
            tenths[std::size_t(n + 1)] = int(std::lrint(g[std::size_t(n)] * 10));
            g[std::size_t(n)] = tenths[std::size_t(n + 1)] / 10.0;
        }
        const double error = problem.Error(g);
        if (first || error < lowest) {
            first = false;
            lowest = error;
            out.dyadic = scheme.dyadic;
            out.initial = scheme.initial;
            out.step = scheme.step;
            out.gain = tenths;
        }
    }
}

// A soft threshold only on layer 1 and only where it is raised: there the sharpened noise shows
// in the sky. Measured on generated captures, a threshold on a layer kept at 1 or below, or on
// layer 2, took more detail from the disk than noise (0.05-0.15 dB) while the sky's noise was
// within bounds.
void ChooseThreshold(std::span<const Single2dArray* const> channels, int imageWidth, int imageHeight,
                     const PixelRect& area, const SmoothingKernel& kernel, AutoWavelets& out) {
    if (out.gain[1] <= 10) return;
    const std::array<LayerCut, 3> cuts = ChooseFineThresholds(channels, imageWidth, imageHeight, area, kernel,
                                                              ScalesOf(out.dyadic, out.initial, out.step));
    out.cut[1] = cuts[1].cut;
    out.threshold[1] = cuts[1].threshold;
}

}  // namespace

AutoWavelets ChooseAutoWavelets(std::span<const Single2dArray* const> channels, int imageWidth, int imageHeight,
                                const PixelRect& area, const SmoothingKernel& kernel) {
    AutoWavelets chosen;
    const std::vector<SpectrumModel> models = ChannelModels(channels, imageWidth, imageHeight, area);
    if (models.empty() || !HoldsAScene(models)) return chosen;
    for (const SpectrumModel& m : models) chosen.sigma += m.sigma / double(models.size());
    ChooseSchemeAndGains(models, kernel, chosen);
    ChooseThreshold(channels, imageWidth, imageHeight, area, kernel, chosen);
    return chosen;
}

}  // namespace talvenor
